// Reading grey PGM files by hand (their format is a short text header and the samples) and
// PNG files with libpng.
#include "scene_file.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

namespace camsim
{
namespace
{

// Large enough for any sensor, small enough that a damaged header cannot ask for gigabytes.
constexpr uint64_t most_pixels = 1u << 26;

using File = std::unique_ptr<FILE, int (*)(FILE *)>;

// One decimal number of a PGM header, after white space and comments.
bool header_number(FILE *file, unsigned long &value)
{
    int c = std::fgetc(file);
    while (c == '#' || std::isspace(c)) {
        if (c == '#')
            while (c != '\n' && c != EOF)
                c = std::fgetc(file);
        c = std::fgetc(file);
    }
    if (!std::isdigit(c))
        return false;
    value = 0;
    for (; std::isdigit(c); c = std::fgetc(file)) {
        value = value * 10 + static_cast<unsigned long>(c - '0');
        if (value > 1000000)
            return false;
    }
    // Exactly one white-space character ends the number (and, after maxval, the header).
    return std::isspace(c);
}

std::string read_pgm(FILE *file, GreyImage &image)
{
    unsigned long width = 0, height = 0, white = 0;
    if (!header_number(file, width) || !header_number(file, height) ||
        !header_number(file, white) || width == 0 || height == 0 || white == 0 || white > 65535)
        return "not a PGM header with a width, a height and a maxval from 1 to 65535";
    if (static_cast<uint64_t>(width) * height > most_pixels)
        return "larger than " + std::to_string(most_pixels) + " pixels";
    const size_t count = static_cast<size_t>(width) * height;
    const size_t sample_size = white > 255 ? 2 : 1;
    std::vector<uint8_t> bytes(count * sample_size);
    if (std::fread(bytes.data(), 1, bytes.size(), file) != bytes.size())
        return "the PGM samples end early";
    image.width = static_cast<unsigned>(width);
    image.height = static_cast<unsigned>(height);
    image.white = static_cast<unsigned>(white);
    image.pixels.resize(count);
    for (size_t i = 0; i < count; ++i) {
        unsigned value = sample_size == 2 ? (bytes[2 * i] << 8 | bytes[2 * i + 1]) : bytes[i];
        image.pixels[i] = static_cast<uint16_t>(value < white ? value : white);
    }
    return "";
}

std::string read_png(const std::string &path, GreyImage &image)
{
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str()))
        return std::string("PNG: ") + png.message;
    if (static_cast<uint64_t>(png.width) * png.height > most_pixels) {
        png_image_free(&png);
        return "larger than " + std::to_string(most_pixels) + " pixels";
    }
    // 16-bit files keep their 16 bits; 8-bit ones are taken as their values stand.
    const bool deep = (png.format & PNG_FORMAT_FLAG_LINEAR) != 0;
    png.format = deep ? PNG_FORMAT_LINEAR_Y : PNG_FORMAT_GRAY;
    const size_t count = static_cast<size_t>(png.width) * png.height;
    std::vector<uint16_t> deep_pixels(deep ? count : 0);
    std::vector<uint8_t> pixels(deep ? 0 : count);
    void *buffer = deep ? static_cast<void *>(deep_pixels.data()) : pixels.data();
    if (!png_image_finish_read(&png, nullptr, buffer, 0, nullptr))
        return std::string("PNG: ") + png.message;
    image.width = png.width;
    image.height = png.height;
    image.white = deep ? 65535 : 255;
    if (deep)
        image.pixels = std::move(deep_pixels);
    else
        image.pixels.assign(pixels.begin(), pixels.end());
    return "";
}

} // namespace

std::string read_grey_image(const std::string &path, GreyImage &image)
{
    // Opened without blocking and checked before anything is read, so a FIFO or a device
    // under the name is refused at once instead of waited on.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::strerror(errno);
    struct stat status {
    };
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return "not a regular file";
    }
    File file(::fdopen(fd, "rb"), &std::fclose);
    if (file == nullptr) {
        ::close(fd);
        return std::strerror(errno);
    }
    unsigned char magic[8] = {};
    const size_t got = std::fread(magic, 1, sizeof magic, file.get());
    if (got >= 2 && magic[0] == 'P' && magic[1] == '5') {
        std::fseek(file.get(), 2, SEEK_SET);
        return read_pgm(file.get(), image);
    }
    if (got == sizeof magic && png_sig_cmp(magic, 0, sizeof magic) == 0)
        return read_png(path, image);
    return "neither a binary grey PGM (P5) nor a PNG image";
}

} // namespace camsim
