// The sensor's response to the settings: brightness, the exposed scene of each frame and the
// values the camera reports.
#include "sensor.h"

#include "knobs.h"

#include <cmath>

namespace camsim
{

double frame_brightness(const Settings &settings)
{
    const camera_property &automatic = *settings.find(PROPERTY_AUTO_EXPOSURE);
    const camera_property &shutter = *settings.find(PROPERTY_SHUTTER);
    const camera_property &gain = *settings.find(PROPERTY_GAIN);
    if (automatic.on_off && (shutter.auto_manual_mode || gain.auto_manual_mode))
        return automatic.auto_manual_mode ? 1.0 : std::pow(2.0, automatic.absolute_value);
    return shutter.absolute_value / 10.0 * std::pow(10.0, gain.absolute_value / 20.0);
}

void begin_stream(Stream &stream, const Settings &)
{
    stream = Stream{};
}

std::shared_ptr<const Exposure> expose_frame(Stream &stream, const Settings &settings)
{
    const double brightness = frame_brightness(settings);
    if (stream.exposure == nullptr || stream.exposure->brightness != brightness)
        stream.exposure = expose(knobs().width, knobs().height, brightness);
    return stream.exposure;
}

double exposure_in_use(const Settings &settings, const Stream *)
{
    return settings.find(PROPERTY_SHUTTER)->absolute_value;
}

camera_property reported_property(const Settings &settings, const Stream *, property_type type)
{
    return *settings.find(type);
}

} // namespace camsim
