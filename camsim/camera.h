// The simulated camera behind the SDK's operations: contexts, the connected camera, its
// properties, streaming and the image records.
#pragma once

#include "errors.h"
#include "sdk.h"

namespace camsim
{

Error create_context(camera_context *context);
Error count_cameras(camera_context context, unsigned int *count);
Error camera_from_index(camera_context context, unsigned int index, camera_id *id);
Error connect(camera_context context, const camera_id *id);
Error get_property(camera_context context, camera_property *property);
Error set_property(camera_context context, const camera_property *property);
Error start_capture(camera_context context);
Error create_image(image_record *image);
Error retrieve_buffer(camera_context context, image_record *image);
Error convert_image(pixel_format format, const image_record *source, image_record *destination);
Error save_image(const image_record *image, const char *file_name, image_file_format format);
Error stop_capture(camera_context context);
Error destroy_context(camera_context context);

} // namespace camsim
