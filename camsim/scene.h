// The scene the simulated sensor sees, and the raw frames it makes of it.
#pragma once

#include "config.h"
#include "sensor.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace camsim
{

// The built-in scene's rows of photosites prepared at an exposure: its background gradients
// and its flat shapes (a bright disc, a dark square, a checkerboard's light and dark cells).
enum PreparedRow { gradient, reverse_gradient, disc, square, light_cell, dark_cell, prepared_rows };

// Where the built-in scene's prepared rows lie on a sensor: row y is made of the runs
// runs[first[y]] to runs[first[y + 1] - 1], drawn in order. The same at every exposure.
struct SceneLayout {
    struct Run {
        unsigned begin, end; // columns
        PreparedRow row;
    };
    std::vector<Run> runs;
    std::vector<size_t> first;
};

// The scene as the sensor's mosaic sees it at one brightness and gain. The built-in scene is
// built row by row from a few prepared rows, so a frame costs little more than its bytes; a
// scene from a file is held whole. Immutable once made; frames taken at it share it.
struct ExposedScene {
    unsigned width = 0;
    unsigned height = 0;
    double brightness = 0; // the exposure factor, 1.0 for a well-exposed built-in scene
    double gain_db = 0;
    bool stamp = true; // the frame number is drawn
    size_t image = 0;  // which image of a scene directory's sequence
    // Built-in scene: its prepared rows, indexed by row parity (the mosaic's red/green and
    // green/blue rows), and where they lie.
    SensorRow prepared[prepared_rows][2];
    std::shared_ptr<const SceneLayout> layout;
    // Scene from a file or a directory's image (CAMSIM_SCENE): every photosite, rows
    // top-down; empty otherwise.
    SensorRow whole;
};

// The scene a configuration's sensors see (CAMSIM_SCENE's, or the built-in one) at their
// size. A scene file, or the sequence of a scene directory's images, is read on first use
// (the first start of capture, before its clock runs), once, each image sampled to the sensor.
class Scene
{
  public:
    explicit Scene(const Config &config);
    ~Scene();
    Scene(const Scene &) = delete;
    Scene &operator=(const Scene &) = delete;

    // The image a capture's frame shows: frame k shows image k mod n of a sequence of n
    // images (0 for a still scene).
    size_t image_of(uint64_t frame) const;

    // The scene's image exposed with the given brightness factor (1.0 is about 10 ms at
    // 0 dB) and gain.
    std::shared_ptr<const ExposedScene> expose(double brightness, double gain_db,
                                               size_t image) const;

    // The brightness factor at which the scene meters as bright as the built-in scene at
    // 1.0 (its mean light over the built-in's; a sequence's, over all its images): 1.0 for
    // the built-in scene.
    double metering_factor() const;

    struct File;

  private:
    const std::vector<File> &files() const; // empty for the built-in scene
    std::shared_ptr<const SceneLayout> layout() const;

    unsigned width_, height_;
    bool stamp_;
    std::string path_;
    mutable std::once_flag read_, metered_, laid_out_;
    mutable std::vector<File> files_;
    mutable std::shared_ptr<const SceneLayout> layout_;
    mutable double factor_ = 1.0;
};

// The bytes raw_row needs at out for a row `width` photosites wide: the row and room after it
// for the noise's last block.
constexpr size_t raw_row_size(unsigned width)
{
    return static_cast<size_t>(width) + noise_block;
}

// Row y of raw frame number `frame` into out (raw_row_size bytes): the exposed scene with its
// seeded sensor noise, and the frame number in large digits at the top left. The same frame
// number and exposed scene always give the same bytes.
void raw_row(const ExposedScene &scene, uint64_t frame, unsigned y, uint8_t *out);

} // namespace camsim
