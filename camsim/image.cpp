// Conversion of raw frames to grey and BMP writing.
#include "image.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>
#include <utility>

namespace camsim
{
namespace
{

constexpr unsigned bmp_headers_size = 14 + 40 + 256 * 4;

unsigned padded_stride(unsigned width)
{
    return (width + 3u) & ~3u;
}

void put16(uint8_t *at, uint32_t value)
{
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
}

void put32(uint8_t *at, uint32_t value)
{
    put16(at, value);
    put16(at + 2, value >> 16);
}

inline uint8_t average(uint8_t a, uint8_t b)
{
    return static_cast<uint8_t>((a + b + 1u) >> 1);
}

void demosaic_row(const uint8_t *top, const uint8_t *bottom, unsigned width, uint8_t *out)
{
    for (unsigned x = 0; x + 1 < width; ++x)
        out[x] = average(average(top[x], top[x + 1]), average(bottom[x], bottom[x + 1]));
    // The last column takes the block to its left.
    unsigned x = width - 1;
    out[x] = average(average(top[x - 1], top[x]), average(bottom[x - 1], bottom[x]));
}

bool write_all(int fd, struct iovec *parts, int count)
{
    while (count > 0) {
        ssize_t n = ::writev(fd, parts, count);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        size_t written = static_cast<size_t>(n);
        while (count > 0 && written >= parts->iov_len) {
            written -= parts->iov_len;
            ++parts;
            --count;
        }
        if (count > 0) {
            parts->iov_base = static_cast<uint8_t *>(parts->iov_base) + written;
            parts->iov_len -= written;
        }
    }
    return true;
}

mode_t creation_mode()
{
    // Files get the mode an ordinary fopen would give them, 0666 less the umask.
    mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

} // namespace

Error convert_to_mono8(const Image &source, Image &destination)
{
    if (source.layout == PixelLayout::none)
        return not_initialized;
    if (&source == &destination) {
        if (source.layout == PixelLayout::mono8)
            return ok;
        Image converted;
        convert_to_mono8(source, converted);
        destination = std::move(converted);
        return ok;
    }
    destination.width = source.width;
    destination.height = source.height;
    destination.stride = padded_stride(source.width);
    destination.pixels.assign(static_cast<size_t>(destination.stride) * source.height, 0);
    destination.layout = PixelLayout::mono8;
    if (source.layout == PixelLayout::mono8) {
        destination.pixels = source.pixels;
        return ok;
    }
    const unsigned width = source.width, height = source.height;
    for (unsigned y = 0; y < height; ++y) {
        unsigned top = y + 1 < height ? y : y - 1; // the last row takes the block above it
        demosaic_row(&source.pixels[static_cast<size_t>(top) * width],
                     &source.pixels[static_cast<size_t>(top + 1) * width], width,
                     &destination.pixels[static_cast<size_t>(height - 1 - y) * destination.stride]);
    }
    return ok;
}

std::vector<uint8_t> bmp_header(unsigned width, unsigned height)
{
    const uint32_t image_size = padded_stride(width) * height;
    std::vector<uint8_t> header(bmp_headers_size, 0);
    uint8_t *h = header.data();
    h[0] = 'B';
    h[1] = 'M';
    put32(h + 2, bmp_headers_size + image_size);
    put32(h + 10, bmp_headers_size);
    put32(h + 14, 40);
    put32(h + 18, width);
    put32(h + 22, height); // positive: rows stored bottom-up
    put16(h + 26, 1);      // planes
    put16(h + 28, 8);      // bits per pixel
    put32(h + 34, image_size);
    put32(h + 38, 2835); // 72 dpi
    put32(h + 42, 2835);
    put32(h + 46, 256);
    put32(h + 50, 256);
    for (unsigned i = 0; i < 256; ++i) {
        uint8_t *entry = h + 54 + 4 * i;
        entry[0] = entry[1] = entry[2] = static_cast<uint8_t>(i);
    }
    return header;
}

Error save_bmp(const Image &image, const std::string &path)
{
    if (image.layout == PixelLayout::none)
        return not_initialized;
    Image grey;
    const Image *rows = &image;
    if (image.layout != PixelLayout::mono8) {
        convert_to_mono8(image, grey);
        rows = &grey;
    }

    size_t slash = path.rfind('/');
    std::string directory = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string temporary =
        directory + (slash == std::string::npos ? "/." : ".") + base + ".XXXXXX";
    int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return write_failed;

    std::vector<uint8_t> header = bmp_header(rows->width, rows->height);
    struct iovec parts[2] = {{header.data(), header.size()},
                             {const_cast<uint8_t *>(rows->pixels.data()), rows->pixels.size()}};
    bool written = ::fchmod(fd, creation_mode()) == 0 && write_all(fd, parts, 2);
    written = ::close(fd) == 0 && written;
    if (!written || std::rename(temporary.c_str(), path.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return write_failed;
    }
    return ok;
}

} // namespace camsim
