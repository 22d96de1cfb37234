// Writing a grey frame as a BMP file: its header, then its rows as the frame holds them.
#include "bmp_file.h"

#include "conversion.h"
#include "files.h"

#include <cerrno>
#include <climits>
#include <sys/uio.h>

namespace core
{
namespace
{

constexpr unsigned bmp_headers_size = 14 + 40 + 256 * 4;

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

// Writes the pieces whole, resuming after short writes and interruptions.
bool write_pieces(int fd, iovec *pieces, int count)
{
    while (count > 0) {
        const ssize_t written = ::writev(fd, pieces, count);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        size_t left = static_cast<size_t>(written);
        while (count > 0 && left >= pieces->iov_len) {
            left -= pieces->iov_len;
            ++pieces;
            --count;
        }
        if (count > 0) {
            pieces->iov_base = static_cast<uint8_t *>(pieces->iov_base) + left;
            pieces->iov_len -= left;
        }
    }
    return true;
}

} // namespace

std::vector<uint8_t> bmp_header(unsigned width, unsigned height)
{
    const uint32_t image_size = static_cast<uint32_t>(padded_stride(width) * height);
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

Error save_bmp(const Image &grey, const std::string &path)
{
    if (grey.format != PixelFormat::mono8 || grey.stride < grey.width ||
        grey.pixels.size() < grey.stride * grey.height)
        return not_initialized;
    const size_t row_bytes = padded_stride(grey.width);
    const size_t size = bmp_headers_size + row_bytes * grey.height;
    const auto fill = [&grey, row_bytes](int fd) {
        std::vector<uint8_t> header = bmp_header(grey.width, grey.height);
        // The rows bottom-up, each followed by its padding.
        static const uint8_t zeros[4] = {};
        const size_t pad = row_bytes - grey.width;
        iovec pieces[IOV_MAX];
        int count = 0;
        pieces[count++] = {header.data(), header.size()};
        for (unsigned done = 0; done < grey.height; ++done) {
            uint8_t *row =
                const_cast<uint8_t *>(&grey.pixels[(grey.height - 1 - done) * grey.stride]);
            pieces[count++] = {row, grey.width};
            if (pad != 0)
                pieces[count++] = {const_cast<uint8_t *>(zeros), pad};
            if (count + 2 > IOV_MAX || done + 1 == grey.height) {
                if (!write_pieces(fd, pieces, count))
                    return false;
                count = 0;
            }
        }
        return true;
    };
    // The mode an ordinary fopen gives a file: 0666 less the umask, which the kernel takes off.
    return replace_file(path, 0666, size, fill) ? ok : write_failed;
}

} // namespace core
