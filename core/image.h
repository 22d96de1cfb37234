// Frames as image records hold them: pixels and what they are.
#pragma once

#include "pixels.h"

#include <cstddef>
#include <cstdint>

namespace core
{

// What a frame's pixels are, by the GenICam pixel format names; `other` is a format no
// conversion here knows.
enum class PixelFormat {
    none, // the record holds no frame yet
    mono8,
    mono10, // 10, 12 or 16 significant bits in 16-bit little-endian containers
    mono12,
    mono16,
    bayer_rg8, // a colour mosaic, 8 bits a photosite, named by its top-left 2x2 block
    bayer_gr8,
    bayer_gb8,
    bayer_bg8,
    rgb8, // three bytes a pixel, in the order named
    bgr8,
    other,
};

// A frame: rows top-down, `stride` bytes apart; `pixels` holds at least stride × height
// bytes (a camera may keep room after the last row).
struct Image {
    PixelFormat format = PixelFormat::none;
    unsigned width = 0;
    unsigned height = 0;
    size_t stride = 0;
    Pixels pixels;
    uint64_t frame = 0;    // its number in its capture, from 0
    uintptr_t context = 0; // the handle of the context whose stream made it, 0 for none
};

// Bytes a pixel of the format takes (0 for none and other).
unsigned bytes_per_pixel(PixelFormat format);

} // namespace core
