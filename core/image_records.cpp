// Image records: handles checked against the SDK's contract, conversion and saving of the
// frames they hold.
#include "image_records.h"

#include "bmp_file.h"
#include "contexts.h"
#include "conversion.h"
#include "handles.h"

namespace core
{
namespace
{

constexpr uint64_t image_tag = 0x43534D2D494D4147; // "CSM-IMAG"

static_assert(sizeof(image_record::opaque) >= 2 * sizeof(uint64_t),
              "an image record holds the tag and the record's number");

// Every record made. They live until the process ends (the tools never release them, and
// the SDK has no operation to).
Handles<ImageSlot> &records()
{
    static Handles<ImageSlot> instance;
    return instance;
}

// Whether the context whose stream made the frame in the image (if any) still exists: a
// frame of a destroyed context is refused, as the context is.
Error check_alive(const Image &image)
{
    return image.context == 0 || context_exists(image.context) ? ok : invalid_context;
}

} // namespace

std::shared_ptr<ImageSlot> find_image(const image_record *record)
{
    if (record == nullptr || record->opaque[0] != image_tag)
        return nullptr;
    return records().find(record->opaque[1]);
}

Error create_image(image_record *record)
{
    if (record == nullptr)
        return invalid_parameter;
    const uint64_t number = records().add(std::make_shared<ImageSlot>());
    *record = image_record{};
    record->opaque[0] = image_tag;
    record->opaque[1] = number;
    return ok;
}

Error convert_image(pixel_format format, const image_record *source, image_record *destination)
{
    if (source == nullptr || destination == nullptr)
        return invalid_parameter;
    std::shared_ptr<ImageSlot> from = find_image(source), to = find_image(destination);
    if (from == nullptr || to == nullptr)
        return not_initialized;
    if (format != PIXEL_FORMAT_MONO8)
        return unsupported_format;
    if (from == to) {
        std::lock_guard<std::mutex> lock(from->mutex);
        if (Error error = check_alive(from->image))
            return error;
        Image grey;
        if (Error error = convert_to_mono8(from->image, grey))
            return error;
        from->image = std::move(grey);
        return ok;
    }
    std::scoped_lock lock(from->mutex, to->mutex);
    if (Error error = check_alive(from->image))
        return error;
    return convert_to_mono8(from->image, to->image);
}

Error save_image(const image_record *record, const char *file_name, image_file_format format)
{
    if (record == nullptr || file_name == nullptr || file_name[0] == '\0')
        return invalid_parameter;
    std::shared_ptr<ImageSlot> slot = find_image(record);
    if (slot == nullptr)
        return not_initialized;
    if (format != FILE_FORMAT_BMP)
        return unsupported_format;
    std::lock_guard<std::mutex> lock(slot->mutex);
    if (Error error = check_alive(slot->image))
        return error;
    if (slot->image.format == PixelFormat::mono8)
        return save_bmp(slot->image, file_name);
    // A frame not yet grey is saved as its conversion would be.
    Image grey;
    if (Error error = convert_to_mono8(slot->image, grey))
        return error;
    return save_bmp(grey, file_name);
}

} // namespace core
