// Scene rows, Bayer sampling, sensor noise and the frame-number stamp.
#include "scene.h"
#include "vectorise.h"

#include "knobs.h"
#include "scene_file.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

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

// Scene files are sampled to 12 bits of light per photosite.
constexpr unsigned light_steps = 4095;

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

const int8_t *noise_table()
{
    return noise.values;
}

// A photosite receiving `light` levels' worth (gain included): its level and deviation. A
// photosite at or beyond full scale is saturated and reads 255 whatever the noise.
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

// A scene file at the sensor's size: each photosite's light at brightness 1.0 (its
// response times the nearest scene pixel's reflectance) in 4095ths of full scale, and their
// mean.
struct SceneFile {
    std::vector<uint16_t> light;
    double mean = 0;
};

std::unique_ptr<SceneFile> load_scene_file()
{
    const std::string &path = knobs().scene_path;
    if (path.empty())
        return nullptr;
    GreyImage image;
    const std::string error = read_grey_image(path, image);
    if (!error.empty()) {
        std::fprintf(stderr, "camsim: ignoring CAMSIM_SCENE='%s': %s\n", path.c_str(),
                     error.c_str());
        return nullptr;
    }
    // Each photosite takes the scene pixel nearest its centre; the image is stretched to the
    // sensor, its aspect ratio not kept.
    const unsigned width = knobs().width, height = knobs().height;
    auto scene = std::make_unique<SceneFile>();
    scene->light.resize(static_cast<size_t>(width) * height);
    double sum = 0;
    for (unsigned y = 0; y < height; ++y) {
        const size_t row = static_cast<size_t>((y + 0.5) * image.height / height) * image.width;
        for (unsigned x = 0; x < width; ++x) {
            const size_t column = static_cast<size_t>((x + 0.5) * image.width / width);
            const double reflectance =
                static_cast<double>(image.pixels[row + column]) / image.white;
            const auto light =
                static_cast<uint16_t>(std::lround(response(x, y) * reflectance * light_steps));
            scene->light[static_cast<size_t>(y) * width + x] = light;
            sum += light;
        }
    }
    scene->mean = sum / light_steps / scene->light.size();
    return scene;
}

// This process's scene file, read on first use; null for the built-in scene.
const SceneFile *scene_file()
{
    static const std::unique_ptr<SceneFile> scene = load_scene_file();
    return scene.get();
}

// Columns whose centres lie between u0 and u1 (fractions of the width).
void span(const ExposedScene &e, double u0, double u1, unsigned &begin, unsigned &end)
{
    auto column = [&e](double u) {
        return static_cast<unsigned>(std::clamp(std::ceil(u * e.width - 0.5), 0.0, 1.0 * e.width));
    };
    begin = column(u0);
    end = std::max(begin, column(u1));
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

// Row y of the scene with its noise: the shapes in the order they lie over each other, and
// the background band where none is; or the scene file's row.
void scene_row(const ExposedScene &e, unsigned y, const int8_t *noise, uint8_t *out)
{
    if (!e.whole.level.empty()) {
        const size_t offset = static_cast<size_t>(y) * e.width;
        add_noise(&e.whole.level[offset], &e.whole.deviation[offset], noise, 0, e.width, out);
        return;
    }
    struct Shape {
        Flat flat;
        unsigned begin, end;
    };
    Shape shapes[11];
    unsigned count = 0;
    auto add = [&](Flat flat, double u0, double u1) {
        Shape &shape = shapes[count];
        shape.flat = flat;
        span(e, u0, u1, shape.begin, shape.end);
        count += shape.begin < shape.end;
    };
    const double v = (y + 0.5) / e.height;
    const double aspect = static_cast<double>(e.width) / e.height;
    const double dy = v - 0.45;
    if (dy * dy < 0.04) {
        double half = std::sqrt(0.04 - dy * dy) / aspect;
        add(disc, 0.65 - half, 0.65 + half);
    }
    if (v > 0.3 && v < 0.6)
        add(square, 0.2, 0.4);
    if (v < 0.25) {
        const int cell_row = static_cast<int>(v * 50 / aspect);
        for (int cell = 41; cell < 50; ++cell) // u from 0.82, cells of 1/50 of the width
            add((cell + cell_row) % 2 == 0 ? light_cell : dark_cell, std::max(0.82, cell / 50.0),
                (cell + 1) / 50.0);
    }
    // The background between the shapes, left to right: each photosite is made once.
    Shape by_column[11];
    for (unsigned i = 0; i < count; ++i) { // sorted by first column, as they come
        unsigned at = i;
        for (; at > 0 && by_column[at - 1].begin > shapes[i].begin; --at)
            by_column[at] = by_column[at - 1];
        by_column[at] = shapes[i];
    }
    const unsigned parity = y % 2;
    const SensorRow &base = v > 0.8 ? e.reverse_gradient[parity] : e.gradient[parity];
    unsigned x = 0;
    for (unsigned i = 0; i <= count; ++i) {
        const unsigned begin = i < count ? by_column[i].begin : e.width;
        if (begin > x)
            add_noise(base.level.data(), base.deviation.data(), noise, x, begin, out);
        if (i < count)
            x = std::max(x, by_column[i].end);
    }
    for (unsigned i = 0; i < count; ++i) {
        const SensorRow &row = e.flat[shapes[i].flat][y % 2];
        add_noise(row.level.data(), row.deviation.data(), noise, shapes[i].begin, shapes[i].end,
                  out);
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

void resize(SensorRow &row, size_t size)
{
    row.level.resize(size);
    row.deviation.resize(size);
}

// The built-in scene's prepared rows.
void expose_built_in(ExposedScene &e, double gain)
{
    const double brightness = e.brightness;
    auto put = [brightness, gain](SensorRow &row, double reflectance, unsigned x, unsigned y) {
        expose_photosite(255.0 * brightness * response(x, y) * reflectance, gain, row.level[x],
                         row.deviation[x]);
    };
    for (unsigned parity = 0; parity < 2; ++parity) {
        resize(e.gradient[parity], e.width);
        resize(e.reverse_gradient[parity], e.width);
        for (auto &flat : e.flat)
            resize(flat[parity], e.width);
        for (unsigned x = 0; x < e.width; ++x) {
            double u = (x + 0.5) / e.width;
            put(e.gradient[parity], 0.1 + 0.8 * u, x, parity);
            put(e.reverse_gradient[parity], 0.05 + 0.9 * (1.0 - u), x, parity);
            for (int flat = 0; flat < 4; ++flat)
                put(e.flat[flat][parity], flat_reflectance[flat], x, parity);
        }
    }
}

// A scene file's photosites, through a table of every light step.
void expose_file(ExposedScene &e, const SceneFile &scene, double gain)
{
    SensorRow steps;
    resize(steps, light_steps + 1);
    for (unsigned step = 0; step <= light_steps; ++step)
        expose_photosite(255.0 * e.brightness * step / light_steps, gain, steps.level[step],
                         steps.deviation[step]);
    resize(e.whole, scene.light.size());
    for (size_t i = 0; i < scene.light.size(); ++i) {
        e.whole.level[i] = steps.level[scene.light[i]];
        e.whole.deviation[i] = steps.deviation[scene.light[i]];
    }
}

// The built-in scene's mean light at brightness 1.0, as a fraction of full scale.
double built_in_mean()
{
    ExposedScene e;
    e.width = knobs().width;
    e.height = knobs().height;
    e.brightness = 1.0;
    expose_built_in(e, 1.0);
    const std::vector<int8_t> silence(e.width, 0);
    std::vector<uint8_t> row(e.width);
    double sum = 0;
    for (unsigned y = 0; y < e.height; ++y) {
        scene_row(e, y, silence.data(), row.data());
        for (uint8_t level : row)
            sum += level;
    }
    return sum / 255.0 / e.width / e.height;
}

} // namespace

std::shared_ptr<const ExposedScene> expose_scene(double brightness, double gain_db)
{
    auto e = std::make_shared<ExposedScene>();
    e->width = knobs().width;
    e->height = knobs().height;
    e->brightness = brightness;
    e->gain_db = gain_db;
    e->stamp = knobs().stamp;
    const double gain = std::pow(10.0, gain_db / 20.0);
    if (const SceneFile *scene = scene_file())
        expose_file(*e, *scene, gain);
    else
        expose_built_in(*e, gain);
    return e;
}

double metering_factor()
{
    static const double factor = [] {
        const SceneFile *scene = scene_file();
        if (scene == nullptr)
            return 1.0;
        // A black scene gets all the light the sensor can give it.
        return built_in_mean() / std::max(scene->mean, 1e-6);
    }();
    return factor;
}

void raw_row(const ExposedScene &scene, uint64_t frame, unsigned y, uint8_t *out)
{
    const size_t offset = (frame * 40503u + static_cast<size_t>(y) * scene.width) % noise_period;
    scene_row(scene, y, noise_table() + offset, out);
    if (scene.stamp)
        stamp_row(frame, scene.width, scene.height, y, out);
}

} // namespace camsim
