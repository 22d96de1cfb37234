// The camera's properties (auto exposure, shutter, gain): their ranges, factory settings,
// and the clamping and quantising of a written value.
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
    float factory; // the value out of the box
};

// The properties the camera has; any other type is not present. Out of the box everything
// runs automatically: auto exposure on, shutter and gain in auto mode.
constexpr std::array<PropertyRange, 3> property_ranges{{
    {PROPERTY_AUTO_EXPOSURE, -8.0f, 2.0f, 0.0f}, // EV
    {PROPERTY_SHUTTER, 0.01f, 33.3f, 10.0f},     // ms
    {PROPERTY_GAIN, 0.0f, 24.0f, 0.0f},          // dB
}};

// The sensor reads out one line every 10 microseconds: its shutter opens for a whole
// number of lines.
constexpr int lines_per_ms = 100;

// The shutter time the sensor takes for `ms`: the nearest whole number of lines, at least
// one, within the shutter's range.
float shutter_in_lines(double ms);

// The raw (integer) value of a property at an absolute value.
uint32_t raw_from_absolute(const PropertyRange &range, float value);

const PropertyRange *find_range(property_type type);

// Settings of one camera, one record per property, in the order of property_ranges.
struct Settings {
    std::array<camera_property, property_ranges.size()> records{};

    camera_property *find(property_type type);
    const camera_property *find(property_type type) const;
};

Settings factory_settings();

// Takes into the held record what the camera accepts of a written one: the control flags
// and the value, clamped to the range (the shutter also to whole lines); the raw value
// follows the absolute one (or the other way round when absolute control is off). Returns
// false for a value that is not a number.
bool take_written_record(camera_property &held, const camera_property &written);

} // namespace camsim
