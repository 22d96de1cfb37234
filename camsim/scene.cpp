// Scene rows, Bayer sampling, noise and the frame-number stamp.
#include "scene.h"
#include "vectorise.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace camsim
{
namespace
{

constexpr size_t noise_period = 1u << 16;
// Noise adds 0..6 to a scene lowered by 3 and kept to 249 at most, so it never overflows:
// saturated photosites still read 249 to 255.
constexpr uint8_t noise_span = 7;
constexpr double brightest = 255.0 - (noise_span - 1);

// How strongly each photosite of the RGGB mosaic answers to grey light.
constexpr double red_response = 0.75, green_response = 1.0, blue_response = 0.6;

enum Flat { disc, square, light_cell, dark_cell };
constexpr double flat_reflectance[4] = {0.95, 0.03, 0.85, 0.15};

double response(unsigned x, unsigned y)
{
    bool even_row = y % 2 == 0, even_column = x % 2 == 0;
    if (even_row && even_column)
        return red_response;
    if (!even_row && !even_column)
        return blue_response;
    return green_response;
}

// Twice the period long, so a window of one period starting anywhere in it is contiguous.
const uint8_t *noise_table()
{
    static const std::vector<uint8_t> table = [] {
        std::vector<uint8_t> values(2 * noise_period);
        uint32_t state = 0x2545F491u;
        for (uint8_t &value : values) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            value = static_cast<uint8_t>(state % noise_span);
        }
        return values;
    }();
    return table.data();
}

// Columns whose centres lie between u0 and u1 (fractions of the width).
void span(const Exposure &e, double u0, double u1, unsigned &begin, unsigned &end)
{
    auto column = [&e](double u) {
        return static_cast<unsigned>(std::clamp(std::ceil(u * e.width - 0.5), 0.0, 1.0 * e.width));
    };
    begin = column(u0);
    end = std::max(begin, column(u1));
}

// out = scene + noise over [begin, end): one pass, vectorised for the processor at hand.
CAMSIM_VECTORISE void add_noise(const uint8_t *scene, const uint8_t *noise, unsigned begin,
                                unsigned end, uint8_t *out)
{
    for (unsigned x = begin; x < end; ++x)
        out[x] = static_cast<uint8_t>(scene[x] + noise[x]);
}

void paint(const Exposure &e, Flat flat, unsigned y, double u0, double u1, const uint8_t *noise,
           uint8_t *out)
{
    unsigned begin, end;
    span(e, u0, u1, begin, end);
    add_noise(e.flat[flat][y % 2].data(), noise, begin, end, out);
}

// Row y of the scene with its noise: the background band, then the shapes over it.
void scene_row(const Exposure &e, unsigned y, const uint8_t *noise, uint8_t *out)
{
    const double v = (y + 0.5) / e.height;
    const double aspect = static_cast<double>(e.width) / e.height;
    const auto &base = v > 0.8 ? e.reverse_gradient : e.gradient;
    add_noise(base[y % 2].data(), noise, 0, e.width, out);
    const double dy = v - 0.45;
    if (dy * dy < 0.04) {
        double half = std::sqrt(0.04 - dy * dy) / aspect;
        paint(e, disc, y, 0.65 - half, 0.65 + half, noise, out);
    }
    if (v > 0.3 && v < 0.6)
        paint(e, square, y, 0.2, 0.4, noise, out);
    if (v < 0.25) {
        const int cell_row = static_cast<int>(v * 50 / aspect);
        for (int cell = 41; cell < 50; ++cell) // u from 0.82, cells of 1/50 of the width
            paint(e, (cell + cell_row) % 2 == 0 ? light_cell : dark_cell, y,
                  std::max(0.82, cell / 50.0), (cell + 1) / 50.0, noise, out);
    }
}

// Five-by-seven digit glyphs, one byte a row, the low five bits used.
constexpr uint8_t glyphs[10][7] = {{14, 17, 19, 21, 25, 17, 14}, {4, 12, 4, 4, 4, 4, 14},
                                   {14, 17, 1, 2, 4, 8, 31},     {31, 2, 4, 2, 1, 17, 14},
                                   {2, 6, 10, 18, 31, 2, 2},     {31, 16, 30, 1, 1, 17, 14},
                                   {6, 8, 16, 30, 17, 17, 14},   {31, 1, 2, 4, 8, 8, 8},
                                   {14, 17, 17, 14, 17, 17, 14}, {14, 17, 17, 15, 1, 2, 12}};

// The frame number's row y: six white digits in a black box at the top left.
void stamp_row(uint64_t number, unsigned width, unsigned height, unsigned y, uint8_t *out)
{
    const unsigned scale = std::max(2u, height / 80);
    const unsigned digits = 6, cell = 6 * scale, margin = 2 * scale;
    const unsigned box_width = std::min(width, digits * cell + 2 * margin);
    const unsigned box_height = std::min(height, 7 * scale + 2 * margin);
    if (y >= box_height)
        return;
    std::memset(out, 0, box_width);
    if (y < margin || y >= margin + 7 * scale)
        return;
    const unsigned glyph_row = (y - margin) / scale;
    uint64_t divisor = 100000;
    for (unsigned d = 0; d < digits; ++d, divisor /= 10) {
        const uint8_t bits = glyphs[(number / divisor) % 10][glyph_row];
        for (unsigned column = 0; column < 5; ++column) {
            if (!((bits >> (4 - column)) & 1))
                continue;
            unsigned begin = std::min(box_width, margin + d * cell + column * scale);
            unsigned end = std::min(box_width, begin + scale);
            std::memset(out + begin, 255, end - begin);
        }
    }
}

} // namespace

std::shared_ptr<const Exposure> expose(unsigned width, unsigned height, double brightness)
{
    auto e = std::make_shared<Exposure>();
    e->width = width;
    e->height = height;
    e->brightness = brightness;
    auto level = [brightness](double reflectance, unsigned x, unsigned y) {
        double light = 255.0 * brightness * response(x, y) * reflectance;
        return static_cast<uint8_t>(std::clamp(light - noise_span / 2, 0.0, brightest));
    };
    for (unsigned parity = 0; parity < 2; ++parity) {
        e->gradient[parity].resize(width);
        e->reverse_gradient[parity].resize(width);
        for (auto &flat : e->flat)
            flat[parity].resize(width);
        for (unsigned x = 0; x < width; ++x) {
            double u = (x + 0.5) / width;
            e->gradient[parity][x] = level(0.1 + 0.8 * u, x, parity);
            e->reverse_gradient[parity][x] = level(0.05 + 0.9 * (1.0 - u), x, parity);
            for (int flat = 0; flat < 4; ++flat)
                e->flat[flat][parity][x] = level(flat_reflectance[flat], x, parity);
        }
    }
    return e;
}

void raw_row(const Exposure &exposure, uint64_t frame, unsigned y, uint8_t *out)
{
    const size_t offset = (frame * 40503u + static_cast<size_t>(y) * exposure.width) % noise_period;
    scene_row(exposure, y, noise_table() + offset, out);
    stamp_row(frame, exposure.width, exposure.height, y, out);
}

} // namespace camsim
