// The frame number drawn into each frame, in large digits at the top left.
#pragma once

#include <cstdint>

namespace camsim
{

// Row y of the frame number's stamp over a row of a frame width x height: six white digits
// in a black box; rows below the box are left as they are.
void stamp_row(uint64_t number, unsigned width, unsigned height, unsigned y, uint8_t *out);

} // namespace camsim
