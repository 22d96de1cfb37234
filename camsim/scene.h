// The test scene the simulated sensor sees, and the raw frames it makes of it.
#pragma once

#include "image.h"

#include <cstdint>
#include <vector>

namespace camsim
{

// Makes raw Bayer frames of a fixed scene: gradients, a bright disc, a dark square, a
// checkerboard and the frame number in large digits, with seeded sensor noise. The same
// frame number, size and brightness always give the same bytes.
class Sensor
{
  public:
    // brightness: the exposure factor, 1.0 for a well-exposed frame (about 10 ms at 0 dB).
    void expose(unsigned width, unsigned height, double brightness);
    void read_out(uint64_t frame_number, Image &raw) const;

  private:
    unsigned width_ = 0;
    unsigned height_ = 0;
    double brightness_ = -1;
    std::vector<uint8_t> exposed_; // the scene as the mosaic sees it, before noise
    std::vector<uint8_t> noise_;
};

} // namespace camsim
