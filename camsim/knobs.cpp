// Reading and checking the CAMSIM_* knobs.
#include "knobs.h"

#include "state_file.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace camsim
{
namespace
{

const char *const operations[] = {
    "fc2CreateContext",  "fc2GetNumOfCameras", "fc2GetCameraFromIndex", "fc2Connect",
    "fc2GetProperty",    "fc2SetProperty",     "fc2StartCapture",       "fc2CreateImage",
    "fc2RetrieveBuffer", "fc2ConvertImageTo",  "fc2SaveImage",          "fc2StopCapture",
    "fc2DestroyContext"};

bool parse_long(const std::string &text, long min, long max, long &value)
{
    // Digits with an optional minus sign: no blanks, no plus sign.
    if (text.empty() || text.size() > 20 ||
        !(std::isdigit(static_cast<unsigned char>(text[0])) || text[0] == '-'))
        return false;
    char *end = nullptr;
    errno = 0;
    long parsed = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || parsed < min || parsed > max)
        return false;
    value = parsed;
    return true;
}

std::string parse_size(const std::string &text, Knobs &into)
{
    auto x = text.find('x');
    long width = 0, height = 0;
    if (x == std::string::npos || !parse_long(text.substr(0, x), 16, 8192, width) ||
        !parse_long(text.substr(x + 1), 16, 8192, height))
        return "expected WxH with each side from 16 to 8192";
    if (width % 2 != 0 || height % 2 != 0)
        return "the sensor's Bayer mosaic needs an even width and height";
    into.width = static_cast<unsigned>(width);
    into.height = static_cast<unsigned>(height);
    return "";
}

bool is_operation(const std::string &name)
{
    for (const char *operation : operations)
        if (name == operation)
            return true;
    return false;
}

// One entry: name[@n[+]]=code[/ms]. Returns why it is refused, empty when it is taken.
std::string parse_fault(const std::string &entry, Fault &fault)
{
    size_t equals = entry.find('=');
    if (equals == std::string::npos)
        return "no '=code'";
    std::string name = entry.substr(0, equals);
    std::string code_text = entry.substr(equals + 1);
    long nth = 0, code = 0, delay = 0;
    size_t at = name.find('@');
    if (at != std::string::npos) {
        std::string number = name.substr(at + 1);
        fault.onwards = !number.empty() && number.back() == '+';
        if (fault.onwards)
            number.pop_back();
        if (!parse_long(number, 1, 1000000000, nth))
            return "the call number must be a whole number from 1, optionally followed by '+'";
        name.resize(at);
    }
    if (!is_operation(name))
        return "'" + name + "' is not one of the 13 operations";
    size_t slash = code_text.find('/');
    if (slash != std::string::npos) {
        if (!parse_long(code_text.substr(slash + 1), 0, 3600000, delay))
            return "the delay must be a whole number of milliseconds from 0 to 3600000";
        code_text.resize(slash);
    }
    if (!parse_long(code_text, INT32_MIN, INT32_MAX, code) || code == 0)
        return "the code must be a non-zero 32-bit integer";
    fault.operation = name;
    fault.nth = static_cast<unsigned>(nth);
    fault.code = static_cast<int32_t>(code);
    fault.delay_ms = static_cast<unsigned>(delay);
    return "";
}

// CAMSIM_FAIL's comma list: every good entry goes into `into`; one message per bad entry.
std::vector<std::string> parse_faults(const std::string &text, std::vector<Fault> &into)
{
    std::vector<std::string> errors;
    size_t start = 0;
    while (start <= text.size()) {
        size_t comma = text.find(',', start);
        std::string entry = text.substr(start, comma == std::string::npos ? comma : comma - start);
        Fault fault;
        std::string error = parse_fault(entry, fault);
        if (error.empty())
            into.push_back(fault);
        else
            errors.push_back("entry '" + entry + "': " + error);
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    return errors;
}

std::string default_state_path()
{
    return standard_state_path();
}

Knobs read_environment()
{
    Knobs knobs;
    knobs.state_path = default_state_path();
    for (const char *name : {"CAMSIM_STATE", "CAMSIM_CAMERAS", "CAMSIM_SENSOR", "CAMSIM_FPS",
                             "CAMSIM_FAIL", "CAMSIM_LOG", "CAMSIM_SCENE", "CAMSIM_STAMP"}) {
        const char *value = std::getenv(name);
        if (value == nullptr)
            continue;
        if (std::string(name) == "CAMSIM_FAIL") {
            // A bad entry is dropped alone: the others stay in force.
            for (const std::string &error : parse_faults(value, knobs.faults))
                std::fprintf(stderr, "camsim: ignoring CAMSIM_FAIL %s\n", error.c_str());
            continue;
        }
        std::string error = parse_knob(name, value, knobs);
        if (!error.empty())
            std::fprintf(stderr, "camsim: ignoring %s='%s': %s\n", name, value, error.c_str());
    }
    return knobs;
}

} // namespace

std::string parse_knob(const std::string &name, const std::string &text, Knobs &into)
{
    long number = 0;
    if (name == "CAMSIM_STATE" || name == "CAMSIM_LOG" || name == "CAMSIM_SCENE") {
        if (text.empty())
            return "expected a file path";
        (name == "CAMSIM_STATE" ? into.state_path
         : name == "CAMSIM_LOG" ? into.log_path
                                : into.scene_path) = text;
        return "";
    }
    if (name == "CAMSIM_STAMP") {
        if (text != "0" && text != "1")
            return "expected 1 (draw the frame number) or 0";
        into.stamp = text == "1";
        return "";
    }
    if (name == "CAMSIM_CAMERAS") {
        if (!parse_long(text, 0, 16, number))
            return "expected a camera count from 0 to 16";
        into.cameras = static_cast<unsigned>(number);
        return "";
    }
    if (name == "CAMSIM_SENSOR")
        return parse_size(text, into);
    if (name == "CAMSIM_FPS") {
        char *end = nullptr;
        double fps = std::strtod(text.c_str(), &end);
        if (text.empty() || *end != '\0' || !std::isfinite(fps) || fps < 0 || fps > 1000)
            return "expected frames per second from 0 (as fast as possible) to 1000";
        into.fps = fps;
        return "";
    }
    if (name == "CAMSIM_FAIL") {
        std::vector<std::string> errors = parse_faults(text, into.faults);
        std::string joined;
        for (const std::string &error : errors)
            joined += (joined.empty() ? "" : "; ") + error;
        return joined;
    }
    return "unknown knob";
}

const Knobs &knobs()
{
    static const Knobs parsed = read_environment();
    return parsed;
}

} // namespace camsim
