// Contexts, checked against the SDK's contract, each over one simulated camera: their
// handles, the connection and its properties (the stream is in streaming.cpp).
#include "camera.h"
#include "context.h"

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

} // namespace

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

namespace
{

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
    return find_range(property->type) == nullptr ? property_not_present : ok;
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
    if (Error error = lock_for(handle, count, locked))
        return error;
    *count = locked.context->simulator.cable.plugged(Clock::now())
                 ? locked.context->config().cameras
                 : 0;
    return ok;
}

Error camera_from_index(camera_context handle, unsigned int index, camera_id *id)
{
    Locked locked;
    if (Error error = lock_for(handle, id, locked))
        return error;
    if (index >= locked.context->config().cameras ||
        !locked.context->simulator.cable.plugged(Clock::now()))
        return not_found;
    *id = camera_id{{id_tag, first_serial + index, index, 0}};
    return ok;
}

Error connect(camera_context handle, const camera_id *id)
{
    Locked locked;
    if (Error error = lock_for(handle, id, locked))
        return error;
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
    if (Error error = lock_for_property(handle, property, locked))
        return error;
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
    if (Error error = lock_for_property(handle, property, locked))
        return error;
    if (property->absolute_control && !std::isfinite(property->absolute_value))
        return invalid_parameter;
    Context &context = *locked.context;
    camera_property &held = *context.settings.find(property->type);
    return store_property(context.config().state, context.camera, *property, held) ? ok : failed;
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
