// The sensor's frame clock: frame times, the frame a retrieval takes, and the backlog of
// frames exposed.
#include "frame_clock.h"

#include <algorithm>
#include <cmath>

namespace camsim
{
namespace
{

// After a long pause the sensor exposes at most this many of the frames it made.
constexpr uint64_t exposed_backlog = 32;

Clock::time_point ready_time(const FrameClock &clock, uint64_t frame)
{
    return clock.origin + static_cast<Clock::rep>(frame - clock.first) * clock.period;
}

// The newest frame the sensor has made by `now`; false when it has made none.
bool newest_made(const FrameClock &clock, Clock::time_point now, uint64_t &frame)
{
    if (now < clock.origin)
        return false;
    frame = clock.first + static_cast<uint64_t>((now - clock.origin) / clock.period);
    return true;
}

} // namespace

FrameClock start_clock(Clock::time_point now, Clock::duration period)
{
    FrameClock clock;
    // The sensor exposes frame 0 and reads it out before it exists.
    clock.start = now;
    clock.origin = now + period;
    clock.period = period;
    return clock;
}

Clock::duration frame_period(double fps, double exposure_ms)
{
    if (fps == 0)
        return Clock::duration::zero();
    double seconds = std::fmax(1.0 / fps, exposure_ms / 1000.0);
    return std::chrono::round<Clock::duration>(std::chrono::duration<double>(seconds));
}

void set_period(FrameClock &clock, Clock::duration period, Clock::time_point now)
{
    if (period == clock.period)
        return;
    uint64_t newest = 0;
    if (clock.period > Clock::duration::zero() && newest_made(clock, now, newest)) {
        clock.origin = ready_time(clock, newest);
        clock.first = newest;
    }
    clock.period = period;
}

bool frame_due(const FrameClock &clock, Clock::time_point now, uint64_t &frame,
               Clock::time_point &ready)
{
    if (clock.period == Clock::duration::zero()) {
        frame = clock.next;
        return true;
    }
    if (newest_made(clock, now, frame) && frame >= clock.next)
        return true;
    ready = ready_time(clock, clock.next);
    return false;
}

uint64_t take(FrameClock &clock, uint64_t frame)
{
    clock.next = frame + 1;
    clock.exposed =
        std::max(clock.exposed, frame + 1 > exposed_backlog ? frame + 1 - exposed_backlog : 0);
    const uint64_t exposures = frame + 1 > clock.exposed ? frame + 1 - clock.exposed : 0;
    clock.exposed = std::max(clock.exposed, frame + 1);
    return exposures;
}

double frame_time_ms(const FrameClock &clock, uint64_t frame)
{
    return clock.period == Clock::duration::zero()
               ? 0.0
               : std::chrono::duration<double, std::milli>(ready_time(clock, frame) - clock.start)
                     .count();
}

} // namespace camsim
