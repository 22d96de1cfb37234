// Scene rendering, Bayer sampling, noise and the frame-number stamp.
#include "scene.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace camsim
{
namespace
{

constexpr size_t noise_period = 1u << 16;
constexpr uint8_t noise_span = 7; // noise adds 0..6; the exposed scene is lowered by 3

// How strongly each photosite of the RGGB mosaic answers to grey light.
constexpr double red_response = 0.75, green_response = 1.0, blue_response = 0.6;

double reflectance(double u, double v, unsigned width, unsigned height)
{
    // u, v in [0, 1): horizontal gradient with a vertical ramp across the lower band.
    double value = 0.1 + 0.8 * u;
    if (v > 0.8)
        value = 0.05 + 0.9 * (1.0 - u);
    double aspect = static_cast<double>(width) / height;
    double dx = (u - 0.65) * aspect, dy = v - 0.45;
    if (dx * dx + dy * dy < 0.04)
        value = 0.95; // bright disc
    if (u > 0.2 && u < 0.4 && v > 0.3 && v < 0.6)
        value = 0.03; // dark square
    if (u > 0.82 && v < 0.25) {
        bool light = (static_cast<int>(u * 50) + static_cast<int>(v * 50 / aspect)) % 2 == 0;
        value = light ? 0.85 : 0.15; // checkerboard
    }
    return value;
}

double response(unsigned x, unsigned y)
{
    bool even_row = y % 2 == 0, even_column = x % 2 == 0;
    if (even_row && even_column)
        return red_response;
    if (!even_row && !even_column)
        return blue_response;
    return green_response;
}

// Five-by-seven digit glyphs, one byte a row, the low five bits used.
constexpr uint8_t glyphs[10][7] = {{14, 17, 19, 21, 25, 17, 14}, {4, 12, 4, 4, 4, 4, 14},
                                   {14, 17, 1, 2, 4, 8, 31},     {31, 2, 4, 2, 1, 17, 14},
                                   {2, 6, 10, 18, 31, 2, 2},     {31, 16, 30, 1, 1, 17, 14},
                                   {6, 8, 16, 30, 17, 17, 14},   {31, 1, 2, 4, 8, 8, 8},
                                   {14, 17, 17, 14, 17, 17, 14}, {14, 17, 17, 15, 1, 2, 12}};

void stamp_number(uint64_t number, unsigned width, unsigned height, uint8_t *pixels)
{
    const unsigned scale = std::max(2u, height / 80);
    const unsigned digits = 6, cell = 6 * scale, margin = 2 * scale;
    const unsigned box_width = std::min(width, digits * cell + 2 * margin);
    const unsigned box_height = std::min(height, 7 * scale + 2 * margin);
    for (unsigned y = 0; y < box_height; ++y)
        std::memset(pixels + static_cast<size_t>(y) * width, 0, box_width);
    for (unsigned d = 0; d < digits; ++d) {
        uint64_t divisor = 1;
        for (unsigned i = d + 1; i < digits; ++i)
            divisor *= 10;
        const uint8_t *glyph = glyphs[(number / divisor) % 10];
        for (unsigned y = 0; y < 7 * scale && margin + y < box_height; ++y)
            for (unsigned x = 0; x < 5 * scale; ++x) {
                unsigned px = margin + d * cell + x;
                if (px < box_width && (glyph[y / scale] >> (4 - x / scale)) & 1)
                    pixels[static_cast<size_t>(margin + y) * width + px] = 255;
            }
    }
}

} // namespace

void Sensor::expose(unsigned width, unsigned height, double brightness)
{
    if (width == width_ && height == height_ && brightness == brightness_)
        return;
    width_ = width;
    height_ = height;
    brightness_ = brightness;
    exposed_.resize(static_cast<size_t>(width) * height);
    for (unsigned y = 0; y < height; ++y) {
        double v = (y + 0.5) / height;
        uint8_t *row = &exposed_[static_cast<size_t>(y) * width];
        for (unsigned x = 0; x < width; ++x) {
            double light = 255.0 * brightness * response(x, y) *
                           reflectance((x + 0.5) / width, v, width, height);
            row[x] = static_cast<uint8_t>(std::clamp(light - noise_span / 2, 0.0, 255.0));
        }
    }
    if (noise_.empty()) {
        // Twice the period, so any window of one period is contiguous.
        noise_.resize(2 * noise_period);
        uint32_t state = 0x2545F491u;
        for (uint8_t &value : noise_) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            value = static_cast<uint8_t>(state % noise_span);
        }
    }
}

void Sensor::read_out(uint64_t frame_number, Image &raw) const
{
    const size_t count = exposed_.size();
    raw.layout = PixelLayout::bayer_rggb;
    raw.width = width_;
    raw.height = height_;
    raw.stride = width_;
    raw.pixels.resize(count);
    size_t offset = (frame_number * 40503u) % noise_period;
    uint8_t *out = raw.pixels.data();
    const uint8_t *in = exposed_.data();
    for (size_t start = 0; start < count; start += noise_period) {
        const size_t n = std::min(noise_period, count - start);
        const uint8_t *noise = &noise_[(offset + start) % noise_period];
        for (size_t i = 0; i < n; ++i) {
            unsigned sum = in[start + i] + noise[i];
            out[start + i] = static_cast<uint8_t>(sum > 255 ? 255 : sum);
        }
    }
    stamp_number(frame_number, width_, height_, out);
}

} // namespace camsim
