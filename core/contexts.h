// The SDK's context operations as the core serves them: each call checked against the
// contract (a live context, its arguments, its connection and capture), then handed to the
// context's device. The entry points wrap these with the call log and fault injection.
#pragma once

#include "camera.h"

namespace core
{

Error create_context(Camera &camera, camera_context *context);
Error count_cameras(camera_context context, unsigned int *count);
Error camera_from_index(camera_context context, unsigned int index, camera_id *id);
Error connect(camera_context context, const camera_id *id);
Error get_property(camera_context context, camera_property *property);
Error set_property(camera_context context, const camera_property *property);
Error start_capture(camera_context context);

// Puts the context's next frame into the record. With an injected failure (non-zero
// `injected`) the frame is lost instead, no sooner than `not_before`, and the injected code
// is returned.
int32_t retrieve_buffer(camera_context context, image_record *image, int32_t injected,
                        Clock::time_point not_before, Delivery &delivery);

Error stop_capture(camera_context context);
Error destroy_context(camera_context context);

// Whether the context with this handle exists (not yet destroyed).
bool context_exists(uintptr_t handle);

} // namespace core
