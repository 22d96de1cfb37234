// A context's stream: starting capture, retrieving the frames the sensor makes on its
// clock, and stopping it.
#include "device.h"

#include "state_file.h"

#include <algorithm>

namespace camsim
{

// The time between the context's frames now.
Clock::duration SimulatedDevice::period() const
{
    return frame_period(config().fps, exposure_in_use(settings_, &stream_));
}

// Waits for the frame a retrieval takes: the newest one not yet delivered, and not before
// `not_before`. Says why when capture stopped, the context ended or the cable's pull broke
// the connection meanwhile.
Error SimulatedDevice::await_frame(std::unique_lock<std::mutex> &lock, Clock::time_point not_before,
                                   uint64_t &frame)
{
    const uint64_t capture = state_.captures;
    for (;;) {
        const Clock::time_point now = Clock::now();
        if (!holds())
            return not_connected;
        // A setting another process wrote applies from the next frame.
        settings_ = load_settings(config().state, camera_);
        set_period(clock_, period(), now);
        Clock::time_point ready;
        const bool due = frame_due(clock_, now, frame, ready);
        if (due && now >= not_before)
            return ok;
        // The cable's pull ends the wait too.
        state_.changed.wait_until(lock, std::min(due ? not_before : std::max(not_before, ready),
                                                 simulator_.cable.breaks(connected_at_)));
        if (state_.destroyed)
            return invalid_context;
        if (!state_.connected)
            return not_connected;
        if (!state_.capturing || state_.captures != capture)
            return not_started;
    }
}

// Marks the frame taken and exposes it, with the frames the sensor made since the last
// one exposed, so auto exposure follows every frame made.
std::shared_ptr<const ExposedScene> SimulatedDevice::take_frame(uint64_t frame,
                                                                core::Delivery &delivery)
{
    std::shared_ptr<const ExposedScene> scene; // frames are taken in order: this one is new
    const uint64_t exposures = take(clock_, frame);
    for (uint64_t made = frame + 1 - exposures; made <= frame; ++made)
        scene = expose_frame(stream_, settings_, made);
    delivery.taken = true;
    delivery.frame = frame;
    delivery.time_ms = frame_time_ms(clock_, frame);
    return scene;
}

Error SimulatedDevice::start()
{
    if (Error error = owner_.take(config().state, camera_))
        return error;
    settings_ = load_settings(config().state, camera_);
    begin_stream(stream_, settings_, simulator_.scene, config().fps);
    // A scene file or directory is read before the sensor's clock starts: read at the first
    // frame, a long sequence would make the frames after it skip (the clock runs meanwhile).
    simulator_.scene.metering_factor();
    clock_ = start_clock(Clock::now(), period());
    return ok;
}

Error SimulatedDevice::next_frame(std::unique_lock<std::mutex> &lock, Clock::time_point not_before,
                                  core::Image *into, core::Delivery &delivery)
{
    uint64_t frame = 0;
    if (Error error = await_frame(lock, not_before, frame))
        return error;
    std::shared_ptr<const ExposedScene> scene = take_frame(frame, delivery);
    if (into == nullptr)
        return ok; // lost to an injected failure
    // The sensor's mosaic read out row by row, with the context free meanwhile. Each row is
    // made with room after it for the noise's last block, which the next row overwrites.
    lock.unlock();
    const unsigned width = config().width, height = config().height;
    into->format = core::PixelFormat::bayer_rg8;
    into->width = width;
    into->height = height;
    into->stride = width;
    into->pixels.resize(static_cast<size_t>(width) * (height - 1) + raw_row_size(width));
    for (unsigned y = 0; y < height; ++y)
        raw_row(*scene, frame, y, &into->pixels[static_cast<size_t>(y) * width]);
    into->frame = frame;
    lock.lock();
    return ok;
}

void SimulatedDevice::keep_auto_exposure()
{
    if (stream_.frames > 0)
        keep_auto_values(config().state, camera_, stream_.shutter, stream_.gain);
}

Error SimulatedDevice::stop()
{
    keep_auto_exposure();
    owner_.release();
    return ok;
}

void SimulatedDevice::end()
{
    if (state_.capturing)
        keep_auto_exposure();
    owner_.release();
}

} // namespace camsim
