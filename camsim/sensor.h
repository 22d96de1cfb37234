// The sensor's photosites: how strongly each answers to light, their noise and their
// saturation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace camsim
{

// A run of photosites: their levels (0 to 255; 255 is a saturated photosite) as 64 times the
// level plus 32, ready for rounding, less the noise's centre times the deviation; and their
// noise deviations (in units sensor.cpp gives).
struct SensorRow {
    std::vector<int16_t> level;
    std::vector<uint8_t> deviation;
};

// add_noise works in whole blocks of this many photosites.
constexpr unsigned noise_block = 32;

// Makes the row `size` photosites long, with room for add_noise's last block after them.
void resize(SensorRow &row, size_t size);

// How strongly the photosite at (x, y) of the RGGB mosaic answers to grey light.
double response(unsigned x, unsigned y);

// A photosite receiving `light` levels' worth (gain included): its level and deviation. A
// photosite at or beyond full scale is saturated and reads 255 whatever the noise.
void expose_photosite(double light, double gain, int16_t &level, uint8_t &deviation);

// The bytes frame_noise writes for a row `width` photosites wide: whole words' worth, and room
// for add_noise's last block.
constexpr size_t noise_row_size(unsigned width)
{
    return ((static_cast<size_t>(width) + 7) & ~static_cast<size_t>(7)) + noise_block;
}

// The noise samples of row y of frame number `frame` of a sensor `width` photosites wide, into
// out (noise_row_size(width) bytes): each photosite's drawn on its own from the frame number,
// its row and column, so the same for the same frame number and width, and fresh each frame.
void frame_noise(uint64_t frame, unsigned y, unsigned width, uint8_t *out);

// out = level + deviation x noise over [begin, end), rounded and kept to 0..255, in whole
// blocks: it also writes up to noise_block - 1 photosites past end (and reads as far), which a
// row made of runs left to right overwrites with the next run. So out has noise_block bytes
// of room after the row.
void add_noise(const int16_t *level, const uint8_t *deviation, const uint8_t *noise, unsigned begin,
               unsigned end, uint8_t *out);

} // namespace camsim
