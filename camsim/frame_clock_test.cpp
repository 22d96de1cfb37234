// The frame clock in process: a new period applies from the very next frame.
#include "frame_clock.h"

#include <gtest/gtest.h>

namespace
{

TEST(FrameClock, ANewPeriodAppliesFromTheVeryNextFrame)
{
    const camsim::Clock::time_point start{};
    camsim::FrameClock clock = camsim::start_clock(start, std::chrono::milliseconds(10));
    // Frames 0 to 2 ready at 10, 20 and 30 ms; a shutter of 25 ms written at 35 ms.
    camsim::set_period(clock, std::chrono::milliseconds(25), start + std::chrono::milliseconds(35));
    EXPECT_EQ(camsim::frame_time_ms(clock, 2), 30.0);
    EXPECT_EQ(camsim::frame_time_ms(clock, 3), 55.0);
}

} // namespace
