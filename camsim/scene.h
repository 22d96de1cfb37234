// The test scene the simulated sensor sees, and the raw frames it makes of it.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace camsim
{

// The scene as the sensor's mosaic sees it at one brightness: gradients, a bright disc, a
// dark square and a checkerboard, built row by row from a few prepared rows, so a frame
// costs little more than its bytes. Immutable once made; frames taken at it share it.
struct Exposure {
    unsigned width = 0;
    unsigned height = 0;
    double brightness = 0;
    // Indexed by row parity (the mosaic's red/green and green/blue rows).
    std::vector<uint8_t> gradient[2];
    std::vector<uint8_t> reverse_gradient[2];
    std::vector<uint8_t> flat[4][2]; // disc, square, light and dark checkerboard cells
};

// brightness: the exposure factor, 1.0 for a well-exposed frame (about 10 ms at 0 dB).
std::shared_ptr<const Exposure> expose(unsigned width, unsigned height, double brightness);

// Row y of raw frame number `frame`: the exposed scene, seeded sensor noise and the frame
// number in large digits at the top left. The same frame number and exposure always give
// the same bytes.
void raw_row(const Exposure &exposure, uint64_t frame, unsigned y, uint8_t *out);

} // namespace camsim
