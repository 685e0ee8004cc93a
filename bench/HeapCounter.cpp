#include "HeapCounter.h"

#include <malloc.h>

#include <cstddef>
#include <cstdlib>
#include <new>

namespace {

// The benchmarks run on one thread; a locked add here would slow every allocation they time.
std::int64_t gInUse = 0;

void* Allocate(std::size_t size, std::size_t alignment)
{
    void* p = alignment <= alignof(std::max_align_t)
                  ? std::malloc(size == 0 ? 1 : size)
                  : std::aligned_alloc(alignment, (size + alignment - 1) / alignment * alignment);
    if (p == nullptr) {
        throw std::bad_alloc();
    }
    gInUse += static_cast<std::int64_t>(malloc_usable_size(p));
    return p;
}

void Free(void* p) noexcept
{
    if (p != nullptr) {
        gInUse -= static_cast<std::int64_t>(malloc_usable_size(p));
        std::free(p);
    }
}

} // namespace

std::int64_t tellix::bench::HeapBytesInUse()
{
    return gInUse;
}

void* operator new(std::size_t size)
{
    return Allocate(size, 0);
}
void* operator new[](std::size_t size)
{
    return Allocate(size, 0);
}
void* operator new(std::size_t size, std::align_val_t alignment)
{
    return Allocate(size, static_cast<std::size_t>(alignment));
}
void* operator new[](std::size_t size, std::align_val_t alignment)
{
    return Allocate(size, static_cast<std::size_t>(alignment));
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    try {
        return Allocate(size, 0);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    try {
        return Allocate(size, 0);
    } catch (...) {
        return nullptr;
    }
}
void operator delete(void* p) noexcept
{
    Free(p);
}
void operator delete[](void* p) noexcept
{
    Free(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    Free(p);
}
void operator delete[](void* p, std::size_t) noexcept
{
    Free(p);
}
void operator delete(void* p, std::align_val_t) noexcept
{
    Free(p);
}
void operator delete[](void* p, std::align_val_t) noexcept
{
    Free(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept
{
    Free(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept
{
    Free(p);
}
