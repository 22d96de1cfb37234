// Storage for a frame's pixels. A frame's buffer is large and lives for the whole series: it
// is taken straight from the kernel in huge pages where it offers them, its pages made in one
// call (a frame's pages faulted in one at a time cost more than making the frame), and never
// cleared first, since every byte read is written before.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <utility>
#include <vector>

namespace core
{

void *allocate_pixels(size_t bytes);
void free_pixels(void *pixels, size_t bytes);

template <class T> struct PixelAllocator {
    using value_type = T;

    PixelAllocator() = default;
    template <class U> PixelAllocator(const PixelAllocator<U> &) noexcept {}

    T *allocate(size_t n)
    {
        return static_cast<T *>(allocate_pixels(n * sizeof(T)));
    }
    void deallocate(T *p, size_t n) noexcept
    {
        free_pixels(p, n * sizeof(T));
    }
    // Grown without clearing: default-initialised.
    template <class U> void construct(U *p) noexcept
    {
        ::new (static_cast<void *>(p)) U;
    }
    template <class U, class... Args> void construct(U *p, Args &&...args)
    {
        ::new (static_cast<void *>(p)) U(std::forward<Args>(args)...);
    }
    template <class U> bool operator==(const PixelAllocator<U> &) const noexcept
    {
        return true;
    }
    template <class U> bool operator!=(const PixelAllocator<U> &) const noexcept
    {
        return false;
    }
};

using Pixels = std::vector<uint8_t, PixelAllocator<uint8_t>>;

} // namespace core
