// Replaces array new and delete so that a test can see the largest array
// requested while tracking is on, on the tracking thread. The TGA reader
// allocates its pixel buffers with new[]. Include in one source file of a
// program only: these are the program's replacement allocation functions.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <new>

namespace arrayAllocations {

inline thread_local bool tracking = false;
inline thread_local std::size_t largestRequest = 0;

inline void* allocate(std::size_t size) {
    if (tracking && size > largestRequest) largestRequest = size;
    return std::malloc(size == 0 ? 1 : size);
}

}  // namespace arrayAllocations

void* operator new[](std::size_t size) {
    if (void* p = arrayAllocations::allocate(size)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return arrayAllocations::allocate(size); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
