// What the sensor makes of the camera's settings frame by frame while it streams, and the
// property values the camera reports.
#pragma once

#include "properties.h"
#include "scene.h"

#include <memory>

namespace camsim
{

// One stream's sensor state, from a start of capture to its stop.
struct Stream {
    std::shared_ptr<const Exposure> exposure; // the scene at the brightness last used
};

// Called when capture starts, with the settings then in force.
void begin_stream(Stream &stream, const Settings &settings);

// The exposed scene of the next frame delivered, at the settings now in force.
std::shared_ptr<const Exposure> expose_frame(Stream &stream, const Settings &settings);

// The exposure time (ms) the sensor uses now: what paces its frames.
double exposure_in_use(const Settings &settings, const Stream *stream);

// A property's record as the camera reports it; stream is null when not capturing.
camera_property reported_property(const Settings &settings, const Stream *stream,
                                  property_type type);

// The exposure factor of the frames the camera takes at these settings: 1.0 is a
// well-exposed frame. While auto exposure runs (on, in auto mode, with the shutter or the
// gain left to it), frames are normalised to 1.0.
double frame_brightness(const Settings &settings);

} // namespace camsim
