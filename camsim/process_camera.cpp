// The simulated camera of a process: configured from its environment (the CAMSIM_* knobs)
// at the first SDK operation it calls.
#include "simulator.h"

#include <cstdlib>

std::unique_ptr<core::Camera> core::make_process_camera()
{
    return std::make_unique<camsim::Simulator>(camsim::read_config(std::getenv));
}
