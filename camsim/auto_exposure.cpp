// Auto exposure, the exposed scene of each frame and the values the camera reports.
#include "auto_exposure.h"

#include <algorithm>
#include <cmath>

namespace camsim
{
namespace
{

// The built-in scene is well exposed at 10 ms and 0 dB: brightness 1.0.
constexpr double reference_ms = 10.0;

// Auto exposure closes this fraction of the gap to its target (in log brightness) each
// frame, and the rest at once when it is this small (0.2 %).
constexpr double step = 0.5;
constexpr double settled = 0.002;

struct Exposure {
    double shutter; // ms
    double gain;    // dB
};

double brightness_of(const Exposure &exposure)
{
    return exposure.shutter / reference_ms * std::pow(10.0, exposure.gain / 20.0);
}

const camera_property &record(const Settings &settings, property_type type)
{
    return *settings.find(type);
}

bool auto_exposure_runs(const Settings &settings)
{
    return record(settings, PROPERTY_AUTO_EXPOSURE).on_off &&
           (record(settings, PROPERTY_SHUTTER).auto_manual_mode ||
            record(settings, PROPERTY_GAIN).auto_manual_mode);
}

bool left_to_auto_exposure(const Settings &settings, property_type type)
{
    return auto_exposure_runs(settings) && record(settings, type).auto_manual_mode;
}

// The values as set, the shutter in whole lines.
Exposure held(const Settings &settings)
{
    return {shutter_in_lines(record(settings, PROPERTY_SHUTTER).absolute_value),
            record(settings, PROPERTY_GAIN).absolute_value};
}

// The brightness auto exposure aims at: the built-in scene's mean at 10 ms and 0 dB,
// doubled for each EV the auto exposure property adds in manual mode.
double target_brightness(const Settings &settings, const Scene &scene)
{
    const camera_property &automatic = record(settings, PROPERTY_AUTO_EXPOSURE);
    const double ev = automatic.auto_manual_mode ? 0.0 : automatic.absolute_value;
    return std::pow(2.0, ev) * scene.metering_factor();
}

// The longest shutter time auto exposure takes: a frame's time at the frame rate.
double longest_shutter(double fps)
{
    double lines = std::lround(find_range(PROPERTY_SHUTTER)->max * lines_per_ms);
    if (fps > 0)
        lines = std::min(lines, std::floor(1000.0 / fps * lines_per_ms + 1e-6));
    return std::max(1.0, lines) / lines_per_ms;
}

// The values that give `brightness`, changing only those left to auto exposure: the
// shutter first, in whole lines, then the gain for the rest.
Exposure split(const Settings &settings, double fps, double brightness, Exposure exposure)
{
    const PropertyRange &gain_range = *find_range(PROPERTY_GAIN);
    const double ms = brightness * reference_ms; // at 0 dB
    if (left_to_auto_exposure(settings, PROPERTY_SHUTTER)) {
        const double wanted = ms / std::pow(10.0, exposure.gain / 20.0);
        const double longest = longest_shutter(fps);
        if (left_to_auto_exposure(settings, PROPERTY_GAIN)) // whole lines below, gain above
            exposure.shutter =
                std::max(1.0, std::floor(std::min(ms, longest) * lines_per_ms + 1e-6)) /
                lines_per_ms;
        else
            exposure.shutter = std::min(static_cast<double>(shutter_in_lines(wanted)), longest);
    }
    if (left_to_auto_exposure(settings, PROPERTY_GAIN))
        exposure.gain =
            std::clamp(20.0 * std::log10(ms / exposure.shutter),
                       static_cast<double>(gain_range.min), static_cast<double>(gain_range.max));
    return exposure;
}

// Where auto exposure settles with these settings.
Exposure settled_exposure(const Settings &settings, const Scene &scene, double fps)
{
    const Exposure set = held(settings);
    if (!auto_exposure_runs(settings))
        return set;
    return split(settings, fps, target_brightness(settings, scene), set);
}

// The exposure of the stream's next frame: auto exposure meters the last frame and moves
// the values left to it part of the way to its target; the others are as set now.
Exposure next_exposure(const Stream &stream, const Settings &settings)
{
    const Exposure set = held(settings);
    if (!auto_exposure_runs(settings))
        return set;
    const Exposure last{stream.shutter, stream.gain};
    Exposure next = last;
    if (stream.frames > 0) {
        const double metered = brightness_of(last);
        const double target = target_brightness(settings, *stream.source);
        const double gap = std::log(target / metered);
        next = split(settings, stream.fps,
                     std::fabs(gap) < settled ? target : metered * std::exp(step * gap), last);
        // A step smaller than a line of shutter time is taken whole.
        if (next.shutter == last.shutter && next.gain == last.gain)
            next = split(settings, stream.fps, target, last);
    }
    if (!left_to_auto_exposure(settings, PROPERTY_SHUTTER))
        next.shutter = set.shutter;
    if (!left_to_auto_exposure(settings, PROPERTY_GAIN))
        next.gain = set.gain;
    return next;
}

} // namespace

double frame_brightness(const Settings &settings, const Scene &scene, double fps)
{
    return brightness_of(settled_exposure(settings, scene, fps));
}

void begin_stream(Stream &stream, const Settings &settings, const Scene &scene, double fps)
{
    // Auto exposure starts from the values the camera holds.
    const Exposure set = held(settings);
    stream = Stream{};
    stream.source = &scene;
    stream.fps = fps;
    stream.shutter = set.shutter;
    stream.gain = set.gain;
}

std::shared_ptr<const ExposedScene> expose_frame(Stream &stream, const Settings &settings,
                                                 uint64_t frame)
{
    const Exposure exposure = next_exposure(stream, settings);
    stream.shutter = exposure.shutter;
    stream.gain = exposure.gain;
    ++stream.frames;
    const double brightness = brightness_of(exposure);
    const size_t image = stream.source->image_of(frame);
    if (stream.scene == nullptr || stream.scene->brightness != brightness ||
        stream.scene->gain_db != exposure.gain || stream.scene->image != image)
        stream.scene = stream.source->expose(brightness, exposure.gain, image);
    return stream.scene;
}

double exposure_in_use(const Settings &settings, const Stream *stream)
{
    if (stream == nullptr || !left_to_auto_exposure(settings, PROPERTY_SHUTTER))
        return held(settings).shutter;
    return stream->shutter;
}

camera_property reported_property(const Settings &settings, const Stream *stream,
                                  property_type type)
{
    camera_property reported = record(settings, type);
    if (!auto_exposure_runs(settings) || !reported.auto_manual_mode)
        return reported;
    const Exposure chosen =
        stream != nullptr ? Exposure{stream->shutter, stream->gain} : held(settings);
    if (type == PROPERTY_SHUTTER)
        reported.absolute_value = static_cast<float>(chosen.shutter);
    else if (type == PROPERTY_GAIN)
        reported.absolute_value = static_cast<float>(chosen.gain);
    else
        reported.absolute_value = 0.0f; // auto exposure at its own target: 0 EV
    reported.integer_value_a = raw_from_absolute(*find_range(type), reported.absolute_value);
    return reported;
}

} // namespace camsim
