// The camera's cable as one process sees it (CAMSIM_UNPLUG): pulled a while after the
// process first connects to the camera and perhaps put back, each change in the call log.
#pragma once

#include "config.h"
#include "frame_clock.h"

#include <mutex>

namespace camsim
{

// The schedule counts from the process's first connection; every camera of the process is
// on the one cable. A connection made before the cable is pulled stays broken after it,
// even when the camera is back: the program must connect again.
class Cable
{
  public:
    explicit Cable(const Config &config) : config_(config) {}

    // Notes a connection made at `now`.
    void connected(Clock::time_point now);

    // Whether the camera is plugged in at `now`. The first call that finds it pulled, and
    // the first that finds it back, put "camera unplugged time=<ms>" and "camera replugged
    // time=<ms>" in the call log, the time counted from the first connection.
    bool plugged(Clock::time_point now);

    // When a connection made at `since` breaks (Clock::time_point::max() for never).
    Clock::time_point breaks(Clock::time_point since);

  private:
    const Config &config_;
    std::mutex mutex_;
    bool connected_ = false;
    Clock::time_point first_; // the process's first connection
    unsigned changes_logged_ = 0;
};

} // namespace camsim
