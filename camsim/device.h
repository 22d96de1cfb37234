// A context's simulated camera as the core finds it: the connection, the camera's settings
// and its stream.
#pragma once

#include "auto_exposure.h"
#include "frame_clock.h"
#include "properties.h"
#include "simulator.h"
#include "stream_owner.h"

namespace camsim
{

class SimulatedDevice final : public core::Device
{
  public:
    SimulatedDevice(Simulator &simulator, const core::ContextState &state)
        : simulator_(simulator), state_(state)
    {
    }

    // The connection and its properties (device.cpp).
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
    const Config &config() const
    {
        return simulator_.config;
    }
    Clock::duration period() const;
    Error await_frame(std::unique_lock<std::mutex> &lock, Clock::time_point not_before,
                      uint64_t &frame);
    std::shared_ptr<const ExposedScene> take_frame(uint64_t frame, core::Delivery &delivery);
    // The camera keeps the values its auto exposure chose when capture stops: a later
    // capture starts from them, and reads outside a stream report them.
    void keep_auto_exposure();

    Simulator &simulator_;
    const core::ContextState &state_;
    Clock::time_point connected_at_;
    unsigned camera_ = 0;
    Settings settings_ = factory_settings();
    Stream stream_; // the sensor's state while capturing
    FrameClock clock_;
    StreamOwner owner_; // held while capturing: the camera streams to one context at a time
};

} // namespace camsim
