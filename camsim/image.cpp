// Conversion of raw frames to grey and BMP writing.
#include "image.h"

#include "files.h"
#include "vectorise.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace camsim
{
namespace
{

constexpr unsigned bmp_headers_size = 14 + 40 + 256 * 4;
// A frame is written in slices of about this many bytes: few writes, and a buffer that
// stays small beside the frame and in cache between its making and its writing.
constexpr unsigned slice_bytes = 256u << 10;
constexpr size_t page_bytes = 4096;

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

// Row y of a raw image: read out from the sensor into scratch, or where the image holds it.
const uint8_t *raw_row_of(const Image &raw, unsigned y, std::vector<uint8_t> &scratch)
{
    if (raw.exposure == nullptr)
        return &raw.pixels[static_cast<size_t>(y) * raw.stride];
    raw_row(*raw.exposure, raw.frame, y, scratch.data());
    return scratch.data();
}

// A block of grey pixels of a row: one the vectoriser makes whole.
constexpr unsigned demosaic_block = 32;

inline void demosaic_block_at(const uint8_t *__restrict top, const uint8_t *__restrict bottom,
                              uint8_t *__restrict out)
{
    for (unsigned i = 0; i < demosaic_block; ++i)
        out[i] = average(average(top[i], top[i + 1]), average(bottom[i], bottom[i + 1]));
}

// Vectorised for the processor at hand: the conversion runs for every pixel of every frame.
// Whole blocks, the last one laid back over its neighbour rather than finished pixel by
// pixel (a pixel made twice comes out the same).
CAMSIM_VECTORISE void demosaic_row(const uint8_t *top, const uint8_t *bottom, unsigned width,
                                   uint8_t *out)
{
    const unsigned blocks_end = width - 1; // every column but the last has a block at it
    unsigned x = 0;
    if (blocks_end >= demosaic_block)
        for (; x < blocks_end; x += demosaic_block) {
            const unsigned at = std::min(x, blocks_end - demosaic_block);
            demosaic_block_at(top + at, bottom + at, out + at);
        }
    for (; x < blocks_end; ++x)
        out[x] = average(average(top[x], top[x + 1]), average(bottom[x], bottom[x + 1]));
    // The last column takes the block to its left; the row's padding is zero.
    x = width - 1;
    out[x] = average(average(top[x - 1], top[x]), average(bottom[x - 1], bottom[x]));
    for (x = width; x % 4 != 0; ++x)
        out[x] = 0;
}

// Grey rows of a raw frame in any order, each raw row read out once on a walk up or down:
// grey row y is the 2x2 blocks of raw rows t and t + 1 (t = y; the last row takes t = y - 1).
class Demosaic
{
  public:
    explicit Demosaic(const Image &raw)
        : raw_(raw), scratch_{std::vector<uint8_t>(raw_row_size(raw.width)),
                              std::vector<uint8_t>(raw_row_size(raw.width))}
    {
    }

    void grey_row(unsigned y, uint8_t *out)
    {
        const unsigned top = y + 1 < raw_.height ? y : y - 1;
        const uint8_t *upper = row(top, top + 1);
        const uint8_t *lower = row(top + 1, top);
        demosaic_row(upper, lower, raw_.width, out);
    }

  private:
    // Raw row y, read into the slot that does not hold row `keep`.
    const uint8_t *row(unsigned y, unsigned keep)
    {
        for (int slot = 0; slot < 2; ++slot)
            if (held_[slot] == static_cast<long>(y))
                return rows_[slot];
        const int slot = held_[0] == static_cast<long>(keep) ? 1 : 0;
        held_[slot] = y;
        rows_[slot] = raw_row_of(raw_, y, scratch_[slot]);
        return rows_[slot];
    }

    const Image &raw_;
    std::vector<uint8_t> scratch_[2];
    long held_[2] = {-1, -1};
    const uint8_t *rows_[2] = {nullptr, nullptr};
};

} // namespace

Error convert_to_mono8(const Image &source, Image &destination)
{
    if (source.layout == PixelLayout::none)
        return not_initialized;
    if (source.layout == PixelLayout::mono8) {
        destination = source;
        return ok;
    }
    Image grey;
    grey.layout = PixelLayout::mono8;
    grey.width = source.width;
    grey.height = source.height;
    grey.stride = padded_stride(source.width);
    if (source.exposure != nullptr) {
        // A frame straight from the sensor is demosaiced row by row as it is written:
        // the same bytes, without a whole frame's buffer in between.
        grey.exposure = source.exposure;
        grey.frame = source.frame;
    } else {
        grey.pixels.resize(static_cast<size_t>(grey.stride) * grey.height);
        Demosaic demosaic(source);
        for (unsigned y = 0; y < grey.height; ++y)
            demosaic.grey_row(y,
                              &grey.pixels[static_cast<size_t>(grey.height - 1 - y) * grey.stride]);
    }
    destination = std::move(grey);
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

    const auto fill = [&image](int fd) {
        std::vector<uint8_t> header = bmp_header(image.width, image.height);
        if (image.layout == PixelLayout::mono8 && image.exposure == nullptr)
            return write_all(fd, header.data(), header.size()) &&
                   write_all(fd, image.pixels.data(), image.pixels.size());
        // Grey rows made bottom-up, a slice at a time that stays in cache until written.
        // Each write but the last ends on a page boundary of the file, the bytes after it
        // kept for the next one: a write of whole pages lets the kernel take the slice's
        // pages in a few large blocks of memory, which costs less to fill and to free.
        Image raw = image;
        raw.layout = PixelLayout::bayer_rggb;
        raw.stride = image.exposure != nullptr ? image.width : image.stride;
        Demosaic demosaic(raw);
        const unsigned stride = padded_stride(image.width);
        const unsigned slice_rows = std::min(image.height, std::max(1u, slice_bytes / stride));
        // Kept from frame to frame: a buffer this size made afresh is mapped and zeroed
        // page by page every time.
        static thread_local std::vector<uint8_t> slice;
        slice.resize(std::max(slice.size(), page_bytes + header.size() +
                                                static_cast<size_t>(slice_rows) * stride));
        std::memcpy(slice.data(), header.data(), header.size());
        size_t held = header.size();
        for (unsigned done = 0; done < image.height;) {
            const unsigned rows = std::min(slice_rows, image.height - done);
            for (unsigned i = 0; i < rows; ++i)
                demosaic.grey_row(image.height - 1 - done - i,
                                  &slice[held + static_cast<size_t>(i) * stride]);
            held += static_cast<size_t>(rows) * stride;
            done += rows;
            const size_t out = done == image.height ? held : held / page_bytes * page_bytes;
            if (!write_all(fd, slice.data(), out))
                return false;
            std::memmove(slice.data(), slice.data() + out, held - out);
            held -= out;
        }
        return true;
    };
    const size_t size =
        bmp_headers_size + static_cast<size_t>(padded_stride(image.width)) * image.height;
    // The mode an ordinary fopen gives a file: 0666 less the umask, which the kernel takes off.
    return replace_file(path, 0666, size, fill) ? ok : write_failed;
}

} // namespace camsim
