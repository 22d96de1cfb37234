// Frame buffers from the kernel: 2 MB aligned, huge pages asked for, populated in one call.
#include "pixels.h"

#include <sys/mman.h>

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23
#endif

namespace core
{
namespace
{

// Smaller buffers (a few rows, the tests' frames) come from the heap.
constexpr size_t frame_threshold = size_t{1} << 20;
constexpr size_t huge_page = size_t{2} << 20;

// Whole huge pages: a frame's last pages faulted in 4 KB at a time would cost more than the
// memory they save.
size_t mapped_size(size_t bytes)
{
    return (bytes + huge_page - 1) / huge_page * huge_page;
}

} // namespace

void *allocate_pixels(size_t bytes)
{
    if (bytes < frame_threshold)
        return ::operator new(bytes);
    const size_t size = mapped_size(bytes);
    // Mapped a huge page larger, then trimmed to a huge page's alignment.
    void *mapped = ::mmap(nullptr, size + huge_page, PROT_READ | PROT_WRITE,
                          MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        throw std::bad_alloc();
    const uintptr_t start = reinterpret_cast<uintptr_t>(mapped);
    const uintptr_t aligned = (start + huge_page - 1) & ~(huge_page - 1);
    if (aligned > start)
        ::munmap(mapped, aligned - start);
    ::munmap(reinterpret_cast<void *>(aligned + size), start + huge_page - aligned);
    void *pixels = reinterpret_cast<void *>(aligned);
    // Both are requests: a kernel without them still gives ordinary pages, on first touch.
    ::madvise(pixels, size, MADV_HUGEPAGE);
    ::madvise(pixels, size, MADV_POPULATE_WRITE);
    return pixels;
}

void free_pixels(void *pixels, size_t bytes)
{
    if (bytes < frame_threshold)
        ::operator delete(pixels);
    else
        ::munmap(pixels, mapped_size(bytes));
}

} // namespace core
