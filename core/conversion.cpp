// Conversion of frames to 8-bit grey, row by row, for every pixel format the core knows.
#include "conversion.h"

#include "vectorise.h"

#include <algorithm>
#include <cstring>

namespace core
{
namespace
{

inline uint8_t average(uint8_t a, uint8_t b)
{
    return static_cast<uint8_t>((a + b + 1u) >> 1);
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
CORE_VECTORISE void demosaic_row(const uint8_t *top, const uint8_t *bottom, unsigned width,
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
    // The last column takes the block to its left.
    x = width - 1;
    out[x] = average(average(top[x - 1], top[x]), average(bottom[x - 1], bottom[x]));
}

// Grey row y of a mosaic: the 2x2 blocks of rows t and t + 1 (t = y; the last row t = y - 1).
void bayer_row(const Image &raw, unsigned y, uint8_t *out)
{
    const unsigned top = y + 1 < raw.height ? y : y - 1;
    const uint8_t *upper = &raw.pixels[top * raw.stride];
    demosaic_row(upper, upper + raw.stride, raw.width, out);
}

// Grey row y of 16-bit little-endian containers of `bits` significant bits.
void wide_mono_row(const Image &raw, unsigned y, unsigned bits, uint8_t *out)
{
    const uint8_t *in = &raw.pixels[y * raw.stride];
    for (unsigned x = 0; x < raw.width; ++x) {
        const unsigned value = in[2 * x] | unsigned{in[2 * x + 1]} << 8;
        out[x] = static_cast<uint8_t>(std::min(255u, value >> (bits - 8)));
    }
}

// Grey row y of three bytes a pixel, red at `red` (0 or 2): luma, Rec. 601 weights, rounded.
void colour_row(const Image &raw, unsigned y, unsigned red, uint8_t *out)
{
    const uint8_t *in = &raw.pixels[y * raw.stride];
    for (unsigned x = 0; x < raw.width; ++x, in += 3)
        out[x] = static_cast<uint8_t>((299u * in[red] + 587u * in[1] + 114u * in[2 - red] + 500u) /
                                      1000u);
}

bool is_bayer(PixelFormat format)
{
    return format == PixelFormat::bayer_rg8 || format == PixelFormat::bayer_gr8 ||
           format == PixelFormat::bayer_gb8 || format == PixelFormat::bayer_bg8;
}

} // namespace

unsigned bytes_per_pixel(PixelFormat format)
{
    switch (format) {
    case PixelFormat::mono8:
    case PixelFormat::bayer_rg8:
    case PixelFormat::bayer_gr8:
    case PixelFormat::bayer_gb8:
    case PixelFormat::bayer_bg8:
        return 1;
    case PixelFormat::mono10:
    case PixelFormat::mono12:
    case PixelFormat::mono16:
        return 2;
    case PixelFormat::rgb8:
    case PixelFormat::bgr8:
        return 3;
    case PixelFormat::none:
    case PixelFormat::other:
        break;
    }
    return 0;
}

Error convert_to_mono8(const Image &source, Image &grey)
{
    const PixelFormat format = source.format;
    if (format == PixelFormat::none)
        return not_initialized;
    // A record's rows must lie within its pixels, and a mosaic needs a 2x2 block.
    const unsigned bytes = bytes_per_pixel(format);
    if (bytes == 0 || source.stride < size_t{bytes} * source.width ||
        source.pixels.size() < source.stride * source.height || source.width == 0 ||
        source.height == 0 || (is_bayer(format) && (source.width < 2 || source.height < 2)))
        return unsupported_format;
    grey.format = PixelFormat::mono8;
    grey.width = source.width;
    grey.height = source.height;
    grey.stride = padded_stride(source.width);
    grey.pixels.resize(grey.stride * grey.height);
    grey.frame = source.frame;
    grey.context = source.context;
    for (unsigned y = 0; y < source.height; ++y) {
        uint8_t *out = &grey.pixels[y * grey.stride];
        switch (format) {
        case PixelFormat::mono8:
            std::memcpy(out, &source.pixels[y * source.stride], source.width);
            break;
        case PixelFormat::mono10:
            wide_mono_row(source, y, 10, out);
            break;
        case PixelFormat::mono12:
            wide_mono_row(source, y, 12, out);
            break;
        case PixelFormat::mono16:
            wide_mono_row(source, y, 16, out);
            break;
        case PixelFormat::rgb8:
            colour_row(source, y, 0, out);
            break;
        case PixelFormat::bgr8:
            colour_row(source, y, 2, out);
            break;
        default:
            bayer_row(source, y, out);
            break;
        }
        std::fill(out + source.width, out + grey.stride, uint8_t{0});
    }
    return ok;
}

} // namespace core
