// captura_manual: switches auto exposure off, silently, then takes the series.
#include "bmp.h"
#include "harness.h"

#include <gtest/gtest.h>

using namespace harness;

namespace
{

Launch manual(const std::string &fail = "")
{
    return with_faults("captura_manual", fail);
}

TEST(CapturaManual, TurnsOnlyTheAutoExposureFlagOffAndTakesTheSeries)
{
    Result result = run(manual());
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.entries, frame_names());
    ASSERT_GE(result.calls.size(), 6u);
    auto read = fields(result.calls[4]);
    auto write = fields(result.calls[5]);
    EXPECT_EQ(read["call"], "fc2GetProperty");
    EXPECT_EQ(read["type"], "1");
    EXPECT_EQ(read["on_off"], "1");
    read["call"] = "fc2SetProperty";
    read["on_off"] = "0";
    EXPECT_EQ(read["cleared"], "1");
    read.erase("cleared");
    EXPECT_EQ(write, read);
    EXPECT_EQ(std::vector<std::string>(result.calls.begin() + 6, result.calls.end()),
              capture_calls());
}

TEST(CapturaManual, ARefusingCameraStillGetsTheWholeSeriesSilently)
{
    struct Case {
        const char *fail;
        size_t writes;
    };
    for (const Case &c : {Case{"fc2SetProperty=-21", 1}, Case{"fc2GetProperty=-20", 0}}) {
        SCOPED_TRACE(c.fail);
        Result result = run(manual(c.fail));
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(calls_of(result.calls, "fc2SetProperty").size(), c.writes);
        EXPECT_EQ(result.entries, frame_names());
    }
}

TEST(CapturaManual, FramesFollowTheExposureOnceAutoExposureIsOff)
{
    // At 2 ms with the gain left in auto mode, auto exposure makes up the light over a
    // series; switched off before it ever ran, the frames are as dark as 2 ms makes them.
    // Switched off after a series, the gain auto exposure chose stays, as on a camera.
    Launch set;
    set.program = "ajuste_exposicion";
    set.input = "2\n";
    Launch simple;
    simple.program = "captura_simple";
    Camera automatic, manual_first;
    ASSERT_EQ(automatic.run(set).status, 0);
    ASSERT_EQ(manual_first.run(set).status, 0);
    Grey compensated = decode_bmp(automatic.run(simple).files["0009.bmp"]);
    Grey kept = decode_bmp(automatic.run(manual()).files["0009.bmp"]);
    Grey dark = decode_bmp(manual_first.run(manual()).files["0009.bmp"]);
    ASSERT_EQ(compensated.error, "");
    ASSERT_EQ(kept.error, "");
    ASSERT_EQ(dark.error, "");
    EXPECT_LT(mean(dark) * 3, mean(compensated));
    EXPECT_NEAR(mean(kept), mean(compensated), 0.02 * mean(compensated));
}

} // namespace
