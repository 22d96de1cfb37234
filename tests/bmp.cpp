// BMP and PGM decoding for the tests.
#include "bmp.h"

#include <cstdio>
#include <numeric>
#include <sstream>

namespace harness
{
namespace
{

uint32_t get(const std::string &bytes, size_t at, int size)
{
    uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = value << 8 | static_cast<uint8_t>(bytes[at + static_cast<size_t>(i)]);
    return value;
}

} // namespace

Grey decode_bmp(const std::string &bytes)
{
    Grey image;
    const size_t headers = 14 + 40 + 1024;
    if (bytes.size() < headers || bytes[0] != 'B' || bytes[1] != 'M') {
        image.error = "not a BMP file";
        return image;
    }
    const uint32_t width = get(bytes, 18, 4), height = get(bytes, 22, 4);
    const uint32_t stride = (width + 3) / 4 * 4;
    std::ostringstream error;
    if (get(bytes, 2, 4) != bytes.size())
        error << "file size field " << get(bytes, 2, 4) << " != " << bytes.size() << "; ";
    if (get(bytes, 10, 4) != headers)
        error << "pixel offset " << get(bytes, 10, 4) << "; ";
    if (get(bytes, 14, 4) != 40 || get(bytes, 26, 2) != 1 || get(bytes, 28, 2) != 8 ||
        get(bytes, 30, 4) != 0)
        error << "not an uncompressed 8-bit info header; ";
    if (height == 0 || height > 0x7fffffff || width == 0)
        error << "not a bottom-up image of positive size; ";
    if (bytes.size() != headers + static_cast<size_t>(stride) * height)
        error << "pixel data is not " << height << " rows of " << stride << " bytes; ";
    for (unsigned i = 0; i < 256 && bytes.size() >= headers; ++i)
        if (get(bytes, 54 + 4 * i, 4) != (i | i << 8 | i << 16)) {
            error << "palette entry " << i << " is not grey; ";
            break;
        }
    image.error = error.str();
    if (!image.error.empty())
        return image;
    image.width = width;
    image.height = height;
    for (uint32_t y = 0; y < height; ++y) {
        size_t row = headers + static_cast<size_t>(height - 1 - y) * stride;
        image.pixels.insert(image.pixels.end(), bytes.begin() + static_cast<long>(row),
                            bytes.begin() + static_cast<long>(row + width));
        for (uint32_t pad = width; pad < stride; ++pad)
            if (bytes[row + pad] != 0)
                image.error = "row padding is not zero";
    }
    return image;
}

Grey decode_with_bmptopnm(const std::string &path)
{
    Grey image;
    std::string command = "bmptopnm '" + path + "' 2>/dev/null";
    FILE *pipe = popen(command.c_str(), "r");
    std::string pgm;
    if (pipe != nullptr) {
        char buffer[65536];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
            pgm.append(buffer, n);
        if (pclose(pipe) != 0)
            pgm.clear();
    }
    unsigned maxval = 0;
    int offset = 0;
    if (pgm.empty() ||
        std::sscanf(pgm.c_str(), "P5 %u %u %u%n", &image.width, &image.height, &maxval, &offset) !=
            3 ||
        maxval != 255) {
        image.error = "bmptopnm did not decode " + path + " to an 8-bit PGM";
        return image;
    }
    image.pixels.assign(pgm.begin() + offset + 1, pgm.end());
    if (image.pixels.size() != static_cast<size_t>(image.width) * image.height)
        image.error = "bmptopnm gave a short image";
    return image;
}

double mean(const Grey &image)
{
    if (image.pixels.empty())
        return 0;
    return std::accumulate(image.pixels.begin(), image.pixels.end(), 0.0) /
           static_cast<double>(image.pixels.size());
}

} // namespace harness
