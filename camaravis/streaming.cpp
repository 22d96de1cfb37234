// A context's stream: Mono8 where the camera offers it, a few buffers, and retrievals that
// take the newest frame, wait a bounded time for one, and fail on an incomplete one.
#include "aravis_camera.h"

#include "properties.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <thread>
#include <utility>

namespace camaravis
{
namespace
{

constexpr int buffers = 4;
// Beyond exposure and frame periods: the transfer, and a camera's start of streaming.
constexpr double margin_us = 500000;
// How often a waiting retrieval looks at its context: a stop or an end ends the wait.
constexpr guint64 slice_us = 20000;

constexpr std::pair<ArvPixelFormat, core::PixelFormat> pixel_formats[] = {
    {ARV_PIXEL_FORMAT_MONO_8, core::PixelFormat::mono8},
    {ARV_PIXEL_FORMAT_MONO_10, core::PixelFormat::mono10},
    {ARV_PIXEL_FORMAT_MONO_12, core::PixelFormat::mono12},
    {ARV_PIXEL_FORMAT_MONO_16, core::PixelFormat::mono16},
    {ARV_PIXEL_FORMAT_BAYER_RG_8, core::PixelFormat::bayer_rg8},
    {ARV_PIXEL_FORMAT_BAYER_GR_8, core::PixelFormat::bayer_gr8},
    {ARV_PIXEL_FORMAT_BAYER_GB_8, core::PixelFormat::bayer_gb8},
    {ARV_PIXEL_FORMAT_BAYER_BG_8, core::PixelFormat::bayer_bg8},
    {ARV_PIXEL_FORMAT_RGB_8_PACKED, core::PixelFormat::rgb8},
    {ARV_PIXEL_FORMAT_BGR_8_PACKED, core::PixelFormat::bgr8},
};

// Waits up to `timeout_us` for a frame, then takes the newest one there is, the older ones
// going back to the stream to be filled again; `received` counts them all.
ArvBuffer *newest(ArvStream *stream, guint64 timeout_us, uint64_t &received)
{
    ArvBuffer *buffer = arv_stream_timeout_pop_buffer(stream, timeout_us);
    for (ArvBuffer *next = buffer; next != nullptr; next = arv_stream_try_pop_buffer(stream)) {
        if (next != buffer)
            arv_stream_push_buffer(stream, std::exchange(buffer, next));
        ++received;
    }
    return buffer;
}

// The core's name for a GenICam pixel format; `other` for one the core does not convert.
core::PixelFormat pixel_format_of(ArvPixelFormat format)
{
    for (const auto &[aravis, core] : pixel_formats)
        if (aravis == format)
            return core;
    return core::PixelFormat::other;
}

// Copies a complete frame into the image: rows as the camera sends them, their padding kept
// in the stride. A format the core does not convert comes without its pixels.
Error copy_frame(ArvBuffer *buffer, core::Image &image)
{
    image.format = pixel_format_of(arv_buffer_get_image_pixel_format(buffer));
    image.width = static_cast<unsigned>(std::max(0, arv_buffer_get_image_width(buffer)));
    image.height = static_cast<unsigned>(std::max(0, arv_buffer_get_image_height(buffer)));
    gint x_padding = 0, y_padding = 0;
    arv_buffer_get_image_padding(buffer, &x_padding, &y_padding);
    image.stride = static_cast<size_t>(image.width) * core::bytes_per_pixel(image.format) +
                   static_cast<size_t>(std::max(0, x_padding));
    size_t size = 0;
    const void *data = arv_buffer_get_image_data(buffer, &size);
    const size_t bytes = image.stride * image.height;
    if (image.format == core::PixelFormat::other) {
        image.stride = 0;
        image.pixels.clear();
        return ok;
    }
    if (data == nullptr || size < bytes)
        return failed;
    image.pixels.resize(bytes);
    std::memcpy(image.pixels.data(), data, bytes);
    return ok;
}

} // namespace

Clock::duration AravisDevice::frame_wait() const
{
    ArvCamera *camera = connection_->camera.get();
    double us = exposure_us(camera) + margin_us;
    if (arv_camera_is_frame_rate_available(camera, nullptr)) {
        GError *error = nullptr;
        const double fps = arv_camera_get_frame_rate(camera, &error);
        if (error == nullptr && fps > 0)
            us += 2e6 / fps;
        g_clear_error(&error);
    }
    return std::chrono::microseconds(std::llround(us));
}

Error AravisDevice::start()
{
    if (!controls())
        return camera_busy;
    ArvCamera *camera = connection_->camera.get();
    GError *error = nullptr;
    if (arv_camera_is_enumeration_entry_available(camera, "PixelFormat", "Mono8", nullptr))
        arv_camera_set_pixel_format(camera, ARV_PIXEL_FORMAT_MONO_8, &error);
    if (error == nullptr)
        arv_camera_set_acquisition_mode(camera, ARV_ACQUISITION_MODE_CONTINUOUS, &error);
    const guint payload = error == nullptr ? arv_camera_get_payload(camera, &error) : 0;
    // A GigE Vision camera sends the largest packets the link takes (jumbo frames where the
    // port's MTU allows), found with test packets as the stream is made.
    ArvDevice *device = arv_camera_get_device(camera);
    if (ARV_IS_GV_DEVICE(device))
        arv_gv_device_set_packet_size_adjustment(ARV_GV_DEVICE(device),
                                                 ARV_GV_PACKET_SIZE_ADJUSTMENT_ONCE);
    Ref<ArvStream> stream;
    if (error == nullptr)
        stream.reset(arv_camera_create_stream(camera, nullptr, nullptr, &error));
    if (error != nullptr)
        return answer(code_of(error));
    // A GigE Vision stream asks the kernel for a receive buffer the size of a frame (as far
    // as net.core.rmem_max allows): with less, packets are lost under load.
    if (ARV_IS_GV_STREAM(stream.get()))
        g_object_set(stream.get(), "socket-buffer", ARV_GV_STREAM_SOCKET_BUFFER_AUTO,
                     "socket-buffer-size", 0, nullptr);
    for (int i = 0; i < buffers; ++i)
        arv_stream_push_buffer(stream.get(), arv_buffer_new_allocate(payload));
    wait_ = frame_wait();
    frames_ = 0;
    started_us_ = g_get_real_time();
    arv_camera_start_acquisition(camera, &error);
    if (error != nullptr)
        return answer(code_of(error));
    connection_->stream = std::move(stream);
    return ok;
}

Error AravisDevice::still_streaming(uint64_t capture) const
{
    if (state_.destroyed)
        return invalid_context;
    if (!state_.connected || connection_ == nullptr || connection_->lost)
        return not_connected;
    if (!state_.capturing || state_.captures != capture)
        return not_started;
    return ok;
}

Error AravisDevice::next_frame(std::unique_lock<std::mutex> &lock, Clock::time_point not_before,
                               core::Image *into, core::Delivery &delivery)
{
    const uint64_t capture = state_.captures;
    if (Error error = still_streaming(capture))
        return error;
    // Held while the context is free: a stop meanwhile drops the connection's reference.
    Ref<ArvStream> stream(ARV_STREAM(g_object_ref(connection_->stream.get())));
    const Clock::time_point deadline = std::max(Clock::now(), not_before) + wait_;
    ArvBuffer *buffer = nullptr;
    while (buffer == nullptr) {
        const Clock::time_point now = Clock::now();
        if (now >= deadline)
            return failed; // no frame in time
        uint64_t received = 0;
        lock.unlock();
        if (now < not_before)
            std::this_thread::sleep_until(
                std::min(not_before, now + std::chrono::microseconds(slice_us)));
        else
            buffer = newest(stream.get(), slice_us, received);
        lock.lock();
        frames_ += received;
        if (Error error = still_streaming(capture)) {
            if (buffer != nullptr)
                arv_stream_push_buffer(stream.get(), buffer);
            return error;
        }
    }
    if (arv_buffer_get_status(buffer) != ARV_BUFFER_STATUS_SUCCESS) {
        arv_stream_push_buffer(stream.get(), buffer);
        return failed; // an incomplete frame: the series goes on
    }
    delivery.taken = true;
    delivery.frame = frames_ - 1;
    const guint64 stamp_ns = arv_buffer_get_system_timestamp(buffer);
    delivery.time_ms =
        (static_cast<double>(stamp_ns) / 1e3 - static_cast<double>(started_us_)) / 1e3;
    Error error = ok;
    if (into != nullptr) { // else lost to an injected failure
        lock.unlock();
        error = copy_frame(buffer, *into);
        into->frame = delivery.frame;
        lock.lock();
    }
    arv_stream_push_buffer(stream.get(), buffer);
    return error;
}

Error AravisDevice::stop()
{
    GError *error = nullptr;
    arv_camera_stop_acquisition(connection_->camera.get(), &error);
    const Error code = answer(code_of(error));
    // Letting the stream go tells the camera to stop sending: not to one that is lost.
    if (code != not_connected)
        connection_->stream.reset();
    return code;
}

void AravisDevice::end()
{
    release();
}

} // namespace camaravis
