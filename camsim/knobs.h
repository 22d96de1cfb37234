// The simulator's settings, read once per process from CAMSIM_* environment variables.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace camsim
{

// CAMSIM_FAIL entry: the operation returns `code` and does nothing, on every call, only on
// its `nth` call (counting from 1), or on the nth and every later one; the failing call
// returns only after `delay_ms`.
struct Fault {
    std::string operation;
    unsigned nth = 0;     // 0: every call
    bool onwards = false; // the nth call and every later one
    int32_t code = 0;
    unsigned delay_ms = 0;
};

struct Knobs {
    std::string state_path;
    unsigned cameras = 1;
    unsigned width = 1280;
    unsigned height = 960;
    double fps = 30; // 0: as fast as possible
    std::vector<Fault> faults;
    std::string log_path;   // empty: no call log
    std::string scene_path; // empty: the built-in scene
    bool stamp = true;      // draw the frame number in each frame
};

// Parses the environment on first use; a malformed knob is reported once on standard
// error and ignored.
const Knobs &knobs();

// Parses `text` the way the named variable is parsed; returns the error message, empty
// when the value is accepted. Exposed for tests.
std::string parse_knob(const std::string &name, const std::string &text, Knobs &into);

} // namespace camsim
