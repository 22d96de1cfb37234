// The CAMSIM_* knobs: one table of them, read from an environment into a configuration.
#include "config.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace camsim
{
namespace
{

using Errors = std::vector<std::string>;

Errors parse_path(const std::string &text, std::string &into)
{
    if (text.empty())
        return {"expected a file path"};
    into = text;
    return {};
}

Errors parse_cameras(const std::string &text, Config &into)
{
    long number = 0;
    if (!core::parse_whole_number(text, 0, 16, number))
        return {"expected a camera count from 0 to 16"};
    into.cameras = static_cast<unsigned>(number);
    return {};
}

Errors parse_size(const std::string &text, Config &into)
{
    auto x = text.find('x');
    long width = 0, height = 0;
    if (x == std::string::npos || !core::parse_whole_number(text.substr(0, x), 16, 8192, width) ||
        !core::parse_whole_number(text.substr(x + 1), 16, 8192, height))
        return {"expected WxH with each side from 16 to 8192"};
    if (width % 2 != 0 || height % 2 != 0)
        return {"the sensor's Bayer mosaic needs an even width and height"};
    into.width = static_cast<unsigned>(width);
    into.height = static_cast<unsigned>(height);
    return {};
}

// At least a frame every 100 s: the frame clock counts in nanoseconds, and a rate nearer
// zero is no use to anyone.
constexpr double slowest_fps = 0.01, fastest_fps = 1000;

Errors parse_fps(const std::string &text, Config &into)
{
    char *end = nullptr;
    double fps = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !(fps == 0 || (fps >= slowest_fps && fps <= fastest_fps)))
        return {"expected frames per second from 0.01 to 1000, or 0 (as fast as possible)"};
    into.fps = fps;
    return {};
}

// A comma list: every good entry goes into the faults; one message per bad entry. An empty
// entry (a doubled or trailing comma, or an empty list) is no fault and no mistake.
Errors parse_faults(const std::string &text, Config &into)
{
    Errors errors;
    size_t start = 0;
    while (start <= text.size()) {
        size_t comma = text.find(',', start);
        std::string entry = text.substr(start, comma == std::string::npos ? comma : comma - start);
        core::Fault fault;
        std::string error = entry.empty() ? "" : core::parse_fault(entry, fault);
        if (!error.empty())
            errors.push_back("entry '" + entry + "': " + error);
        else if (!entry.empty())
            into.calls.faults.push_back(fault);
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    return errors;
}

Errors parse_stamp(const std::string &text, Config &into)
{
    if (text != "0" && text != "1")
        return {"expected 1 (draw the frame number) or 0"};
    into.stamp = text == "1";
    return {};
}

Errors parse_unplug(const std::string &text, Config &into)
{
    const size_t colon = text.find(':');
    long after = 0, away = 0;
    if (!core::parse_whole_number(text.substr(0, colon), 0, 3600000, after) ||
        (colon != std::string::npos &&
         !core::parse_whole_number(text.substr(colon + 1), 0, 3600000, away)))
        return {"expected <ms>[:<ms>], whole milliseconds from 0 to 3600000"};
    into.unplug = {true, static_cast<unsigned>(after), colon != std::string::npos,
                   static_cast<unsigned>(away)};
    return {};
}

struct Knob {
    const char *name;
    const char *default_value; // null: none (or, for the state file, the standard place)
    Errors (*parse)(const std::string &text, Config &into);
    bool by_entry; // a list whose bad entries are dropped alone, the others kept
    const char *meaning;
};

// Every knob, in the order they are read and reported.
const Knob knobs[] = {
    {"CAMSIM_STATE", nullptr,
     [](const std::string &t, Config &c) { return parse_path(t, c.state.path); }, false,
     "the file the cameras' settings are kept in between processes"},
    {"CAMSIM_CAMERAS", "1", parse_cameras, false, "how many cameras are connected"},
    {"CAMSIM_SENSOR", "1280x960", parse_size, false, "the sensor's width and height"},
    {"CAMSIM_FPS", "30", parse_fps, false, "the frame rate, 0 for as fast as frames are taken"},
    {"CAMSIM_FAIL", nullptr, parse_faults, true, "failures injected into the operations"},
    {"CAMSIM_LOG", nullptr,
     [](const std::string &t, Config &c) { return parse_path(t, c.calls.log_path); }, false,
     "a file every operation's call is appended to"},
    {"CAMSIM_SCENE", nullptr,
     [](const std::string &t, Config &c) { return parse_path(t, c.scene_path); }, false,
     "a grey PGM or PNG image the sensor sees instead of the built-in scene"},
    {"CAMSIM_STAMP", "1", parse_stamp, false, "1 to draw the frame number in each frame, or 0"},
    {"CAMSIM_UNPLUG", nullptr, parse_unplug, false,
     "ms from the first connection to the camera's unplugging[:ms until it is back]"},
};

} // namespace

std::string parse_knob(const std::string &name, const std::string &text, Config &into)
{
    for (const Knob &knob : knobs)
        if (name == knob.name) {
            std::string joined;
            for (const std::string &error : knob.parse(text, into))
                joined += (joined.empty() ? "" : "; ") + error;
            return joined;
        }
    return "unknown knob";
}

Config default_config(const std::string &runtime_directory)
{
    Config config;
    config.calls.program = "camsim";
    config.calls.log_knob = "CAMSIM_LOG";
    for (const Knob &knob : knobs)
        if (knob.default_value != nullptr)
            knob.parse(knob.default_value, config);
    config.state = standard_state_place([&runtime_directory](const char *name) {
        return std::string(name) == "XDG_RUNTIME_DIR" ? runtime_directory.c_str() : nullptr;
    });
    return config;
}

Config read_config(const Lookup &lookup)
{
    Config config = default_config("");
    config.state = standard_state_place(lookup);
    for (const Knob &knob : knobs) {
        const char *value = lookup(knob.name);
        if (value == nullptr)
            continue;
        for (const std::string &error : knob.parse(value, config))
            if (knob.by_entry) // a bad entry is dropped alone: the others stay in force
                std::fprintf(stderr, "camsim: ignoring %s %s\n", knob.name, error.c_str());
            else
                std::fprintf(stderr, "camsim: ignoring %s='%s': %s\n", knob.name, value,
                             error.c_str());
    }
    return config;
}

} // namespace camsim
