// The simulated camera behind the SDK's operations: contexts, the connected camera, its
// properties, streaming and the image records.
#pragma once

#include "errors.h"
#include "sdk.h"

namespace camsim
{

Error create_context(fc2Context *context);
Error count_cameras(fc2Context context, unsigned int *count);
Error camera_from_index(fc2Context context, unsigned int index, fc2PGRGuid *guid);
Error connect(fc2Context context, const fc2PGRGuid *guid);
Error get_property(fc2Context context, fc2Property *property);
Error set_property(fc2Context context, const fc2Property *property);
Error start_capture(fc2Context context);
Error create_image(fc2Image *image);
Error retrieve_buffer(fc2Context context, fc2Image *image);
Error convert_image(fc2PixelFormat format, const fc2Image *source, fc2Image *destination);
Error save_image(const fc2Image *image, const char *file_name, fc2ImageFileFormat format);
Error stop_capture(fc2Context context);
Error destroy_context(fc2Context context);

// The exposure factor of the frames the camera takes at these settings: 1.0 is a
// well-exposed frame. While auto exposure runs (on, in auto mode, with the shutter or the
// gain left to it), frames are normalised to 1.0.
struct Settings;
double frame_brightness(const Settings &settings);

} // namespace camsim
