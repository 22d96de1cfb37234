// Conversion of a frame, in any pixel format a camera sends, to 8-bit grey.
#pragma once

#include "errors.h"
#include "image.h"

namespace core
{

using namespace sdk;

// The bytes a grey row of `width` pixels takes in a BMP file: padded to 4.
inline size_t padded_stride(unsigned width)
{
    return (static_cast<size_t>(width) + 3u) & ~size_t{3};
}

// Converts `source` into 8-bit grey in `grey` (another image; its buffer is reused), rows
// top-down and padded to 4 bytes with zeros, its frame number and context kept:
// - Mono8 is copied; Mono10, Mono12 and Mono16 are scaled to 8 bits (a value past the
//   format's range is white);
// - a Bayer mosaic, whatever its order, is the mean of the 2x2 block of photosites at each
//   pixel (one red, two green, one blue); the last row and column take the block before them;
// - RGB8 and BGR8 are their luma, Rec. 601 weights, rounded.
// not_initialized for a record holding no frame, unsupported_format for any other format;
// `grey` is then left as it was.
Error convert_to_mono8(const Image &source, Image &grey);

} // namespace core
