// The SDK's properties on a GenICam camera's standard features: the shutter (ms) on
// ExposureTime (µs), the gain (dB) on Gain, auto exposure on ExposureAuto.
#pragma once

#include "errors.h"
#include "sdk.h"

#include <arv.h>

namespace camaravis
{

using namespace sdk;

// Whether the camera has the property. A gain in raw steps only (GainRaw), with no dB, is
// not the property: a raw step is never passed off as a dB.
bool has_property(ArvCamera *camera, property_type type);

// The record of a property the camera has, as the camera holds it now.
Error read_property(ArvCamera *camera, camera_property &property);

// Takes a record's settings: the automatic mode, and in manual mode with absolute control
// the value, clamped to the feature's bounds (in steps of its increment, where it has one).
Error write_property(ArvCamera *camera, const camera_property &property);

// The exposure time the camera holds, in µs (0 for a camera without the feature).
double exposure_us(ArvCamera *camera);

// The SDK's code for an Aravis error, which is freed: ok for none. A camera that does not
// answer is lost (not_connected); one that another controller holds is busy.
Error code_of(GError *error);

} // namespace camaravis
