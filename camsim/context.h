// A context of the simulated camera as the SDK's operations find it: the connection, the
// camera's settings and its stream, behind one lock.
#pragma once

#include "auto_exposure.h"
#include "camera.h"
#include "frame_clock.h"
#include "properties.h"
#include "stream_owner.h"

#include <condition_variable>
#include <memory>
#include <mutex>

namespace camsim
{

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

// A live context, locked.
struct Locked {
    std::shared_ptr<Context> context;
    std::unique_lock<std::mutex> lock;
};

// Whether the context's connection holds at `now`; a connection the cable's pull broke is
// lost here, and its stream with it.
bool connection_holds(Context &context, Clock::time_point now);

// Finds and locks the live context with this handle.
Error lock_context(camera_context handle, Locked &locked);

// The same, for a context connected to its camera.
Error lock_connected(camera_context handle, Locked &locked);

// A camera keeps the values its auto exposure chose when capture stops: a later capture
// starts from them, and reads outside a stream report them.
void keep_auto_exposure(const Context &context);

} // namespace camsim
