// The simulated camera behind the SDK's operations: contexts, the connected camera, its
// properties, streaming and the image records.
#pragma once

#include "cable.h"
#include "call_log.h"
#include "config.h"
#include "errors.h"
#include "scene.h"
#include "sdk.h"

#include <chrono>
#include <cstdint>
#include <utility>

namespace camsim
{

// What the contexts made with it share: the configuration, the scene the cameras' sensors
// see, their cable and the count of each operation's calls. The SDK's operations make one from the
// process's environment; a test makes its own.
struct Simulator {
    explicit Simulator(Config configuration)
        : config(std::move(configuration)), scene(config), cable(config)
    {
    }

    const Config config;
    const Scene scene;
    Cable cable;
    CallCounts calls;
};

// The frame a retrieval delivered, or lost to an injected failure.
struct Delivery {
    bool taken = false;
    uint64_t frame = 0;
    double time_ms = 0;     // when the sensor had it ready, since capture started
    bool cut_short = false; // capture stopped or the context ended while the call waited
};

// A context of the simulator's cameras.
Error create_context(Simulator &simulator, camera_context *context);
Error count_cameras(camera_context context, unsigned int *count);
Error camera_from_index(camera_context context, unsigned int index, camera_id *id);
Error connect(camera_context context, const camera_id *id);
Error get_property(camera_context context, camera_property *property);
Error set_property(camera_context context, const camera_property *property);
Error start_capture(camera_context context);
Error create_image(image_record *image);

// Puts the newest frame not yet delivered into the record, waiting for the sensor to make
// one when there is none; a stop of capture or the context's end cuts the wait short.
// With an injected failure (non-zero `injected`) the frame is lost instead, no sooner than
// `not_before`, and the injected code is returned.
int32_t retrieve_buffer(camera_context context, image_record *image, int32_t injected,
                        std::chrono::steady_clock::time_point not_before, Delivery &delivery);

Error convert_image(pixel_format format, const image_record *source, image_record *destination);
Error save_image(const image_record *image, const char *file_name, image_file_format format);
Error stop_capture(camera_context context);
Error destroy_context(camera_context context);

// Whether the context with this handle exists (not yet destroyed).
bool context_exists(uintptr_t handle);

} // namespace camsim
