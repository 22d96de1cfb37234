// Reading grey PGM files by hand (their format is a short text header and the samples) and
// PNG files with libpng, and listing a directory of them.
#include "scene_file.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <png.h>
#include <strings.h>
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

// What a header's image too large for its file is refused with.
std::string too_short(uint64_t width, uint64_t height)
{
    return "too short for the " + std::to_string(width) + "x" + std::to_string(height) +
           " image its header gives";
}

// Reads a PGM, `size` bytes long, from just after its magic number.
std::string read_pgm(FILE *file, uint64_t size, GreyImage &image)
{
    unsigned long width = 0, height = 0, white = 0;
    if (!header_number(file, width) || !header_number(file, height) ||
        !header_number(file, white) || width == 0 || height == 0 || white == 0 || white > 65535)
        return "not a PGM header with a width, a height and a maxval from 1 to 65535";
    if (static_cast<uint64_t>(width) * height > most_pixels)
        return "larger than " + std::to_string(most_pixels) + " pixels";
    const size_t count = static_cast<size_t>(width) * height;
    const size_t sample_size = white > 255 ? 2 : 1;
    // Nothing allocated for samples the file does not hold: a header is a few bytes.
    const long offset = std::ftell(file);
    if (offset < 0 || static_cast<uint64_t>(offset) + count * sample_size > size)
        return too_short(width, height);
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

// What libpng said when it gave up on a file.
struct PngErrors {
    char message[200] = "";
};

void png_failed(png_structp png, png_const_charp message)
{
    auto *errors = static_cast<PngErrors *>(png_get_error_ptr(png));
    std::snprintf(errors->message, sizeof errors->message, "%s", message);
    png_longjmp(png, 1);
}

void png_warned(png_structp, png_const_charp)
{
    // A file libpng can read despite a warning is read.
}

// Decodes the PNG on `file`, `size` bytes long, into 8-bit grey bytes, or 16-bit big-endian
// ones when `deep` is set; false when libpng gives up, or with `refused` set when the image
// is too large, or larger than the file could hold. Everything that holds memory lives in the
// caller, as libpng leaves this function by longjmp.
bool decode_png(png_structp png, png_infop info, FILE *file, uint64_t size,
                std::vector<uint8_t> &bytes, std::vector<png_bytep> &rows, GreyImage &image,
                std::string &refused)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_init_io(png, file);
    png_read_info(png, info);
    image.width = png_get_image_width(png, info);
    image.height = png_get_image_height(png, info);
    if (static_cast<uint64_t>(image.width) * image.height > most_pixels) {
        refused = "larger than " + std::to_string(most_pixels) + " pixels";
        return false;
    }
    // Nothing allocated for rows the file cannot hold: deflate makes at most 1032 bytes of
    // each byte it is given, and each row is a filter byte and its samples.
    const uint64_t row_bits =
        uint64_t{image.width} * png_get_bit_depth(png, info) * png_get_channels(png, info);
    if ((row_bits + 7) / 8 * image.height + image.height > 1032 * size) {
        refused = too_short(image.width, image.height);
        return false;
    }
    // Whatever the file holds becomes grey samples of its own depth (at least 8 bits), as they
    // stand: palettes and small depths expanded, colour weighted to grey, and transparency
    // dropped, so that the image reads the same with or without it.
    const png_byte colour = png_get_color_type(png, info);
    if (colour == PNG_COLOR_TYPE_PALETTE)
        png_set_palette_to_rgb(png);
    if (colour == PNG_COLOR_TYPE_GRAY && png_get_bit_depth(png, info) < 8)
        png_set_expand_gray_1_2_4_to_8(png);
    if (colour & PNG_COLOR_MASK_COLOR)
        png_set_rgb_to_gray_fixed(png, 1, -1, -1);
    png_set_strip_alpha(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    const bool deep = png_get_bit_depth(png, info) == 16;
    image.white = deep ? 65535 : 255;
    const size_t stride = png_get_rowbytes(png, info);
    bytes.resize(stride * image.height);
    rows.resize(image.height);
    for (unsigned y = 0; y < image.height; ++y)
        rows[y] = &bytes[y * stride];
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    return true;
}

// Reads the PNG on `file`, `size` bytes long, at its start.
std::string read_png(FILE *file, uint64_t size, GreyImage &image)
{
    PngErrors errors;
    png_structp png =
        png_create_read_struct(PNG_LIBPNG_VER_STRING, &errors, png_failed, png_warned);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    if (info == nullptr) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return "PNG: out of memory";
    }
    std::vector<uint8_t> bytes;
    std::vector<png_bytep> rows;
    std::string refused;
    const bool read = decode_png(png, info, file, size, bytes, rows, image, refused);
    png_destroy_read_struct(&png, &info, nullptr);
    if (!refused.empty())
        return refused;
    if (!read)
        return std::string("PNG: ") + errors.message;
    const size_t count = static_cast<size_t>(image.width) * image.height;
    image.pixels.resize(count);
    if (image.white == 65535)
        for (size_t i = 0; i < count; ++i)
            image.pixels[i] = static_cast<uint16_t>(bytes[2 * i] << 8 | bytes[2 * i + 1]);
    else
        image.pixels.assign(bytes.begin(), bytes.end());
    return "";
}

} // namespace

std::string read_grey_image(const std::string &path, GreyImage &image, bool follow_link)
{
    // Opened without blocking and checked before anything is read, so a FIFO or a device
    // under the name is refused at once instead of waited on.
    const int fd =
        ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | (follow_link ? 0 : O_NOFOLLOW));
    if (fd < 0)
        return errno == ELOOP && !follow_link ? "a symbolic link" : std::strerror(errno);
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
        return read_pgm(file.get(), static_cast<uint64_t>(status.st_size), image);
    }
    // Read through the descriptor checked above, never opened again by name.
    if (got == sizeof magic && png_sig_cmp(magic, 0, sizeof magic) == 0 &&
        std::fseek(file.get(), 0, SEEK_SET) == 0)
        return read_png(file.get(), static_cast<uint64_t>(status.st_size), image);
    return "neither a binary grey PGM (P5) nor a PNG image";
}

bool list_scene_directory(const std::string &path, std::vector<std::string> &names)
{
    std::unique_ptr<DIR, int (*)(DIR *)> directory(::opendir(path.c_str()), &::closedir);
    if (directory == nullptr)
        return false;
    names.clear();
    while (const dirent *entry = ::readdir(directory.get())) {
        const std::string name = entry->d_name;
        const std::string ending = name.size() > 4 ? name.substr(name.size() - 4) : "";
        if (::strcasecmp(ending.c_str(), ".pgm") == 0 || ::strcasecmp(ending.c_str(), ".png") == 0)
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return true;
}

} // namespace camsim
