// The BMP file of an 8-bit grey frame.
#pragma once

#include "errors.h"
#include "image.h"

#include <string>
#include <vector>

namespace core
{

using namespace sdk;

// The bytes of an 8-bit grey BMP file before its pixel rows: file header, info header
// and the 256-entry grey palette.
std::vector<uint8_t> bmp_header(unsigned width, unsigned height);

// Writes an 8-bit grey frame (Mono8, rows top-down) as a BMP file, its rows bottom-up and
// padded to 4 bytes, atomically: the file appears whole under its name or not at all, and a
// link at that name is replaced, never followed. write_failed when it cannot be written.
Error save_bmp(const Image &grey, const std::string &path);

} // namespace core
