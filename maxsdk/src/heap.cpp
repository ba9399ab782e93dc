// The host's heap: the C library's allocator, with the counts and the failures a test asks for.
#include "host_internal.h"
#include "maxheap.h"
#include "tab.h"

#include <cstdlib>

namespace {

// A block just allocated, counted in count when there is one.
void* Counted(void* block, long& count) {
    if (block != nullptr) {
        ++count;
    }
    return block;
}

void Release(void* block, long& count) {
    if (block != nullptr) {
        --count;
        std::free(block);
    }
}

void* AllocateObject(std::size_t size) {
    return MaxHost::AllocationFails()
               ? nullptr
               : Counted(std::malloc(size == 0 ? 1 : size), MaxHost::State().liveObjects);
}

void FreeObject(void* block) {
    Release(block, MaxHost::State().liveObjects);
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
    return MaxHost::AllocationFails() ? nullptr
                                      : Counted(std::malloc(size), MaxHost::State().liveBlocks);
}

void* MAX_calloc(std::size_t count, std::size_t size) {
    return MaxHost::AllocationFails()
               ? nullptr
               : Counted(std::calloc(count, size), MaxHost::State().liveBlocks);
}

void MAX_free(void* block) {
    Release(block, MaxHost::State().liveBlocks);
}

void zfree(void** block) {
    if (block != nullptr) {
        MAX_free(*block);
        *block = nullptr;
    }
}
