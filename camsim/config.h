// The simulator's configuration: the CAMSIM_* knobs, read from the environment once, at
// the start of the SDK's operations, and handed to every part that needs one of them.
#pragma once

#include "call_log.h"
#include "state_place.h"

#include <cstdint>
#include <string>

namespace camsim
{

// CAMSIM_UNPLUG: the camera goes away `after_ms` after this process first connects to it,
// and comes back `away_ms` later (never when `comes_back` is false).
struct Unplug {
    bool set = false;
    unsigned after_ms = 0;
    bool comes_back = false;
    unsigned away_ms = 0;
};

// Every knob's value; default_config() gives those of an empty environment.
struct Config {
    StatePlace state;
    unsigned cameras = 0;
    unsigned width = 0;
    unsigned height = 0;
    double fps = 0;         // 0: as fast as possible
    core::CallLayer calls;  // CAMSIM_FAIL's faults, CAMSIM_LOG's call log
    std::string scene_path; // empty: the built-in scene
    bool stamp = false;     // draw the frame number in each frame
    Unplug unplug;
};

// The configuration with no knob set, its state file in the standard place of an
// environment holding XDG_RUNTIME_DIR=runtime_directory alone (empty: not even that).
Config default_config(const std::string &runtime_directory);

// The configuration of an environment (std::getenv for the process's own). A malformed knob
// is reported on standard error and ignored.
Config read_config(const Lookup &lookup);

// Parses `text` the way the named knob is parsed; returns the error message, empty when the
// value is accepted.
std::string parse_knob(const std::string &name, const std::string &text, Config &into);

} // namespace camsim
