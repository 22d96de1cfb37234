// The cable's schedule: when the camera goes away and comes back, logged as it is seen.
#include "cable.h"

#include "call_log.h"

#include <cstdio>

namespace camsim
{

void Cable::connected(Clock::time_point now)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!connected_)
        first_ = now;
    connected_ = true;
}

bool Cable::plugged(Clock::time_point now)
{
    const Unplug &unplug = config_.unplug;
    std::lock_guard<std::mutex> lock(mutex_);
    if (!unplug.set || !connected_)
        return true;
    const unsigned change_ms[] = {unplug.after_ms, unplug.after_ms + unplug.away_ms};
    const unsigned changes = unplug.comes_back ? 2 : 1;
    unsigned passed = 0;
    while (passed < changes && now >= first_ + std::chrono::milliseconds(change_ms[passed]))
        ++passed;
    for (; changes_logged_ < passed; ++changes_logged_)
        if (!config_.calls.log_path.empty()) {
            char line[64];
            std::snprintf(line, sizeof line, "camera %s time=%u.000\n",
                          changes_logged_ == 0 ? "unplugged" : "replugged",
                          change_ms[changes_logged_]);
            core::append_to_log(config_.calls.log_path, line);
        }
    return passed != 1;
}

Clock::time_point Cable::breaks(Clock::time_point since)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const Clock::time_point pulled = first_ + std::chrono::milliseconds(config_.unplug.after_ms);
    return config_.unplug.set && connected_ && since <= pulled ? pulled : Clock::time_point::max();
}

} // namespace camsim
