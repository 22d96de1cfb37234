// The camera over Aravis beneath the core: GigE Vision and USB3 Vision cameras, the first
// one Aravis's discovery finds or the one CAMARAVIS_CAMERA names, one connection a context.
#pragma once

#include "camera.h"

#include <arv.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace camaravis
{

using namespace sdk;
using core::Clock;

// A GObject reference, dropped with its holder.
struct Unref {
    void operator()(void *object) const
    {
        g_object_unref(object);
    }
};
template <class T> using Ref = std::unique_ptr<T, Unref>;

// Which camera the process uses, from CAMARAVIS_CAMERA: unset or empty, the first one
// discovery lists; an IPv4 address, the GigE Vision camera there, with no discovery; any
// other value, the camera discovery lists with that device id.
struct Choice {
    enum Kind { first_found, address, device_id } kind = first_found;
    std::string name;
};

Choice choose_camera(const char *knob);

// What the contexts of a process share.
class AravisCamera final : public core::Camera
{
  public:
    AravisCamera(Choice choice, core::CallLayer calls)
        : choice(std::move(choice)), calls_(std::move(calls))
    {
    }

    std::unique_ptr<core::Device> open(const core::ContextState &state) override;
    const core::CallLayer &call_layer() const override
    {
        return calls_;
    }

    // The identifier of the camera with this name (an address or a device id), the same
    // for every context of the process; and the name an identifier stands for.
    camera_id identifier(const std::string &name);
    bool name_of(const camera_id &id, std::string &name);

    const Choice choice;
    // Aravis's discovery and its interfaces are the process's own: one caller at a time.
    std::mutex discovery;

  private:
    core::CallLayer calls_;
    std::mutex names_mutex_;
    std::vector<std::string> names_;
};

// A context's connection: the camera, its stream while capturing, and whether Aravis said
// the camera was lost (from its own heartbeat thread).
struct Connection {
    Ref<ArvCamera> camera;
    Ref<ArvStream> stream;
    std::atomic<bool> lost{false};
};

class AravisDevice final : public core::Device
{
  public:
    AravisDevice(AravisCamera &camera, const core::ContextState &state)
        : camera_(camera), state_(state)
    {
    }
    // A context the program never destroyed ends with the process: its camera is let go
    // then, so that the next program may take it at once.
    ~AravisDevice() override;

    // Finding the camera and the connection (connection.cpp).
    Error count(unsigned &count) override;
    Error identify(unsigned index, camera_id &id) override;
    Error connect(const camera_id &id) override;
    bool holds() override;
    void lost() override;
    bool has(property_type type) override;
    Error read(camera_property &property) override;
    Error write(const camera_property &property) override;

    // The stream (streaming.cpp).
    Error start() override;
    Error next_frame(std::unique_lock<std::mutex> &lock, Clock::time_point not_before,
                     core::Image *into, core::Delivery &delivery) override;
    Error stop() override;
    void end() override;

  private:
    // The names of the cameras there are now, as the camera knob chooses them.
    std::vector<std::string> find_cameras();
    Ref<ArvDevice> open_device(const std::string &name);
    // Whether this process controls the camera: another controller may hold a GigE Vision one.
    bool controls() const;
    // A feature's answer: one that says the camera is lost marks the connection so.
    Error answer(Error code);
    // How long a retrieval waits for its frame: the exposure, two frame periods and a margin.
    Clock::duration frame_wait() const;
    // Why a retrieval that waited cannot go on, or ok.
    Error still_streaming(uint64_t capture) const;
    // Stops the stream and lets the camera go, saying goodbye (control released).
    void release();

    AravisCamera &camera_;
    const core::ContextState &state_;
    std::vector<std::string> listed_; // what the last count found
    Ref<ArvDevice> probed_;           // the camera at the knob's address, opened by a count
    std::unique_ptr<Connection> connection_;
    Clock::duration wait_{}; // how long a retrieval waits for its frame
    int64_t started_us_ = 0; // when capture started (real time, as buffers are stamped)
    uint64_t frames_ = 0;    // frames the stream received since then
};

} // namespace camaravis
