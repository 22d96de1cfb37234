// Contexts and image records, checked against the SDK's contract, over one simulated
// camera per context.
#include "camera.h"

#include "image.h"
#include "knobs.h"
#include "properties.h"
#include "scene.h"
#include "sensor.h"

#include <chrono>
#include <cmath>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>

namespace camsim
{
namespace
{

using Clock = std::chrono::steady_clock;

constexpr uint32_t id_tag = 0x43534D31; // "CSM1"
constexpr uint32_t first_serial = 17140000;
constexpr uint64_t image_tag = 0x43534D2D494D4147; // "CSM-IMAG"

struct Context {
    bool connected = false;
    unsigned camera = 0;
    bool capturing = false;
    Settings settings = factory_settings();
    Stream stream; // the sensor's state while capturing
    uint64_t frames = 0;
    Clock::time_point next_frame;
};

// Everything the SDK hands out, owned here until the process ends: the tools never release
// image records, and some never destroy their context.
struct Registry {
    std::mutex mutex;
    std::unordered_map<camera_context, std::unique_ptr<Context>> contexts;
    std::unordered_map<const Image *, std::unique_ptr<Image>> images;
};

Registry &registry()
{
    static Registry instance;
    return instance;
}

Context *find_context(camera_context handle)
{
    auto found = registry().contexts.find(handle);
    return found == registry().contexts.end() ? nullptr : found->second.get();
}

Error connected_context(camera_context handle, Context *&context)
{
    context = find_context(handle);
    if (context == nullptr)
        return invalid_context;
    return context->connected ? ok : not_connected;
}

Image *find_image(const image_record *record)
{
    if (record == nullptr || record->opaque[0] != image_tag)
        return nullptr;
    auto *image = reinterpret_cast<const Image *>(static_cast<uintptr_t>(record->opaque[1]));
    auto found = registry().images.find(image);
    return found == registry().images.end() ? nullptr : found->second.get();
}

Clock::duration frame_period(const Settings &settings)
{
    double fps = knobs().fps;
    if (fps == 0)
        return Clock::duration::zero();
    // The camera cannot start a frame before the last exposure is over.
    double seconds = std::fmax(1.0 / fps, exposure_in_use(settings, nullptr) / 1000.0);
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

} // namespace

Error create_context(camera_context *handle)
{
    if (handle == nullptr)
        return invalid_parameter;
    std::lock_guard<std::mutex> lock(registry().mutex);
    auto context = std::make_unique<Context>();
    *handle = context.get();
    registry().contexts[*handle] = std::move(context);
    return ok;
}

Error count_cameras(camera_context handle, unsigned int *count)
{
    std::lock_guard<std::mutex> lock(registry().mutex);
    if (find_context(handle) == nullptr)
        return invalid_context;
    if (count == nullptr)
        return invalid_parameter;
    *count = knobs().cameras;
    return ok;
}

Error camera_from_index(camera_context handle, unsigned int index, camera_id *id)
{
    std::lock_guard<std::mutex> lock(registry().mutex);
    if (find_context(handle) == nullptr)
        return invalid_context;
    if (id == nullptr)
        return invalid_parameter;
    if (index >= knobs().cameras)
        return not_found;
    *id = camera_id{{id_tag, first_serial + index, index, 0}};
    return ok;
}

Error connect(camera_context handle, const camera_id *id)
{
    std::lock_guard<std::mutex> lock(registry().mutex);
    Context *context = find_context(handle);
    if (context == nullptr)
        return invalid_context;
    if (id == nullptr)
        return invalid_parameter;
    const uint32_t index = id->words[2];
    if (id->words[0] != id_tag || index >= knobs().cameras ||
        id->words[1] != first_serial + index || id->words[3] != 0)
        return not_found;
    if (context->capturing)
        return already_started;
    context->connected = true;
    context->camera = index;
    context->settings = load_settings(knobs().state_path, index);
    return ok;
}

Error get_property(camera_context handle, camera_property *property)
{
    std::lock_guard<std::mutex> lock(registry().mutex);
    Context *context = nullptr;
    if (Error error = connected_context(handle, context))
        return error;
    if (property == nullptr)
        return invalid_parameter;
    if (find_range(property->type) == nullptr)
        return property_not_present;
    // Another process may have changed the camera since this one last looked.
    context->settings = load_settings(knobs().state_path, context->camera);
    *property = reported_property(context->settings,
                                  context->capturing ? &context->stream : nullptr, property->type);
    return ok;
}

Error set_property(camera_context handle, const camera_property *property)
{
    std::lock_guard<std::mutex> lock(registry().mutex);
    Context *context = nullptr;
    if (Error error = connected_context(handle, context))
        return error;
    if (property == nullptr)
        return invalid_parameter;
    if (find_range(property->type) == nullptr)
        return property_not_present;
    if (property->absolute_control && !std::isfinite(property->absolute_value))
        return invalid_parameter;
    camera_property &held = *context->settings.find(property->type);
    return store_property(knobs().state_path, context->camera, *property, held) ? ok : failed;
}

Error start_capture(camera_context handle)
{
    std::lock_guard<std::mutex> lock(registry().mutex);
    Context *context = nullptr;
    if (Error error = connected_context(handle, context))
        return error;
    if (context->capturing)
        return already_started;
    context->settings = load_settings(knobs().state_path, context->camera);
    context->capturing = true;
    begin_stream(context->stream, context->settings);
    context->frames = 0;
    context->next_frame = Clock::now() + frame_period(context->settings);
    return ok;
}

Error create_image(image_record *record)
{
    if (record == nullptr)
        return invalid_parameter;
    std::lock_guard<std::mutex> lock(registry().mutex);
    auto image = std::make_unique<Image>();
    *record = image_record{};
    record->opaque[0] = image_tag;
    record->opaque[1] = reinterpret_cast<uintptr_t>(image.get());
    registry().images[image.get()] = std::move(image);
    return ok;
}

Error retrieve_buffer(camera_context handle, image_record *record)
{
    Clock::time_point ready;
    {
        std::lock_guard<std::mutex> lock(registry().mutex);
        Context *context = nullptr;
        if (Error error = connected_context(handle, context))
            return error;
        if (!context->capturing)
            return not_started;
        if (record == nullptr)
            return invalid_parameter;
        if (find_image(record) == nullptr)
            return not_initialized;
        ready = context->next_frame;
    }
    // Block until the sensor has the frame, as a streaming camera does.
    std::this_thread::sleep_until(ready);

    std::lock_guard<std::mutex> lock(registry().mutex);
    Context *context = find_context(handle);
    Image *image = find_image(record);
    if (context == nullptr || !context->capturing || image == nullptr)
        return not_started;
    context->next_frame = std::max(ready, Clock::now()) + frame_period(context->settings);
    image->layout = PixelLayout::bayer_rggb;
    image->width = image->stride = knobs().width;
    image->height = knobs().height;
    image->pixels.clear();
    image->exposure = expose_frame(context->stream, context->settings);
    image->frame = context->frames++;
    return ok;
}

Error convert_image(pixel_format format, const image_record *source, image_record *destination)
{
    std::lock_guard<std::mutex> lock(registry().mutex);
    if (source == nullptr || destination == nullptr)
        return invalid_parameter;
    Image *from = find_image(source), *to = find_image(destination);
    if (from == nullptr || to == nullptr)
        return not_initialized;
    if (format != PIXEL_FORMAT_MONO8)
        return unsupported_format;
    return convert_to_mono8(*from, *to);
}

Error save_image(const image_record *record, const char *file_name, image_file_format format)
{
    std::lock_guard<std::mutex> lock(registry().mutex);
    if (record == nullptr || file_name == nullptr || file_name[0] == '\0')
        return invalid_parameter;
    Image *image = find_image(record);
    if (image == nullptr)
        return not_initialized;
    if (format != FILE_FORMAT_BMP)
        return unsupported_format;
    return save_bmp(*image, file_name);
}

Error stop_capture(camera_context handle)
{
    std::lock_guard<std::mutex> lock(registry().mutex);
    Context *context = nullptr;
    if (Error error = connected_context(handle, context))
        return error;
    if (!context->capturing)
        return not_started;
    context->capturing = false;
    return ok;
}

Error destroy_context(camera_context handle)
{
    std::lock_guard<std::mutex> lock(registry().mutex);
    return registry().contexts.erase(handle) == 1 ? ok : invalid_context;
}

} // namespace camsim
