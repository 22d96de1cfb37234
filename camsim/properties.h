// The camera's properties (auto exposure, shutter, gain): ranges, factory settings, and
// the state file that keeps them between processes.
#pragma once

#include "sdk.h"

#include <array>
#include <string>

namespace camsim
{

struct PropertyRange {
    property_type type;
    float min;
    float max;
};

// The properties the camera has; any other type is not present.
constexpr std::array<PropertyRange, 3> property_ranges{{
    {PROPERTY_AUTO_EXPOSURE, -8.0f, 2.0f}, // EV
    {PROPERTY_SHUTTER, 0.01f, 33.3f},      // ms
    {PROPERTY_GAIN, 0.0f, 24.0f},          // dB
}};

const PropertyRange *find_range(property_type type);

// Settings of one camera, one record per property, in the order of property_ranges.
struct Settings {
    std::array<camera_property, property_ranges.size()> records{};

    camera_property *find(property_type type);
    const camera_property *find(property_type type) const;
};

Settings factory_settings();

// Applies what a camera takes from a written record: the control flags and the value,
// clamped to the range; the raw value follows the absolute one (or the other way round
// when absolute control is off). Returns false for a value that is not a number.
bool apply(camera_property &held, const camera_property &written);

// The state file: one line per camera and property. Readers take it as it is (it is only
// ever replaced whole); writers update it under a lock, so concurrent processes lose no
// change. A missing or damaged file reads as factory settings.
Settings load_settings(const std::string &path, unsigned camera);
bool store_property(const std::string &path, unsigned camera, const camera_property &written,
                    camera_property &held);

} // namespace camsim
