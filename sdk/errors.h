// The error codes every implementation of the SDK's operations returns; 0 is success.
#pragma once

#include <cstdint>

namespace sdk
{

enum Error : int32_t {
    ok = 0,
    failed = 1,            // an operation of the camera failed
    invalid_parameter = 2, // a null pointer or an argument out of its domain
    invalid_context = 3,   // a context never created or already destroyed
    not_connected = 4,     // the context is not connected to a camera, or lost its camera
    not_found = 5,         // no camera at that index or with that identifier
    not_started = 6,       // capture is not running
    already_started = 7,   // capture is running already
    not_initialized = 8,   // an image record never created, or holding no frame
    property_not_present = 9,
    write_failed = 10,       // the image file could not be written
    unsupported_format = 11, // a pixel or file format the implementation does not convert
    camera_busy = 12         // another context or controller, here or elsewhere, has the camera
};

} // namespace sdk
