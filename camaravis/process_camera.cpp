// The camera over Aravis of a process, configured from its environment at the first SDK
// operation: CAMARAVIS_CAMERA chooses the camera, CAMARAVIS_FAIL and CAMARAVIS_LOG switch on
// the core's fault injection and call log, as the simulated camera's knobs do.
#include "aravis_camera.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>

namespace camaravis
{
namespace
{

constexpr uint32_t id_tag = 0x43415631; // "CAV1"

// CAMARAVIS_FAIL: a comma list of faults; a bad entry is said and dropped alone.
std::vector<core::Fault> read_faults(const char *knob)
{
    std::vector<core::Fault> faults;
    const std::string text = knob == nullptr ? "" : knob;
    for (size_t start = 0; start < text.size();) {
        const size_t comma = std::min(text.find(',', start), text.size());
        const std::string entry = text.substr(start, comma - start);
        core::Fault fault;
        const std::string error = entry.empty() ? "" : core::parse_fault(entry, fault);
        if (!error.empty())
            std::fprintf(stderr, "camaravis: ignoring CAMARAVIS_FAIL entry '%s': %s\n",
                         entry.c_str(), error.c_str());
        else if (!entry.empty())
            faults.push_back(fault);
        start = comma + 1;
    }
    return faults;
}

} // namespace

Choice choose_camera(const char *knob)
{
    if (knob == nullptr || knob[0] == '\0')
        return {};
    in_addr address;
    if (inet_pton(AF_INET, knob, &address) == 1)
        return {Choice::address, knob};
    return {Choice::device_id, knob};
}

std::unique_ptr<core::Device> AravisCamera::open(const core::ContextState &state)
{
    return std::make_unique<AravisDevice>(*this, state);
}

camera_id AravisCamera::identifier(const std::string &name)
{
    std::lock_guard<std::mutex> lock(names_mutex_);
    auto found = std::find(names_.begin(), names_.end(), name);
    if (found == names_.end())
        found = names_.insert(found, name);
    return camera_id{{id_tag, static_cast<uint32_t>(found - names_.begin()), 0, 0}};
}

bool AravisCamera::name_of(const camera_id &id, std::string &name)
{
    std::lock_guard<std::mutex> lock(names_mutex_);
    if (id.words[0] != id_tag || id.words[1] >= names_.size() || id.words[2] != 0 ||
        id.words[3] != 0)
        return false;
    name = names_[id.words[1]];
    return true;
}

} // namespace camaravis

std::unique_ptr<core::Camera> core::make_process_camera()
{
    core::CallLayer calls;
    calls.faults = camaravis::read_faults(std::getenv("CAMARAVIS_FAIL"));
    if (const char *log = std::getenv("CAMARAVIS_LOG"))
        calls.log_path = log;
    calls.program = "camaravis";
    calls.log_knob = "CAMARAVIS_LOG";
    return std::make_unique<camaravis::AravisCamera>(
        camaravis::choose_camera(std::getenv("CAMARAVIS_CAMERA")), std::move(calls));
}
