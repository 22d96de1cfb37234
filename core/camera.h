// What a camera implementation answers for, beneath the core. The core hands out the SDK's
// handles, checks every call against the interface's contract, keeps the image records,
// converts and saves their frames, logs the calls and injects faults; a camera only counts,
// identifies and connects its cameras, reads and writes their properties and delivers raw
// frames.
#pragma once

#include "call_log.h"
#include "errors.h"
#include "image.h"
#include "sdk.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

namespace core
{

using namespace sdk;
using Clock = std::chrono::steady_clock;

// A context as the contract sees it, kept by the core. Every call of a Device is made with
// `mutex` held; a device reads these (never writes them) and may wait on `changed`.
struct ContextState {
    std::mutex mutex;
    mutable std::condition_variable
        changed; // capture stopped, the connection lost, the context ended
    bool destroyed = false;
    bool connected = false;
    bool capturing = false;
    uint64_t captures = 0; // starts of capture so far
};

// The frame a retrieval delivered, or lost to an injected failure: what the call log says.
struct Delivery {
    bool taken = false;
    uint64_t frame = 0;
    double time_ms = 0;     // when the camera had it, since capture started
    bool cut_short = false; // capture stopped or the context ended while the call waited
};

// One context's view of the camera, made when the context is created. The core calls it
// only after its own checks (a live context, the arguments given, a connection where one is
// needed, capture running or not as the call needs); codes other than those below are the
// camera's own.
class Device
{
  public:
    virtual ~Device() = default;

    // How many cameras there are now.
    virtual Error count(unsigned &count) = 0;
    // The identifier of camera `index`; not_found when there is none.
    virtual Error identify(unsigned index, camera_id &id) = 0;
    // Connects to the camera with that identifier (not capturing); not_found when it is gone.
    virtual Error connect(const camera_id &id) = 0;
    // Whether the connection still holds, asked at the start of every call on a connected
    // context: false and the core drops the connection (capture with it) and calls lost().
    virtual bool holds() = 0;
    // The connection was lost (holds() false, or a call returned not_connected): let go of
    // what the connection held.
    virtual void lost() = 0;

    // Whether the camera has the property: property_not_present comes from the core.
    virtual bool has(property_type type) = 0;
    // Fills the record of the property whose type it holds.
    virtual Error read(camera_property &property) = 0;
    // Takes the record's settings (an absolute value, when absolute control is on, is finite).
    virtual Error write(const camera_property &property) = 0;

    // Starts streaming (connected, not capturing); camera_busy when another has the camera.
    virtual Error start() = 0;
    // The next frame into `into`, not before `not_before`; with `into` null the frame is lost
    // instead (an injected failure: the call still takes camera time). The device may release
    // `lock` while it waits or fills `into`, and holds it again when it returns; after a wait
    // it answers invalid_context (the context ended), not_started (capture stopped) or
    // not_connected (the camera lost: the core drops the connection).
    virtual Error next_frame(std::unique_lock<std::mutex> &lock, Clock::time_point not_before,
                             Image *into, Delivery &delivery) = 0;
    // Stops streaming (capturing).
    virtual Error stop() = 0;
    // The context ends, streaming or not (`state` says which).
    virtual void end() = 0;
};

// A camera implementation: the devices of its contexts, and the call layer it switches on.
class Camera
{
  public:
    virtual ~Camera() = default;
    virtual std::unique_ptr<Device> open(const ContextState &state) = 0;
    virtual const CallLayer &call_layer() const = 0;
};

// The camera of this process, made at its first SDK call: each implementation defines it
// (from its environment), and the core's entry points serve it.
std::unique_ptr<Camera> make_process_camera();

} // namespace core
