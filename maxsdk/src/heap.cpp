// The host's heap: the C library's allocator, with the counts and the failures a test asks for.
#include "host_internal.h"
#include "maxheap.h"
#include "tab.h"

#include <cstdlib>

namespace {

void* AllocateObject(std::size_t size) {
    if (MaxHost::AllocationFails()) {
        return nullptr;
    }
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block != nullptr) {
        ++MaxHost::State().liveObjects;
    }
    return block;
}

void FreeObject(void* block) {
    if (block != nullptr) {
        --MaxHost::State().liveObjects;
        std::free(block);
    }
}

void* AllocateOrThrow(std::size_t size) {
    void* block = AllocateObject(size);
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    return block;
}

} // namespace

void* MaxHeapOperators::operator new(std::size_t size) {
    return AllocateOrThrow(size);
}

void* MaxHeapOperators::operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return AllocateObject(size);
}

void* MaxHeapOperators::operator new[](std::size_t size) {
    return AllocateOrThrow(size);
}

void* MaxHeapOperators::operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return AllocateObject(size);
}

void MaxHeapOperators::operator delete(void* block) noexcept {
    FreeObject(block);
}

void MaxHeapOperators::operator delete(void* block, const std::nothrow_t&) noexcept {
    FreeObject(block);
}

void MaxHeapOperators::operator delete[](void* block) noexcept {
    FreeObject(block);
}

void MaxHeapOperators::operator delete[](void* block, const std::nothrow_t&) noexcept {
    FreeObject(block);
}

void* MAX_malloc(std::size_t size) {
    if (MaxHost::AllocationFails()) {
        return nullptr;
    }
    void* block = std::malloc(size);
    if (block != nullptr) {
        ++MaxHost::State().liveBlocks;
    }
    return block;
}

void* MAX_calloc(std::size_t count, std::size_t size) {
    if (MaxHost::AllocationFails()) {
        return nullptr;
    }
    void* block = std::calloc(count, size);
    if (block != nullptr) {
        ++MaxHost::State().liveBlocks;
    }
    return block;
}

void MAX_free(void* block) {
    if (block != nullptr) {
        --MaxHost::State().liveBlocks;
        std::free(block);
    }
}

void zfree(void** block) {
    if (block != nullptr) {
        MAX_free(*block);
        *block = nullptr;
    }
}
