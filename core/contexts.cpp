// Contexts, checked against the SDK's contract, each over one device of the process's
// camera: their handles, the connection, properties and the stream.
#include "contexts.h"

#include "handles.h"
#include "image_records.h"

#include <cmath>
#include <memory>
#include <mutex>

namespace core
{
namespace
{

// Context handles are tokens, not addresses: this tag and a number never given twice.
constexpr uintptr_t context_tag = uintptr_t{0x43534D} << 40;
// The records the core fills and reads, against the SDK's declarations.
static_assert(sizeof(camera_context) == sizeof(uintptr_t), "a context handle holds a token");
static_assert(sizeof(camera_id) == 4 * sizeof(uint32_t), "an identifier is four words");
static_assert(sizeof(camera_property) == 25 * sizeof(uint32_t),
              "a property record is nine words and sixteen reserved ones");

struct Context {
    explicit Context(Camera &camera) : device(camera.open(state)) {}

    ContextState state;
    const std::unique_ptr<Device> device;
};

// Every context that exists: one goes with its destruction.
Handles<Context> &contexts()
{
    static Handles<Context> instance(context_tag);
    return instance;
}

// A live context, locked.
struct Locked {
    std::shared_ptr<Context> context;
    std::unique_lock<std::mutex> lock;

    ContextState &state() const
    {
        return context->state;
    }
    Device &device() const
    {
        return *context->device;
    }
};

// The connection is gone, and capture with it.
void drop_connection(Context &context)
{
    context.state.connected = false;
    context.state.capturing = false;
    context.device->lost();
    context.state.changed.notify_all();
}

// Finds and locks the live context with this handle; a connection the camera lost is
// dropped here.
Error lock_context(camera_context handle, Locked &locked)
{
    locked.context = contexts().find(reinterpret_cast<uintptr_t>(handle));
    if (locked.context == nullptr)
        return invalid_context;
    locked.lock = std::unique_lock<std::mutex>(locked.context->state.mutex);
    if (locked.state().destroyed)
        return invalid_context;
    if (locked.state().connected && !locked.device().holds())
        drop_connection(*locked.context);
    return ok;
}

// The same, for a context connected to its camera.
Error lock_connected(camera_context handle, Locked &locked)
{
    if (Error error = lock_context(handle, locked))
        return error;
    return locked.state().connected ? ok : not_connected;
}

// Locks the live context for an operation whose `argument` must be given: a missing one is
// refused once the context is known to be good.
Error lock_for(camera_context handle, const void *argument, Locked &locked)
{
    if (Error error = lock_context(handle, locked))
        return error;
    return argument == nullptr ? invalid_parameter : ok;
}

// The same for a property read or write: a connected context, and a property the camera has.
Error lock_for_property(camera_context handle, const camera_property *property, Locked &locked)
{
    if (Error error = lock_connected(handle, locked))
        return error;
    if (property == nullptr)
        return invalid_parameter;
    return locked.device().has(property->type) ? ok : property_not_present;
}

// A device's answer: one that says the camera is lost drops the connection.
Error answer(const Locked &locked, Error error)
{
    if (error == not_connected && locked.state().connected)
        drop_connection(*locked.context);
    return error;
}

} // namespace

Error create_context(Camera &camera, camera_context *handle)
{
    if (handle == nullptr)
        return invalid_parameter;
    const uint64_t token = contexts().add(std::make_shared<Context>(camera));
    *handle = reinterpret_cast<camera_context>(static_cast<uintptr_t>(token));
    return ok;
}

Error count_cameras(camera_context handle, unsigned int *count)
{
    Locked locked;
    if (Error error = lock_for(handle, count, locked))
        return error;
    return locked.device().count(*count);
}

Error camera_from_index(camera_context handle, unsigned int index, camera_id *id)
{
    Locked locked;
    if (Error error = lock_for(handle, id, locked))
        return error;
    return locked.device().identify(index, *id);
}

Error connect(camera_context handle, const camera_id *id)
{
    Locked locked;
    if (Error error = lock_for(handle, id, locked))
        return error;
    if (locked.state().capturing)
        return already_started;
    const Error error = locked.device().connect(*id);
    if (error == ok)
        locked.state().connected = true;
    return error;
}

Error get_property(camera_context handle, camera_property *property)
{
    Locked locked;
    if (Error error = lock_for_property(handle, property, locked))
        return error;
    return answer(locked, locked.device().read(*property));
}

Error set_property(camera_context handle, const camera_property *property)
{
    Locked locked;
    if (Error error = lock_for_property(handle, property, locked))
        return error;
    if (property->absolute_control && !std::isfinite(property->absolute_value))
        return invalid_parameter;
    return answer(locked, locked.device().write(*property));
}

Error start_capture(camera_context handle)
{
    Locked locked;
    if (Error error = lock_connected(handle, locked))
        return error;
    if (locked.state().capturing)
        return already_started;
    const Error error = answer(locked, locked.device().start());
    if (error == ok) {
        locked.state().capturing = true;
        ++locked.state().captures;
    }
    return error;
}

int32_t retrieve_buffer(camera_context handle, image_record *record, int32_t injected,
                        Clock::time_point not_before, Delivery &delivery)
{
    Locked locked;
    const Error error = lock_connected(handle, locked);
    if (injected != 0) {
        // The failing call still takes camera time: the frame it would have had is lost.
        if (error == ok && locked.state().capturing &&
            answer(locked,
                   locked.device().next_frame(locked.lock, not_before, nullptr, delivery)) != ok)
            delivery.cut_short = true; // its delay is over with the stream
        return injected;
    }
    if (error != ok)
        return error;
    if (!locked.state().capturing)
        return not_started;
    if (record == nullptr)
        return invalid_parameter;
    std::shared_ptr<ImageSlot> slot = find_image(record);
    if (slot == nullptr)
        return not_initialized;
    // The record is the device's to fill, and a frame it could not take leaves it as it was.
    // Never waited for with the context locked: the device may wait for its frame with the
    // record held and the context not.
    std::unique_lock<std::mutex> filling(slot->mutex, std::try_to_lock);
    if (!filling.owns_lock()) {
        locked.lock.unlock();
        filling.lock();
        locked.lock.lock();
        if (locked.state().destroyed)
            return invalid_context;
        if (!locked.state().connected)
            return not_connected;
        if (!locked.state().capturing)
            return not_started;
    }
    const Error taken =
        answer(locked, locked.device().next_frame(locked.lock, not_before, &slot->image, delivery));
    if (taken == ok)
        slot->image.context = reinterpret_cast<uintptr_t>(handle);
    return taken;
}

Error stop_capture(camera_context handle)
{
    Locked locked;
    if (Error error = lock_connected(handle, locked))
        return error;
    if (!locked.state().capturing)
        return not_started;
    const Error error = answer(locked, locked.device().stop());
    locked.state().capturing = false;
    locked.state().changed.notify_all();
    return error;
}

Error destroy_context(camera_context handle)
{
    std::shared_ptr<Context> context = contexts().remove(reinterpret_cast<uintptr_t>(handle));
    if (context == nullptr)
        return invalid_context;
    std::lock_guard<std::mutex> lock(context->state.mutex);
    context->state.destroyed = true;
    context->device->end();
    context->state.capturing = false;
    context->state.connected = false;
    context->state.changed.notify_all();
    return ok;
}

bool context_exists(uintptr_t handle)
{
    return contexts().find(handle) != nullptr;
}

} // namespace core
