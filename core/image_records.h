// The image records the SDK hands out: their handles, the frame each one holds, and the
// conversion and saving of those frames.
#pragma once

#include "errors.h"
#include "image.h"
#include "sdk.h"

#include <memory>
#include <mutex>

namespace core
{

using namespace sdk;

// An image record's contents; two threads using one record take turns.
struct ImageSlot {
    std::mutex mutex;
    Image image;
};

// The record's contents, or null for a record the SDK never filled.
std::shared_ptr<ImageSlot> find_image(const image_record *record);

Error create_image(image_record *image);
Error convert_image(pixel_format format, const image_record *source, image_record *destination);
Error save_image(const image_record *image, const char *file_name, image_file_format format);

} // namespace core
