// The frame-number stamp: digit glyphs drawn into a frame's rows.
#include "stamp.h"

#include <algorithm>
#include <cstring>

namespace camsim
{
namespace
{

// Five-by-seven digit glyphs, one byte a row, the low five bits used.
constexpr uint8_t glyphs[10][7] = {{14, 17, 19, 21, 25, 17, 14}, {4, 12, 4, 4, 4, 4, 14},
                                   {14, 17, 1, 2, 4, 8, 31},     {31, 2, 4, 2, 1, 17, 14},
                                   {2, 6, 10, 18, 31, 2, 2},     {31, 16, 30, 1, 1, 17, 14},
                                   {6, 8, 16, 30, 17, 17, 14},   {31, 1, 2, 4, 8, 8, 8},
                                   {14, 17, 17, 14, 17, 17, 14}, {14, 17, 17, 15, 1, 2, 12}};

} // namespace

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

} // namespace camsim
