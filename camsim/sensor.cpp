// The sensor's photosites: their response, exposure, noise and saturation.
#include "sensor.h"
#include "vectorise.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace camsim
{
namespace
{

// Sensor noise at 0 dB: photon shot noise, with 0.08 levels per electron (a full well of
// about 3200 electrons reads 255), and read noise of 0.6 levels. Gain multiplies the
// signal with both, so at equal brightness more gain means more noise.
constexpr double levels_per_electron = 0.08;
constexpr double read_noise = 0.6;

// A noise sample is a random 4-bit number: 0 to 15, uniform, centred on 7.5, with a spread
// of sqrt((16^2 - 1) / 12) samples. A grey pixel is the mean of four photosites, so its noise
// is close to normal. Levels are held as 64ths; a deviation is in steps of 64 / spread of a
// level, so that deviation x (sample - 7.5) / 64 is the noise in levels. A deviation is at most
// 255: about 18 levels, more than the sensor gives at full gain on a mid-grey, and a level
// plus its noise fits 16 bits.
constexpr double noise_spread = 4.6097722286464435;
constexpr int level_unit = 64;
constexpr double deviation_unit = level_unit / noise_spread;

// How strongly each photosite of the RGGB mosaic answers to grey light.
constexpr double red_response = 0.75, green_response = 1.0, blue_response = 0.6;

// The noise of every frame is drawn from one fixed seed: the same frame number, the same noise.
constexpr uint64_t noise_seed = 0x6a09e667f3bcc909u;

// The 32-bit key of a frame's noise: its number and the seed through a 64-bit mixer
// (splitmix64's), so that neighbouring frame numbers get unrelated keys.
uint32_t frame_key(uint64_t frame)
{
    uint64_t z = noise_seed + frame * 0x9e3779b97f4a7c15u;
    z = (z ^ z >> 30) * 0xbf58476d1ce4e5b9u;
    z = (z ^ z >> 27) * 0x94d049bb133111ebu;
    return static_cast<uint32_t>((z ^ z >> 31) >> 32);
}

// A counter-based generator: a 32-bit multiply-xorshift hash (two rounds) of the frame's key
// plus a counter. Each word is computed on its own, so a row's words are made side by side in
// vector lanes rather than one after another.
inline uint32_t noise_word(uint32_t key, uint32_t counter)
{
    uint32_t x = key + counter;
    x ^= x >> 16;
    x *= 0x7feb352du;
    x ^= x >> 15;
    x *= 0x846ca68bu;
    x ^= x >> 16;
    return x;
}

} // namespace

void resize(SensorRow &row, size_t size)
{
    row.level.resize(size + noise_block);
    row.deviation.resize(size + noise_block);
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
    const double variance =
        levels_per_electron * gain * light + gain * gain * read_noise * read_noise;
    deviation =
        static_cast<uint8_t>(std::min(255l, std::lround(std::sqrt(variance) * deviation_unit)));
    // The noise samples' centre (7.5) taken off here once, rather than from every sample.
    level = static_cast<int16_t>(std::lround(light) * level_unit + level_unit / 2 -
                                 (15 * deviation + 1) / 2);
}

// Eight samples a word, the 4-bit halves of its bytes: the low halves of the row's words make
// the first half of its samples, the high halves the second, so both are written straight
// from vector lanes. The bytes are stored in the processor's order.
CORE_VECTORISE void frame_noise(uint64_t frame, unsigned y, unsigned width, uint8_t *out)
{
    const unsigned words = (width + 7) / 8;
    const size_t half = 4 * static_cast<size_t>(words);
    const uint32_t key = frame_key(frame), first = y * words;
    for (unsigned i = 0; i < words; ++i) {
        const uint32_t word = noise_word(key, first + i);
        const uint32_t low = word & 0x0f0f0f0fu, high = word >> 4 & 0x0f0f0f0fu;
        std::memcpy(out + 4 * static_cast<size_t>(i), &low, 4);
        std::memcpy(out + half + 4 * static_cast<size_t>(i), &high, 4);
    }
}

// out = level + deviation x noise, rounded and kept to 0..255: in 16-bit lanes, vectorised
// for the processor at hand, a block at a time, so that a run of any length costs no loop
// tail of single photosites.
CORE_VECTORISE void add_noise(const int16_t *__restrict level,
                                const uint8_t *__restrict deviation,
                                const uint8_t *__restrict noise, unsigned begin, unsigned end,
                                uint8_t *__restrict out)
{
    for (size_t block = begin; block < end; block += noise_block) {
        const int16_t *l = level + block;
        const uint8_t *d = deviation + block, *n = noise + block;
        uint8_t *o = out + block;
        for (unsigned x = 0; x < noise_block; ++x) {
            const int16_t value =
                static_cast<int16_t>(l[x] + static_cast<int16_t>(d[x] * n[x])) >> 6;
            o[x] = static_cast<uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value);
        }
    }
}

} // namespace camsim
