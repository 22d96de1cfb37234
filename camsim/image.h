// Frames as the camera's image records hold them, their conversion and their BMP file.
#pragma once

#include "errors.h"
#include "scene.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace camsim
{

enum class PixelLayout {
    none,       // the record holds no frame yet
    bayer_rggb, // raw sensor mosaic, 8 bits a photosite, rows top-down, no padding
    mono8,      // 8-bit grey, rows bottom-up and padded to 4 bytes, as a BMP stores them
};

struct Image {
    PixelLayout layout = PixelLayout::none;
    unsigned width = 0;
    unsigned height = 0;
    unsigned stride = 0;
    std::vector<uint8_t> pixels;
    // A raw frame straight from the sensor holds no pixels: it is read out row by row from
    // its exposure and frame number when it is converted, which is all that makes it.
    std::shared_ptr<const ExposedScene> exposure;
    uint64_t frame = 0;
    uintptr_t context = 0; // the handle of the context whose stream made the frame, 0 for none
};

// Demosaics a raw frame to 8-bit grey: each pixel is the mean of the 2x2 block of
// photosites at it (one red, two green, one blue). A grey source is copied.
Error convert_to_mono8(const Image &source, Image &destination);

// The bytes of an 8-bit grey BMP file before its pixel rows: file header, info header
// and the 256-entry grey palette.
std::vector<uint8_t> bmp_header(unsigned width, unsigned height);

// Writes the image as an 8-bit grey BMP file, atomically: the file appears whole under
// its name or not at all, and a link at that name is replaced, never followed.
Error save_bmp(const Image &image, const std::string &path);

} // namespace camsim
