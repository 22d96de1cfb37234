// Property ranges, factory settings, and what the camera makes of a written value.
#include "properties.h"

#include <cmath>

namespace camsim
{
namespace
{

constexpr uint32_t raw_steps = 4095;

float absolute_from_raw(const PropertyRange &range, uint32_t raw)
{
    if (raw > raw_steps)
        raw = raw_steps;
    return static_cast<float>(range.min +
                              (static_cast<double>(range.max) - range.min) * raw / raw_steps);
}

} // namespace

// Takes into the held record what the camera accepts of a written one: the control flags
// and the value, clamped to the range (the shutter also to whole lines); the raw value
// follows the absolute one (or the other way round when absolute control is off). Returns
// false for a value that is not a number.
bool take_written_record(camera_property &held, const camera_property &written)
{
    const PropertyRange *range = find_range(held.type);
    if (range == nullptr || (written.absolute_control && !std::isfinite(written.absolute_value)))
        return false;
    held.absolute_control = written.absolute_control ? 1 : 0;
    held.on_off = written.on_off ? 1 : 0;
    held.auto_manual_mode = written.auto_manual_mode ? 1 : 0;
    held.one_push = 0; // a one-push adjustment is over by the time anyone reads it back
    held.integer_value_b = written.integer_value_b;
    if (written.absolute_control) {
        held.absolute_value = std::fmin(std::fmax(written.absolute_value, range->min), range->max);
        if (held.type == PROPERTY_SHUTTER)
            held.absolute_value = shutter_in_lines(held.absolute_value);
        held.integer_value_a = raw_from_absolute(*range, held.absolute_value);
    } else {
        held.integer_value_a =
            written.integer_value_a > raw_steps ? raw_steps : written.integer_value_a;
        held.absolute_value = absolute_from_raw(*range, held.integer_value_a);
        if (held.type == PROPERTY_SHUTTER)
            held.absolute_value = shutter_in_lines(held.absolute_value);
    }
    return true;
}

uint32_t raw_from_absolute(const PropertyRange &range, float value)
{
    double fraction = (value - range.min) / (static_cast<double>(range.max) - range.min);
    return static_cast<uint32_t>(std::lround(fraction * raw_steps));
}

float shutter_in_lines(double ms)
{
    const PropertyRange &range = *find_range(PROPERTY_SHUTTER);
    const double lines = std::lround(std::fmin(std::fmax(ms, range.min), range.max) * lines_per_ms);
    // Whole lines over a power of ten, so round values stay as exact as a float holds them.
    return static_cast<float>(std::fmax(lines, 1.0) / lines_per_ms);
}

const PropertyRange *find_range(property_type type)
{
    for (const PropertyRange &range : property_ranges)
        if (range.type == type)
            return &range;
    return nullptr;
}

camera_property *Settings::find(property_type type)
{
    for (camera_property &record : records)
        if (record.type == type)
            return &record;
    return nullptr;
}

const camera_property *Settings::find(property_type type) const
{
    return const_cast<Settings *>(this)->find(type);
}

Settings factory_settings()
{
    Settings settings;
    for (size_t i = 0; i < property_ranges.size(); ++i) {
        camera_property &record = settings.records[i];
        record.type = property_ranges[i].type;
        record.present = 1;
        record.absolute_control = 1;
        record.on_off = 1;
        record.auto_manual_mode = 1;
        record.absolute_value = property_ranges[i].factory;
        record.integer_value_a = raw_from_absolute(property_ranges[i], record.absolute_value);
    }
    return settings;
}

} // namespace camsim
