// Grey images read from a file to be the scene the sensor sees: PGM (P5) and PNG.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace camsim
{

struct GreyImage {
    unsigned width = 0;
    unsigned height = 0;
    unsigned white = 0;           // the sample value of full white: 255 or 65535, or a PGM's maxval
    std::vector<uint16_t> pixels; // top row first
};

// Reads an 8- or 16-bit grey PGM (P5) or a PNG of any kind (libpng turns colour into grey;
// transparency is dropped, so an image reads the same with or without it). Returns the
// reason when the file cannot be read, empty on success. A file named by the user may be
// reached through a link; a file found in a scene directory (`follow_link` false) may not.
std::string read_grey_image(const std::string &path, GreyImage &image, bool follow_link = true);

// The names of the PGM and PNG files (ending in .pgm or .png, in any case) in the directory
// at `path`, in name order; false when `path` is not a directory that can be listed.
bool list_scene_directory(const std::string &path, std::vector<std::string> &names);

} // namespace camsim
