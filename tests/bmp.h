// Reading the frames back: a strict decoder of 8-bit grey BMP files, and netpbm's
// bmptopnm as an independent one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace harness
{

struct Grey {
    unsigned width = 0;
    unsigned height = 0;
    std::vector<uint8_t> pixels; // top row first
    std::string error;           // empty when the bytes are a well-formed grey BMP
};

// Checks every header field the kit's frames must have (file and info headers, grey
// palette, padded bottom-up rows, exact size) and returns the pixels.
Grey decode_bmp(const std::string &bytes);

// Decodes the file with bmptopnm; error says why not (missing tool included).
Grey decode_with_bmptopnm(const std::string &path);

double mean(const Grey &image);

} // namespace harness
