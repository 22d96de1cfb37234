// The scene: the built-in one's geometry and a scene file sampled to the sensor, exposed
// into rows of the sensor's photosites, and the raw rows of a frame made of them.
#include "scene.h"

#include "scene_file.h"
#include "stamp.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace camsim
{

// A scene image at the sensor's size: each photosite's light at brightness 1.0 (its
// response times the nearest scene pixel's reflectance) in 4095ths of full scale, and their
// mean.
struct Scene::File {
    std::vector<uint16_t> light;
    double mean = 0;
};

namespace
{

// Scene files are sampled to 12 bits of light per photosite.
constexpr unsigned light_steps = 4095;

// The reflectance of the flat shapes, from the disc on.
constexpr double flat_reflectance[prepared_rows - disc] = {0.95, 0.03, 0.85, 0.15};

// A scene directory's images are held at the sensor's size, at most this many bytes of them;
// each file looked at counts as one image, read or left out, so this bounds the work too.
constexpr size_t most_sequence_bytes = size_t{1} << 28;

// An image sampled to a sensor of width x height.
Scene::File sample_image(const GreyImage &image, unsigned width, unsigned height)
{
    // Each photosite takes the scene pixel nearest its centre; the image is stretched to the
    // sensor, its aspect ratio not kept.
    Scene::File scene;
    scene.light.resize(static_cast<size_t>(width) * height);
    double sum = 0;
    for (unsigned y = 0; y < height; ++y) {
        const size_t row = static_cast<size_t>((y + 0.5) * image.height / height) * image.width;
        for (unsigned x = 0; x < width; ++x) {
            const size_t column = static_cast<size_t>((x + 0.5) * image.width / width);
            const double reflectance =
                static_cast<double>(image.pixels[row + column]) / image.white;
            const auto light =
                static_cast<uint16_t>(std::lround(response(x, y) * reflectance * light_steps));
            scene.light[static_cast<size_t>(y) * width + x] = light;
            sum += light;
        }
    }
    scene.mean = sum / light_steps / scene.light.size();
    return scene;
}

// CAMSIM_SCENE's images sampled to a sensor of width x height: its file, or the PGM and PNG
// files of its directory in name order. None when it is not set, or when no image can be
// read: said on standard error, once, as are the files of a sequence left out.
std::vector<Scene::File> load_scene(const std::string &path, unsigned width, unsigned height)
{
    std::vector<Scene::File> images;
    if (path.empty())
        return images;
    std::vector<std::string> names, skipped;
    GreyImage image;
    if (!list_scene_directory(path, names)) {
        const std::string error = read_grey_image(path, image);
        if (error.empty())
            images.push_back(sample_image(image, width, height));
        else
            skipped.push_back(error);
    }
    const size_t most = std::max<size_t>(1, most_sequence_bytes / (2 * size_t{width} * height));
    for (size_t looked_at = 0; looked_at < names.size(); ++looked_at) {
        const std::string &name = names[looked_at];
        if (looked_at == most) {
            skipped.push_back("'" + name + "' and later files: a sequence looks at " +
                              std::to_string(most) + " files at most at this sensor size");
            break;
        }
        const std::string error = read_grey_image(path + "/" + name, image, false);
        if (error.empty())
            images.push_back(sample_image(image, width, height));
        else
            skipped.push_back("'" + name + "': " + error);
    }
    if (images.empty())
        std::fprintf(stderr, "camsim: ignoring CAMSIM_SCENE='%s': %s\n", path.c_str(),
                     names.empty() && !skipped.empty() ? skipped[0].c_str()
                                                       : "no readable PGM or PNG image");
    else
        for (const std::string &why : skipped)
            std::fprintf(stderr, "camsim: CAMSIM_SCENE='%s': leaving out %s\n", path.c_str(),
                         why.c_str());
    return images;
}

// Columns of a sensor `width` wide whose centres lie between u0 and u1 (fractions of the
// width).
void span(unsigned width, double u0, double u1, unsigned &begin, unsigned &end)
{
    auto column = [width](double u) {
        return static_cast<unsigned>(std::clamp(std::ceil(u * width - 0.5), 0.0, 1.0 * width));
    };
    begin = column(u0);
    end = std::max(begin, column(u1));
}

// Row y of the built-in scene on a width x height sensor, appended to runs: the background
// band with the shapes laid over it in turn, as runs left to right, none overlapping, so each
// photosite is made once.
void lay_out_row(unsigned width, unsigned height, unsigned y, std::vector<SceneLayout::Run> &runs)
{
    const double v = (y + 0.5) / height;
    std::vector<SceneLayout::Run> row{{0, width, v > 0.8 ? reverse_gradient : gradient}}, laid;
    auto add = [&](PreparedRow shape, double u0, double u1) {
        SceneLayout::Run over{0, 0, shape};
        span(width, u0, u1, over.begin, over.end);
        if (over.begin == over.end)
            return;
        laid.clear();
        for (const SceneLayout::Run &run : row) { // what the shape leaves of each run
            if (run.begin < over.begin)
                laid.push_back({run.begin, std::min(run.end, over.begin), run.row});
            if (run.begin <= over.begin && over.begin < run.end)
                laid.push_back(over);
            if (run.end > over.end)
                laid.push_back({std::max(run.begin, over.end), run.end, run.row});
        }
        row.swap(laid);
    };
    const double aspect = static_cast<double>(width) / height;
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
    runs.insert(runs.end(), row.begin(), row.end());
}

// Row y of the scene with its noise: the built-in scene's runs, or the scene file's row.
void scene_row(const ExposedScene &e, unsigned y, const uint8_t *noise, uint8_t *out)
{
    if (!e.whole.level.empty()) {
        const size_t offset = static_cast<size_t>(y) * e.width;
        add_noise(&e.whole.level[offset], &e.whole.deviation[offset], noise, 0, e.width, out);
        return;
    }
    const SceneLayout &layout = *e.layout;
    for (size_t i = layout.first[y]; i < layout.first[y + 1]; ++i) {
        const SceneLayout::Run &run = layout.runs[i];
        const SensorRow &row = e.prepared[run.row][y % 2];
        add_noise(row.level.data(), row.deviation.data(), noise, run.begin, run.end, out);
    }
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
        for (auto &row : e.prepared)
            resize(row[parity], e.width);
        for (unsigned x = 0; x < e.width; ++x) {
            double u = (x + 0.5) / e.width;
            put(e.prepared[gradient][parity], 0.1 + 0.8 * u, x, parity);
            put(e.prepared[reverse_gradient][parity], 0.05 + 0.9 * (1.0 - u), x, parity);
            for (int flat = disc; flat < prepared_rows; ++flat)
                put(e.prepared[flat][parity], flat_reflectance[flat - disc], x, parity);
        }
    }
}

// A scene image's photosites, through a table of every light step.
void expose_file(ExposedScene &e, const Scene::File &scene, double gain)
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

// Where the built-in scene's prepared rows lie on a width x height sensor.
std::shared_ptr<const SceneLayout> lay_out(unsigned width, unsigned height)
{
    auto layout = std::make_shared<SceneLayout>();
    for (unsigned y = 0; y < height; ++y) {
        layout->first.push_back(layout->runs.size());
        lay_out_row(width, height, y, layout->runs);
    }
    layout->first.push_back(layout->runs.size());
    return layout;
}

// The built-in scene's mean light at brightness 1.0, as a fraction of full scale.
double built_in_mean(unsigned width, unsigned height, std::shared_ptr<const SceneLayout> layout)
{
    ExposedScene e;
    e.width = width;
    e.height = height;
    e.brightness = 1.0;
    e.layout = std::move(layout);
    expose_built_in(e, 0.0); // no gain, so no noise: the photosites read their light
    const std::vector<uint8_t> silence(noise_row_size(e.width), 0);
    std::vector<uint8_t> row(raw_row_size(e.width));
    double sum = 0;
    for (unsigned y = 0; y < e.height; ++y) {
        scene_row(e, y, silence.data(), row.data());
        for (unsigned x = 0; x < e.width; ++x)
            sum += row[x];
    }
    return sum / 255.0 / e.width / e.height;
}

} // namespace

Scene::Scene(const Config &config)
    : width_(config.width), height_(config.height), stamp_(config.stamp), path_(config.scene_path)
{
}

Scene::~Scene() = default;

const std::vector<Scene::File> &Scene::files() const
{
    std::call_once(read_, [this] { files_ = load_scene(path_, width_, height_); });
    return files_;
}

std::shared_ptr<const SceneLayout> Scene::layout() const
{
    std::call_once(laid_out_, [this] { layout_ = lay_out(width_, height_); });
    return layout_;
}

size_t Scene::image_of(uint64_t frame) const
{
    return files().empty() ? 0 : static_cast<size_t>(frame % files().size());
}

std::shared_ptr<const ExposedScene> Scene::expose(double brightness, double gain_db,
                                                  size_t image) const
{
    auto e = std::make_shared<ExposedScene>();
    e->width = width_;
    e->height = height_;
    e->brightness = brightness;
    e->gain_db = gain_db;
    e->stamp = stamp_;
    e->image = image;
    const double gain = std::pow(10.0, gain_db / 20.0);
    if (image < files().size()) {
        expose_file(*e, files()[image], gain);
    } else {
        e->layout = layout();
        expose_built_in(*e, gain);
    }
    return e;
}

double Scene::metering_factor() const
{
    std::call_once(metered_, [this] {
        // A sequence meters at its images' mean; a black scene gets all the light the sensor
        // can give it.
        double mean = 0;
        for (const File &image : files())
            mean += image.mean / files().size();
        factor_ =
            files().empty() ? 1.0 : built_in_mean(width_, height_, layout()) / std::max(mean, 1e-6);
    });
    return factor_;
}

void raw_row(const ExposedScene &scene, uint64_t frame, unsigned y, uint8_t *out)
{
    // Kept from row to row: the noise of one row at a time.
    static thread_local std::vector<uint8_t> noise;
    noise.resize(noise_row_size(scene.width));
    frame_noise(frame, y, scene.width, noise.data());
    scene_row(scene, y, noise.data(), out);
    if (scene.stamp)
        stamp_row(frame, scene.width, scene.height, y, out);
}

} // namespace camsim
