// The host's heap. Objects that the host frees (such as a bitmap-IO object made by a class
// descriptor) are allocated through MaxHeapOperators, so that allocation and release happen
// in the host's allocator whichever module made them.
#pragma once

#include "utilexp.h"

#include <cstddef>
#include <new>

class MaxHeapOperators {
public:
    UtilExport static void* operator new(std::size_t size);
    UtilExport static void* operator new(std::size_t size, const std::nothrow_t&) noexcept;
    UtilExport static void* operator new[](std::size_t size);
    UtilExport static void* operator new[](std::size_t size, const std::nothrow_t&) noexcept;
    static void* operator new(std::size_t, void* place) noexcept { return place; }
    UtilExport static void operator delete(void* block) noexcept;
    UtilExport static void operator delete(void* block, const std::nothrow_t&) noexcept;
    UtilExport static void operator delete[](void* block) noexcept;
    UtilExport static void operator delete[](void* block, const std::nothrow_t&) noexcept;
    static void operator delete(void*, void*) noexcept {}
};

// Raw blocks from the host's heap, with the C library's conventions.
UtilExport void* MAX_malloc(std::size_t size);
UtilExport void* MAX_calloc(std::size_t count, std::size_t size);
UtilExport void MAX_free(void* block);
