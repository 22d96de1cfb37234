// The frame clock in process: when each frame is ready, the first a whole period after the
// start, and unpaced clocks that never wait.
#include "frame_clock.h"

#include <gtest/gtest.h>

namespace
{

TEST(FrameClock, FrameKIsReadyKPlusOnePeriodsAfterTheStart)
{
    struct Case {
        double fps, exposure_ms;
        uint64_t frame;
        double ready_ms;
    };
    const Case cases[] = {
        {30, 1, 0, 1000.0 / 30}, {30, 1, 2, 100}, {100, 1, 9, 100},
        {30, 40, 0, 40},         {30, 40, 1, 80}, {0, 40, 5, 0}, // unpaced
    };
    const camsim::Clock::time_point start = camsim::Clock::now();
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.fps << " fps, " << c.exposure_ms << " ms, frame " << c.frame);
        const camsim::Clock::duration period = camsim::frame_period(c.fps, c.exposure_ms);
        camsim::FrameClock clock = camsim::start_clock(start, period);
        EXPECT_NEAR(camsim::frame_time_ms(clock, c.frame), c.ready_ms, 1e-6);
        // Nothing is due before frame 0 is ready, unless unpaced; frame 0 is then.
        uint64_t frame = 99;
        camsim::Clock::time_point ready;
        EXPECT_EQ(camsim::frame_due(clock, start + period / 2, frame, ready), c.fps == 0);
        ASSERT_TRUE(camsim::frame_due(clock, start + period, frame, ready));
        EXPECT_EQ(frame, 0u);
    }
}

} // namespace
