// The SDK's flat C operations over the simulated camera, with fault injection and the
// call log around each.
#include "sdk.h"

#include "call_log.h"
#include "camera.h"

#include <cstdio>
#include <string>

#define CAMSIM_EXPORT extern "C" __attribute__((visibility("default")))

namespace
{

std::string describe(const fc2Property *p)
{
    if (p == nullptr)
        return "property=null";
    char text[256];
    std::snprintf(text, sizeof text,
                  "type=%d present=%d absControl=%d onePush=%d onOff=%d autoManualMode=%d "
                  "valueA=%u valueB=%u absValue=%.9g",
                  p->type, p->present, p->absControl, p->onePush, p->onOff, p->autoManualMode,
                  p->valueA, p->valueB, static_cast<double>(p->absValue));
    return text;
}

std::string hex(uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", value);
    return text;
}

} // namespace

CAMSIM_EXPORT fc2Error fc2CreateContext(fc2Context *context)
{
    camsim::Call call("fc2CreateContext");
    return call.finish(call.injected() ? call.injected() : camsim::create_context(context));
}

CAMSIM_EXPORT fc2Error fc2GetNumOfCameras(fc2Context context, unsigned int *count)
{
    camsim::Call call("fc2GetNumOfCameras");
    fc2Error code = call.injected() ? call.injected() : camsim::count_cameras(context, count);
    return call.finish(code, code == 0 ? "count=" + std::to_string(*count) : "");
}

CAMSIM_EXPORT fc2Error fc2GetCameraFromIndex(fc2Context context, unsigned int index,
                                             fc2PGRGuid *guid)
{
    camsim::Call call("fc2GetCameraFromIndex");
    fc2Error code =
        call.injected() ? call.injected() : camsim::camera_from_index(context, index, guid);
    return call.finish(code, "index=" + std::to_string(index));
}

CAMSIM_EXPORT fc2Error fc2Connect(fc2Context context, fc2PGRGuid *guid)
{
    camsim::Call call("fc2Connect");
    fc2Error code = call.injected() ? call.injected() : camsim::connect(context, guid);
    return call.finish(code,
                       guid == nullptr ? "guid=null" : "serial=" + std::to_string(guid->value[1]));
}

CAMSIM_EXPORT fc2Error fc2GetProperty(fc2Context context, fc2Property *property)
{
    camsim::Call call("fc2GetProperty");
    fc2Error code = call.injected() ? call.injected() : camsim::get_property(context, property);
    return call.finish(code, describe(property));
}

CAMSIM_EXPORT fc2Error fc2SetProperty(fc2Context context, fc2Property *property)
{
    camsim::Call call("fc2SetProperty");
    std::string arguments = describe(property);
    fc2Error code = call.injected() ? call.injected() : camsim::set_property(context, property);
    return call.finish(code, arguments);
}

CAMSIM_EXPORT fc2Error fc2StartCapture(fc2Context context)
{
    camsim::Call call("fc2StartCapture");
    return call.finish(call.injected() ? call.injected() : camsim::start_capture(context));
}

CAMSIM_EXPORT fc2Error fc2CreateImage(fc2Image *image)
{
    camsim::Call call("fc2CreateImage");
    return call.finish(call.injected() ? call.injected() : camsim::create_image(image));
}

CAMSIM_EXPORT fc2Error fc2RetrieveBuffer(fc2Context context, fc2Image *image)
{
    camsim::Call call("fc2RetrieveBuffer");
    return call.finish(call.injected() ? call.injected() : camsim::retrieve_buffer(context, image));
}

CAMSIM_EXPORT fc2Error fc2ConvertImageTo(fc2PixelFormat format, fc2Image *source,
                                         fc2Image *destination)
{
    camsim::Call call("fc2ConvertImageTo");
    fc2Error code =
        call.injected() ? call.injected() : camsim::convert_image(format, source, destination);
    return call.finish(code, "format=" + hex(format));
}

CAMSIM_EXPORT fc2Error fc2SaveImage(fc2Image *image, const char *file_name,
                                    fc2ImageFileFormat format)
{
    camsim::Call call("fc2SaveImage");
    fc2Error code =
        call.injected() ? call.injected() : camsim::save_image(image, file_name, format);
    return call.finish(code, std::string("file=") + (file_name ? file_name : "null") +
                                 " format=" + hex(static_cast<uint32_t>(format)));
}

CAMSIM_EXPORT fc2Error fc2StopCapture(fc2Context context)
{
    camsim::Call call("fc2StopCapture");
    return call.finish(call.injected() ? call.injected() : camsim::stop_capture(context));
}

CAMSIM_EXPORT fc2Error fc2DestroyContext(fc2Context context)
{
    camsim::Call call("fc2DestroyContext");
    return call.finish(call.injected() ? call.injected() : camsim::destroy_context(context));
}
