// The SDK's 13 flat C operations over the process's camera, each checked by the core, with
// fault injection and the call log around it.
#include "sdk.h"

#include "call_log.h"
#include "camera.h"
#include "contexts.h"
#include "image_records.h"

#include <cstdio>
#include <string>

#define CORE_EXPORT extern "C" __attribute__((visibility("default")))

namespace
{

// The camera of this process, made at the first operation called, and its calls counted.
struct Process {
    const std::unique_ptr<core::Camera> camera = core::make_process_camera();
    core::CallCounts calls;
};

Process &process()
{
    static Process instance;
    return instance;
}

// Starts a call of the operation: counted, logged, and failed when a fault is injected.
core::Call begin(core::Operation operation)
{
    Process &p = process();
    return core::Call(operation, p.camera->call_layer(), p.calls);
}

std::string describe(const camera_property *p)
{
    if (p == nullptr)
        return "property=null";
    char text[256];
    std::snprintf(
        text, sizeof text,
        "type=%d present=%d absolute_control=%d one_push=%d on_off=%d auto_manual_mode=%d "
        "integer_value_a=%u integer_value_b=%u absolute_value=%.9g",
        p->type, p->present, p->absolute_control, p->one_push, p->on_off, p->auto_manual_mode,
        p->integer_value_a, p->integer_value_b, static_cast<double>(p->absolute_value));
    return text;
}

// " cleared=1" when every word of the record after its type is zero, else " cleared=0".
std::string cleared_past_type(const camera_property &property)
{
    const unsigned char *bytes = reinterpret_cast<const unsigned char *>(&property);
    for (size_t i = sizeof property.type; i < sizeof property; ++i)
        if (bytes[i] != 0)
            return " cleared=0";
    return " cleared=1";
}

std::string hex(uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", value);
    return text;
}

// The frame a retrieval delivered (or lost) and when the camera had it ready.
std::string frame_and_time(const core::Delivery &delivery)
{
    char text[64];
    std::snprintf(text, sizeof text, "frame=%llu time=%.3f",
                  static_cast<unsigned long long>(delivery.frame), delivery.time_ms);
    return text;
}

} // namespace

CORE_EXPORT camera_error fc2CreateContext(camera_context *context)
{
    core::Call call = begin(core::Operation::create_context);
    return call.finish(call.injected() ? call.injected()
                                       : core::create_context(*process().camera, context));
}

CORE_EXPORT camera_error fc2GetNumOfCameras(camera_context context, unsigned int *count)
{
    core::Call call = begin(core::Operation::get_num_of_cameras);
    camera_error code = call.injected() ? call.injected() : core::count_cameras(context, count);
    return call.finish(code, code == 0 ? "count=" + std::to_string(*count) : "");
}

CORE_EXPORT camera_error fc2GetCameraFromIndex(camera_context context, unsigned int index,
                                               camera_id *id)
{
    core::Call call = begin(core::Operation::get_camera_from_index);
    camera_error code =
        call.injected() ? call.injected() : core::camera_from_index(context, index, id);
    return call.finish(code, "index=" + std::to_string(index));
}

CORE_EXPORT camera_error fc2Connect(camera_context context, camera_id *id)
{
    core::Call call = begin(core::Operation::connect);
    camera_error code = call.injected() ? call.injected() : core::connect(context, id);
    return call.finish(code, id == nullptr ? "id=null" : "serial=" + std::to_string(id->words[1]));
}

CORE_EXPORT camera_error fc2GetProperty(camera_context context, camera_property *property)
{
    core::Call call = begin(core::Operation::get_property);
    // Whether the caller cleared the record before asking: what a failed read leaves in it
    // is then known.
    const std::string cleared = property == nullptr ? "" : cleared_past_type(*property);
    camera_error code = call.injected() ? call.injected() : core::get_property(context, property);
    return call.finish(code, describe(property) + cleared);
}

CORE_EXPORT camera_error fc2SetProperty(camera_context context, camera_property *property)
{
    core::Call call = begin(core::Operation::set_property);
    std::string arguments = describe(property);
    camera_error code = call.injected() ? call.injected() : core::set_property(context, property);
    return call.finish(code, arguments);
}

CORE_EXPORT camera_error fc2StartCapture(camera_context context)
{
    core::Call call = begin(core::Operation::start_capture);
    return call.finish(call.injected() ? call.injected() : core::start_capture(context));
}

CORE_EXPORT camera_error fc2CreateImage(image_record *image)
{
    core::Call call = begin(core::Operation::create_image);
    return call.finish(call.injected() ? call.injected() : core::create_image(image));
}

CORE_EXPORT camera_error fc2RetrieveBuffer(camera_context context, image_record *image)
{
    core::Call call = begin(core::Operation::retrieve_buffer);
    core::Delivery delivery;
    camera_error code =
        core::retrieve_buffer(context, image, call.injected(), call.injected_until(), delivery);
    if (delivery.cut_short)
        call.cut_short();
    return call.finish(code, delivery.taken ? frame_and_time(delivery) : "");
}

CORE_EXPORT camera_error fc2ConvertImageTo(pixel_format format, image_record *source,
                                           image_record *destination)
{
    core::Call call = begin(core::Operation::convert_image_to);
    camera_error code =
        call.injected() ? call.injected() : core::convert_image(format, source, destination);
    return call.finish(code, "format=" + hex(format));
}

CORE_EXPORT camera_error fc2SaveImage(image_record *image, const char *file_name,
                                      image_file_format format)
{
    core::Call call = begin(core::Operation::save_image);
    camera_error code =
        call.injected() ? call.injected() : core::save_image(image, file_name, format);
    return call.finish(code, std::string("file=") + (file_name ? file_name : "null") +
                                 " format=" + hex(static_cast<uint32_t>(format)));
}

CORE_EXPORT camera_error fc2StopCapture(camera_context context)
{
    core::Call call = begin(core::Operation::stop_capture);
    return call.finish(call.injected() ? call.injected() : core::stop_capture(context));
}

CORE_EXPORT camera_error fc2DestroyContext(camera_context context)
{
    core::Call call = begin(core::Operation::destroy_context);
    return call.finish(call.injected() ? call.injected() : core::destroy_context(context));
}
