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

// Grey row y of Mono8: the row as it is.
void mono_row(const Image &raw, unsigned y, uint8_t *out)
{
    std::memcpy(out, &raw.pixels[y * raw.stride], raw.width);
}

// Grey row y of 16-bit little-endian containers of `bits` significant bits.
template <unsigned bits> void wide_mono_row(const Image &raw, unsigned y, uint8_t *out)
{
    const uint8_t *in = &raw.pixels[y * raw.stride];
    for (unsigned x = 0; x < raw.width; ++x) {
        const unsigned value = in[2 * x] | unsigned{in[2 * x + 1]} << 8;
        out[x] = static_cast<uint8_t>(std::min(255u, value >> (bits - 8)));
    }
}

// Grey row y of three bytes a pixel, red at `red` (0 or 2): luma, Rec. 601 weights, rounded.
template <unsigned red> void colour_row(const Image &raw, unsigned y, uint8_t *out)
{
    const uint8_t *in = &raw.pixels[y * raw.stride];
    for (unsigned x = 0; x < raw.width; ++x, in += 3)
        out[x] = static_cast<uint8_t>((299u * in[red] + 587u * in[1] + 114u * in[2 - red] + 500u) /
                                      1000u);
}

// Every format the core converts: the bytes a pixel takes, the fewest rows and columns a
// frame of it needs (a mosaic, a 2x2 block), and how a grey row is made of it.
struct Known {
    PixelFormat format;
    unsigned bytes;
    unsigned least;
    void (*grey_row)(const Image &raw, unsigned y, uint8_t *out);
};

constexpr Known known_formats[] = {
    {PixelFormat::mono8, 1, 1, mono_row},
    {PixelFormat::mono10, 2, 1, wide_mono_row<10>},
    {PixelFormat::mono12, 2, 1, wide_mono_row<12>},
    {PixelFormat::mono16, 2, 1, wide_mono_row<16>},
    // The 2x2 mean is the same whatever the mosaic's order.
    {PixelFormat::bayer_rg8, 1, 2, bayer_row},
    {PixelFormat::bayer_gr8, 1, 2, bayer_row},
    {PixelFormat::bayer_gb8, 1, 2, bayer_row},
    {PixelFormat::bayer_bg8, 1, 2, bayer_row},
    {PixelFormat::rgb8, 3, 1, colour_row<0>},
    {PixelFormat::bgr8, 3, 1, colour_row<2>},
};

const Known *known(PixelFormat format)
{
    for (const Known &each : known_formats)
        if (each.format == format)
            return &each;
    return nullptr;
}

} // namespace

unsigned bytes_per_pixel(PixelFormat format)
{
    const Known *found = known(format);
    return found == nullptr ? 0 : found->bytes;
}

Error convert_to_mono8(const Image &source, Image &grey)
{
    if (source.format == PixelFormat::none)
        return not_initialized;
    // A record's rows must lie within its pixels, and the frame be large enough for its format.
    const Known *format = known(source.format);
    if (format == nullptr || source.stride < size_t{format->bytes} * source.width ||
        source.pixels.size() < source.stride * source.height || source.width < format->least ||
        source.height < format->least)
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
        format->grey_row(source, y, out);
        std::fill(out + source.width, out + grey.stride, uint8_t{0});
    }
    return ok;
}

} // namespace core
