// Contexts, checked against the SDK's contract, each over one simulated camera: the
// connection, its properties and its stream.
#include "camera.h"

#include "auto_exposure.h"
#include "frame_clock.h"
#include "handles.h"
#include "image_records.h"
#include "properties.h"
#include "state_file.h"
#include "stream_owner.h"

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace camsim
{
namespace
{

constexpr uint32_t id_tag = 0x43534D31; // "CSM1"
constexpr uint32_t first_serial = 17140000;
// Context handles are tokens, not addresses: this tag and a number never given twice.
constexpr uintptr_t context_tag = uintptr_t{0x43534D} << 40;
// The records the simulator fills and reads, against the SDK's declarations.
static_assert(sizeof(camera_context) == sizeof(uintptr_t), "a context handle holds a token");
static_assert(sizeof(camera_id) == 4 * sizeof(uint32_t), "an identifier is four words");
static_assert(sizeof(camera_property) == 25 * sizeof(uint32_t),
              "a property record is nine words and sixteen reserved ones");

struct Context {
    explicit Context(Simulator &made_by) : simulator(made_by) {}

    Simulator &simulator;
    std::mutex mutex;
    std::condition_variable stopped; // capture stopped or the context destroyed
    bool destroyed = false;
    bool connected = false;
    Clock::time_point connected_at;
    unsigned camera = 0;
    bool capturing = false;
    uint64_t captures = 0; // starts of capture so far
    Settings settings = factory_settings();
    Stream stream; // the sensor's state while capturing
    FrameClock clock;
    StreamOwner owner; // held while capturing: the camera streams to one context at a time

    const Config &config() const
    {
        return simulator.config;
    }
};

// Every context that exists: one goes with its destruction.
Handles<Context> &contexts()
{
    static Handles<Context> instance(context_tag);
    return instance;
}

std::shared_ptr<Context> find_context(camera_context handle)
{
    return contexts().find(reinterpret_cast<uintptr_t>(handle));
}

// A live context, locked.
struct Locked {
    std::shared_ptr<Context> context;
    std::unique_lock<std::mutex> lock;
};

// Whether the context's connection holds at `now`; a connection the cable's pull broke is
// lost here, and its stream with it.
bool connection_holds(Context &context, Clock::time_point now)
{
    if (!context.connected)
        return false;
    context.simulator.cable.plugged(now); // its changes logged before this call's line
    if (now < context.simulator.cable.breaks(context.connected_at))
        return true;
    context.connected = false;
    context.capturing = false;
    context.owner.release();
    context.stopped.notify_all();
    return false;
}

Error lock_context(camera_context handle, Locked &locked)
{
    locked.context = find_context(handle);
    if (locked.context == nullptr)
        return invalid_context;
    locked.lock = std::unique_lock<std::mutex>(locked.context->mutex);
    if (locked.context->destroyed)
        return invalid_context;
    connection_holds(*locked.context, Clock::now());
    return ok;
}

Error lock_connected(camera_context handle, Locked &locked)
{
    if (Error error = lock_context(handle, locked))
        return error;
    return locked.context->connected ? ok : not_connected;
}

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

Error create_context(Simulator &simulator, camera_context *handle)
{
    if (handle == nullptr)
        return invalid_parameter;
    const uint64_t token = contexts().add(std::make_shared<Context>(simulator));
    *handle = reinterpret_cast<camera_context>(static_cast<uintptr_t>(token));
    return ok;
}

Error count_cameras(camera_context handle, unsigned int *count)
{
    Locked locked;
    if (Error error = lock_context(handle, locked))
        return error;
    if (count == nullptr)
        return invalid_parameter;
    *count = locked.context->simulator.cable.plugged(Clock::now())
                 ? locked.context->config().cameras
                 : 0;
    return ok;
}

Error camera_from_index(camera_context handle, unsigned int index, camera_id *id)
{
    Locked locked;
    if (Error error = lock_context(handle, locked))
        return error;
    if (id == nullptr)
        return invalid_parameter;
    if (index >= locked.context->config().cameras ||
        !locked.context->simulator.cable.plugged(Clock::now()))
        return not_found;
    *id = camera_id{{id_tag, first_serial + index, index, 0}};
    return ok;
}

Error connect(camera_context handle, const camera_id *id)
{
    Locked locked;
    if (Error error = lock_context(handle, locked))
        return error;
    if (id == nullptr)
        return invalid_parameter;
    const uint32_t index = id->words[2];
    if (id->words[0] != id_tag || index >= locked.context->config().cameras ||
        id->words[1] != first_serial + index || id->words[3] != 0)
        return not_found;
    Context &context = *locked.context;
    if (context.capturing)
        return already_started;
    const Clock::time_point now = Clock::now();
    if (!context.simulator.cable.plugged(now))
        return not_found;
    context.simulator.cable.connected(now);
    context.connected = true;
    context.connected_at = now;
    context.camera = index;
    context.settings = load_settings(context.config().state, index);
    return ok;
}

Error get_property(camera_context handle, camera_property *property)
{
    Locked locked;
    if (Error error = lock_connected(handle, locked))
        return error;
    if (property == nullptr)
        return invalid_parameter;
    if (find_range(property->type) == nullptr)
        return property_not_present;
    Context &context = *locked.context;
    // Another process may have changed the camera since this one last looked.
    context.settings = load_settings(context.config().state, context.camera);
    *property = reported_property(context.settings, context.capturing ? &context.stream : nullptr,
                                  property->type);
    return ok;
}

Error set_property(camera_context handle, const camera_property *property)
{
    Locked locked;
    if (Error error = lock_connected(handle, locked))
        return error;
    if (property == nullptr)
        return invalid_parameter;
    if (find_range(property->type) == nullptr)
        return property_not_present;
    if (property->absolute_control && !std::isfinite(property->absolute_value))
        return invalid_parameter;
    Context &context = *locked.context;
    camera_property &held = *context.settings.find(property->type);
    return store_property(context.config().state, context.camera, *property, held) ? ok : failed;
}

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

// A camera keeps the values its auto exposure chose when capture stops: a later capture
// starts from them, and reads outside a stream report them.
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

Error destroy_context(camera_context handle)
{
    std::shared_ptr<Context> context = contexts().remove(reinterpret_cast<uintptr_t>(handle));
    if (context == nullptr)
        return invalid_context;
    std::lock_guard<std::mutex> lock(context->mutex);
    context->destroyed = true;
    if (context->capturing)
        keep_auto_exposure(*context);
    context->capturing = false;
    context->owner.release();
    context->stopped.notify_all();
    return ok;
}

bool context_exists(uintptr_t handle)
{
    return find_context(reinterpret_cast<camera_context>(handle)) != nullptr;
}

} // namespace camsim
