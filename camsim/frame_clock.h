// The sensor's frame clock while it streams: when each frame is ready, which one a
// retrieval takes, and the frames lost or skipped on the way.
#pragma once

#include <chrono>
#include <cstdint>

namespace camsim
{

using Clock = std::chrono::steady_clock;

// The frame clock of one capture: frame k is ready at origin + (k - first) * period; a
// change of period moves the origin to the newest frame made at the old one, so frame times
// stay continuous. A zero period is unpaced: every retrieval gets the next frame at once.
struct FrameClock {
    Clock::time_point start;  // capture started
    Clock::time_point origin; // frame 0 is ready one period after the start: it is exposed first
    uint64_t first = 0;
    Clock::duration period{};
    uint64_t next = 0;    // the first frame neither delivered nor lost
    uint64_t exposed = 0; // frames the sensor has exposed
};

// A clock started at `now`: frame k is ready at now + (k + 1) * period.
FrameClock start_clock(Clock::time_point now, Clock::duration period);

// The time between frames at `fps` (0: unpaced): no shorter than the exposure in use, as
// the camera cannot start a frame before the last exposure is over.
Clock::duration frame_period(double fps, double exposure_ms);

// Changes the period from `now` on.
void set_period(FrameClock &clock, Clock::duration period, Clock::time_point now);

// The frame a retrieval at `now` takes: the newest one made and not yet taken (the next one
// when unpaced). False when there is none yet, with `ready` the time the next one will be.
bool frame_due(const FrameClock &clock, Clock::time_point now, uint64_t &frame,
               Clock::time_point &ready);

// Marks the frame taken (delivered or lost) and returns how many frames the sensor exposes
// for it: every frame made since the last one exposed, so auto exposure follows every frame,
// but after a long pause no more than a backlog (auto exposure has long settled by then).
uint64_t take(FrameClock &clock, uint64_t frame);

// When the frame was ready, in milliseconds since capture started (0 when unpaced).
double frame_time_ms(const FrameClock &clock, uint64_t frame);

} // namespace camsim
