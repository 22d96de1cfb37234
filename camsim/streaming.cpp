// A context's stream: starting capture, retrieving the frames the sensor makes on its
// clock, and stopping it.
#include "camera.h"
#include "context.h"
#include "image_records.h"
#include "state_file.h"

#include <algorithm>

namespace camsim
{
namespace
{

// The time between the context's frames now.
Clock::duration period(const Context &context)
{
    return frame_period(context.config().fps, exposure_in_use(context.settings, &context.stream));
}

// Waits for the frame a retrieval takes: the newest one not yet delivered, and not before
// `not_before`. False when capture stopped or the context ended meanwhile.
bool await_frame(Context &context, std::unique_lock<std::mutex> &lock, Clock::time_point not_before,
                 uint64_t &frame)
{
    const uint64_t capture = context.captures;
    for (;;) {
        const Clock::time_point now = Clock::now();
        if (!connection_holds(context, now))
            return false;
        // A setting another process wrote applies from the next frame.
        context.settings = load_settings(context.config().state, context.camera);
        set_period(context.clock, period(context), now);
        Clock::time_point ready;
        const bool due = frame_due(context.clock, now, frame, ready);
        if (due && now >= not_before)
            return true;
        // The cable's pull ends the wait too.
        context.stopped.wait_until(lock,
                                   std::min(due ? not_before : std::max(not_before, ready),
                                            context.simulator.cable.breaks(context.connected_at)));
        if (context.destroyed || !context.capturing || context.captures != capture)
            return false;
    }
}

// Marks the frame taken and exposes it, with the frames the sensor made since the last
// one exposed, so auto exposure follows every frame made.
std::shared_ptr<const ExposedScene> take_frame(Context &context, uint64_t frame, Delivery &delivery)
{
    std::shared_ptr<const ExposedScene> scene; // frames are taken in order: this one is new
    const uint64_t exposures = take(context.clock, frame);
    for (uint64_t made = frame + 1 - exposures; made <= frame; ++made)
        scene = expose_frame(context.stream, context.settings, made);
    delivery.taken = true;
    delivery.frame = frame;
    delivery.time_ms = frame_time_ms(context.clock, frame);
    return scene;
}

} // namespace

Error start_capture(camera_context handle)
{
    Locked locked;
    if (Error error = lock_connected(handle, locked))
        return error;
    Context &context = *locked.context;
    if (context.capturing)
        return already_started;
    if (Error error = context.owner.take(context.config().state, context.camera))
        return error;
    context.settings = load_settings(context.config().state, context.camera);
    context.capturing = true;
    ++context.captures;
    begin_stream(context.stream, context.settings, context.simulator.scene, context.config().fps);
    // A scene file or directory is read before the sensor's clock starts: read at the first
    // frame, a long sequence would make the frames after it skip (the clock runs meanwhile).
    context.simulator.scene.metering_factor();
    context.clock = start_clock(Clock::now(), period(context));
    return ok;
}

int32_t retrieve_buffer(camera_context handle, image_record *record, int32_t injected,
                        Clock::time_point not_before, Delivery &delivery)
{
    Locked locked;
    Error error = lock_connected(handle, locked);
    if (injected != 0) {
        // The failing call still takes sensor time: the frame it would have had is lost.
        uint64_t frame = 0;
        if (error == ok && locked.context->capturing) {
            if (await_frame(*locked.context, locked.lock, not_before, frame))
                take_frame(*locked.context, frame, delivery);
            else
                delivery.cut_short = true; // its delay is over with the stream
        }
        return injected;
    }
    if (error != ok)
        return error;
    Context &context = *locked.context;
    if (!context.capturing)
        return not_started;
    if (record == nullptr)
        return invalid_parameter;
    std::shared_ptr<ImageSlot> slot = find_image(record);
    if (slot == nullptr)
        return not_initialized;
    uint64_t frame = 0;
    if (!await_frame(context, locked.lock, not_before, frame))
        return context.destroyed   ? invalid_context
               : context.connected ? not_started
                                   : not_connected;
    std::shared_ptr<const ExposedScene> scene = take_frame(context, frame, delivery);
    locked.lock.unlock();

    std::lock_guard<std::mutex> lock(slot->mutex);
    Image &image = slot->image;
    image.layout = PixelLayout::bayer_rggb;
    image.width = image.stride = context.config().width;
    image.height = context.config().height;
    image.pixels.clear();
    image.exposure = std::move(scene);
    image.frame = frame;
    image.context = reinterpret_cast<uintptr_t>(handle);
    return ok;
}

void keep_auto_exposure(const Context &context)
{
    if (context.stream.frames > 0)
        keep_auto_values(context.config().state, context.camera, context.stream.shutter,
                         context.stream.gain);
}

Error stop_capture(camera_context handle)
{
    Locked locked;
    if (Error error = lock_connected(handle, locked))
        return error;
    if (!locked.context->capturing)
        return not_started;
    locked.context->capturing = false;
    locked.context->stopped.notify_all();
    keep_auto_exposure(*locked.context);
    locked.context->owner.release();
    return ok;
}

} // namespace camsim
