// A context's simulated camera: counting and identifying the cameras, the connection and
// its properties (the stream is in streaming.cpp).
#include "device.h"

#include "state_file.h"

namespace camsim
{
namespace
{

constexpr uint32_t id_tag = 0x43534D31; // "CSM1"
constexpr uint32_t first_serial = 17140000;

} // namespace

std::unique_ptr<core::Device> Simulator::open(const core::ContextState &state)
{
    return std::make_unique<SimulatedDevice>(*this, state);
}

Error SimulatedDevice::count(unsigned &count)
{
    count = simulator_.cable.plugged(Clock::now()) ? config().cameras : 0;
    return ok;
}

Error SimulatedDevice::identify(unsigned index, camera_id &id)
{
    if (index >= config().cameras || !simulator_.cable.plugged(Clock::now()))
        return not_found;
    id = camera_id{{id_tag, first_serial + index, index, 0}};
    return ok;
}

Error SimulatedDevice::connect(const camera_id &id)
{
    const uint32_t index = id.words[2];
    if (id.words[0] != id_tag || index >= config().cameras || id.words[1] != first_serial + index ||
        id.words[3] != 0)
        return not_found;
    const Clock::time_point now = Clock::now();
    if (!simulator_.cable.plugged(now))
        return not_found;
    simulator_.cable.connected(now);
    connected_at_ = now;
    camera_ = index;
    settings_ = load_settings(config().state, index);
    return ok;
}

// A connection the cable's pull broke is lost; its changes are logged before this call's line.
bool SimulatedDevice::holds()
{
    const Clock::time_point now = Clock::now();
    simulator_.cable.plugged(now);
    return now < simulator_.cable.breaks(connected_at_);
}

void SimulatedDevice::lost()
{
    owner_.release();
}

bool SimulatedDevice::has(property_type type)
{
    return find_range(type) != nullptr;
}

Error SimulatedDevice::read(camera_property &property)
{
    // Another process may have changed the camera since this one last looked.
    settings_ = load_settings(config().state, camera_);
    property = reported_property(settings_, state_.capturing ? &stream_ : nullptr, property.type);
    return ok;
}

Error SimulatedDevice::write(const camera_property &property)
{
    camera_property &held = *settings_.find(property.type);
    return store_property(config().state, camera_, property, held) ? ok : failed;
}

} // namespace camsim
