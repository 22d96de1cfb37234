// The sensor's photosites: their response, exposure, noise and saturation.
#include "sensor.h"
#include "vectorise.h"

#include <algorithm>
#include <cmath>

namespace camsim
{
namespace
{

constexpr size_t noise_period = 1u << 16;

// Sensor noise at 0 dB: photon shot noise, with 0.08 levels per electron (a full well of
// about 3200 electrons reads 255), and read noise of 0.6 levels. Gain multiplies the
// signal with both, so at equal brightness more gain means more noise.
constexpr double levels_per_electron = 0.08;
constexpr double read_noise = 0.6;

// Noise samples are eighths of a standard deviation and deviations eighths of a level (at
// most 127, so a level plus its noise fits 16 bits): their product over 64 is the noise in
// levels.
constexpr double noise_unit = 8, deviation_unit = 8;
constexpr int level_unit = 64;

// How strongly each photosite of the RGGB mosaic answers to grey light.
constexpr double red_response = 0.75, green_response = 1.0, blue_response = 0.6;

// The rounding of std::lround (halves away from zero), usable at compile time.
constexpr long round_half_away(double x)
{
    const long whole = static_cast<long>(x); // towards zero
    const double rest = x - static_cast<double>(whole);
    return rest >= 0.5 ? whole + 1 : rest <= -0.5 ? whole - 1 : whole;
}

// Normal samples in noise units: each the sum of the four bytes of a pseudo-random word,
// centred and scaled to a standard deviation of one. Twice the period long, so a window of
// one period starting anywhere in it is contiguous. Made when the library is compiled, so
// no process spends its start-up on it.
struct NoiseTable {
    int8_t values[2 * noise_period];
};

constexpr NoiseTable make_noise_table()
{
    // The standard deviation of a sum of four uniform bytes: sqrt(4 * (256^2 - 1) / 12).
    constexpr double spread = 147.80054127099805;
    NoiseTable table{};
    uint32_t state = 0x2545F491u;
    for (int8_t &value : table.values) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        const int sum = static_cast<int>((state & 255) + (state >> 8 & 255) + (state >> 16 & 255) +
                                         (state >> 24));
        value = static_cast<int8_t>(round_half_away((sum - 510) / spread * noise_unit));
    }
    return table;
}

constexpr NoiseTable noise = make_noise_table();

} // namespace

void resize(SensorRow &row, size_t size)
{
    row.level.resize(size);
    row.deviation.resize(size);
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

void expose_photosite(double light, double gain, int16_t &level, uint8_t &deviation)
{
    light = std::max(light, 0.0);
    if (light >= 254.5) {
        level = 255 * level_unit + level_unit / 2;
        deviation = 0;
        return;
    }
    level = static_cast<int16_t>(std::lround(light) * level_unit + level_unit / 2);
    const double variance =
        levels_per_electron * gain * light + gain * gain * read_noise * read_noise;
    deviation =
        static_cast<uint8_t>(std::min(127l, std::lround(std::sqrt(variance) * deviation_unit)));
}

const int8_t *frame_noise(uint64_t frame, unsigned y, unsigned width)
{
    return noise.values + (frame * 40503u + static_cast<size_t>(y) * width) % noise_period;
}

// out = level + deviation x noise over [begin, end), rounded and kept to 0..255: one pass
// in 16-bit lanes, vectorised for the processor at hand.
CAMSIM_VECTORISE void add_noise(const int16_t *level, const uint8_t *deviation, const int8_t *noise,
                                unsigned begin, unsigned end, uint8_t *out)
{
    for (unsigned x = begin; x < end; ++x) {
        const int16_t value =
            static_cast<int16_t>(level[x] + static_cast<int16_t>(deviation[x] * noise[x])) >> 6;
        out[x] = static_cast<uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value);
    }
}

} // namespace camsim
