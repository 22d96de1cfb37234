// Auto exposure: what the sensor makes of the camera's settings frame by frame while it
// streams, and the property values the camera reports.
#pragma once

#include "properties.h"
#include "scene.h"

#include <memory>

namespace camsim
{

// One stream's sensor state, from a start of capture to its stop.
struct Stream {
    const Scene *source = nullptr;             // the scene the sensor sees
    double fps = 0;                            // the frame rate, 0 for unpaced
    std::shared_ptr<const ExposedScene> scene; // the scene at the exposure last used
    // The shutter time (ms) and gain (dB) of the last frame exposed (before the first, the
    // ones it will start from): auto exposure moves them frame by frame.
    double shutter = 0;
    double gain = 0;
    uint64_t frames = 0; // frames exposed since capture started
};

// Called when capture starts, with the settings then in force, the scene the sensor sees
// and its frame rate.
void begin_stream(Stream &stream, const Settings &settings, const Scene &scene, double fps);

// The exposed scene of the capture's frame number `frame`, the next one the sensor makes,
// at the settings now in force.
std::shared_ptr<const ExposedScene> expose_frame(Stream &stream, const Settings &settings,
                                                 uint64_t frame);

// The exposure time (ms) the sensor uses now: what paces its frames.
double exposure_in_use(const Settings &settings, const Stream *stream);

// A property's record as the camera reports it; stream is null when not capturing. While
// auto exposure runs, a property in auto mode reports the value auto exposure has chosen:
// the last frame's while capturing; else the camera's, which holds what auto exposure chose
// when the last capture stopped (or what was written, if it has not run since).
camera_property reported_property(const Settings &settings, const Stream *stream,
                                  property_type type);

// The exposure factor of the frames the camera settles at with these settings: 1.0 is a
// well-exposed built-in scene (10 ms at 0 dB). While auto exposure runs (on, with the
// shutter or the gain in auto mode) it is the metering target, as far as the values left to
// it reach, for the scene seen at the frame rate.
double frame_brightness(const Settings &settings, const Scene &scene, double fps);

} // namespace camsim
