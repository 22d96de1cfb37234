// Auto exposure in process: the brightness frames settle at, the values it settles on and
// its steps frame by frame.
#include "auto_exposure.h"
#include "harness.h"
#include "simulated_camera_test.h"

#include <cmath>
#include <vector>

using namespace camsim_test;

namespace
{

TEST(Brightness, FollowsExposureTimesGainUnlessAutoExposureRuns)
{
    struct Case {
        int auto_on, shutter_auto, gain_auto;
        float shutter, gain;
        double brightness;
    };
    const Case cases[] = {
        {1, 1, 1, 2, 0, 1.0}, // factory: normalised
        {1, 0, 1, 2, 0, 1.0}, // gain still makes up the light
        {1, 0, 0, 2, 0, 0.2}, // both manual
        {0, 1, 1, 2, 0, 0.2}, // auto exposure off
        {0, 0, 0, 20, 6, 2.0 * std::pow(10.0, 6 / 20.0)},
    };
    const camsim::Scene built_in(camsim::default_config(""));
    for (const Case &c : cases) {
        camsim::Settings settings = camsim::factory_settings();
        settings.find(PROPERTY_AUTO_EXPOSURE)->on_off = c.auto_on;
        settings.find(PROPERTY_SHUTTER)->auto_manual_mode = c.shutter_auto;
        settings.find(PROPERTY_GAIN)->auto_manual_mode = c.gain_auto;
        settings.find(PROPERTY_SHUTTER)->absolute_value = c.shutter;
        settings.find(PROPERTY_GAIN)->absolute_value = c.gain;
        EXPECT_NEAR(camsim::frame_brightness(settings, built_in, 0), c.brightness, 1e-6);
    }
}

// A record written as the camera's manual or auto mode, with a value.
camera_property setting(property_type type, int auto_mode, float value, int on = 1)
{
    camera_property record{};
    record.type = type;
    record.present = record.absolute_control = 1;
    record.on_off = on;
    record.auto_manual_mode = auto_mode;
    record.absolute_value = value;
    return record;
}

TEST_F(SimulatedCamera, AutoExposureSettlesOnTheTargetPreferringTheShutter)
{
    struct Case {
        const char *what;
        camera_property written[3];
        float shutter, gain;    // as read back
        const char *scene = ""; // in the test's directory; empty: the built-in scene
        double fps = 0;
    };
    harness::write_file(directory + "/dark.pgm", "P5 4 4 255\n" + std::string(16, '\2'));
    const Case cases[] = {
        {"factory", {}, 10.0f, 0.0f},
        {"EV +1 doubles the light", {setting(PROPERTY_AUTO_EXPOSURE, 0, 1.0f)}, 20.0f, 0.0f},
        {"EV -1 halves it", {setting(PROPERTY_AUTO_EXPOSURE, 0, -1.0f)}, 5.0f, 0.0f},
        {"EV +2: the longest shutter, then gain",
         {setting(PROPERTY_AUTO_EXPOSURE, 0, 2.0f)},
         33.3f,
         static_cast<float>(20 * std::log10(40 / 33.3))},
        {"a manual shutter: gain makes up the light",
         {setting(PROPERTY_SHUTTER, 0, 2.0f)},
         2.0f,
         static_cast<float>(20 * std::log10(5.0))},
        {"a manual gain: the shutter makes up the light",
         {setting(PROPERTY_GAIN, 0, 12.0f)},
         2.51f,
         12.0f},
        {"auto exposure off: the values as last set",
         {setting(PROPERTY_SHUTTER, 1, 3.0f), setting(PROPERTY_GAIN, 1, 6.0f),
          setting(PROPERTY_AUTO_EXPOSURE, 1, 0.0f, 0)},
         3.0f,
         6.0f},
        // No further than the gain range and the frame time.
        {"a dark scene: the longest shutter, all the gain",
         {setting(PROPERTY_AUTO_EXPOSURE, 0, 0.0f)},
         33.3f,
         24.0f,
         "/dark.pgm"},
        {"EV +1 at 100 fps: a frame's time, then gain",
         {setting(PROPERTY_AUTO_EXPOSURE, 0, 1.0f)},
         10.0f,
         static_cast<float>(20 * std::log10(2.0)),
         "",
         100},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        camsim::Config config = small_camera(directory);
        config.scene_path = *c.scene == '\0' ? "" : directory + c.scene;
        config.fps = c.fps;
        camsim::Simulator camera(config);
        TearDown(); // a camera at factory settings for each case
        context = connected(camera);
        for (camera_property written : c.written) {
            if (written.type != 0) {
                ASSERT_EQ(core::set_property(context, &written), 0);
            }
        }
        stream_frames();
        EXPECT_NEAR(read(PROPERTY_SHUTTER).absolute_value, c.shutter, 1e-5);
        EXPECT_NEAR(read(PROPERTY_GAIN).absolute_value, c.gain, 1e-5);
        EXPECT_EQ(core::destroy_context(context), 0);
    }
}

TEST_F(SimulatedCamera, AutoExposureMovesFrameByFrameAndReportsWhatItChose)
{
    // Each run starts from the values the camera holds and converges on its target; what a
    // read reports while streaming is the last frame's value.
    struct Case {
        const char *what;
        camera_property written;
        property_type moving;
        float first, last; // the first and the tenth frame's value
    };
    const double gain_for_2ms = 20 * std::log10(5.0);
    const Case cases[] = {
        {"a 2 ms shutter: the gain climbs", setting(PROPERTY_SHUTTER, 0, 2.0f), PROPERTY_GAIN, 0.0f,
         static_cast<float>(gain_for_2ms)},
        {"12 dB of gain: the shutter shortens", setting(PROPERTY_GAIN, 0, 12.0f), PROPERTY_SHUTTER,
         10.0f, 2.51f},
        {"EV +1: the shutter lengthens", setting(PROPERTY_AUTO_EXPOSURE, 0, 1.0f), PROPERTY_SHUTTER,
         10.0f, 20.0f},
    };
    image_record raw{};
    ASSERT_EQ(core::create_image(&raw), 0);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        TearDown();
        SetUp();
        camera_property written = c.written;
        ASSERT_EQ(core::set_property(context, &written), 0);
        ASSERT_EQ(core::start_capture(context), 0);
        std::vector<float> seen;
        for (int frame = 0; frame < 12; ++frame) {
            ASSERT_EQ(retrieve(context, &raw), 0);
            seen.push_back(read(c.moving).absolute_value);
        }
        EXPECT_EQ(seen[0], c.first);
        for (int frame = 1; frame < 6; ++frame) // a step each frame, the same way
            EXPECT_GT((seen[frame] - seen[frame - 1]) * (c.last - c.first), 0.0f)
                << "frame " << frame;
        EXPECT_NEAR(seen[9], c.last, std::fabs(c.last - c.first) * 0.01); // within 1 %
        EXPECT_NEAR(seen[11], c.last, 1e-5);                              // settled
        EXPECT_EQ(core::stop_capture(context), 0);
    }
}

TEST_F(SimulatedCamera, AutoExposureFollowsASettingChangedWhileStreaming)
{
    image_record raw{};
    ASSERT_EQ(core::create_image(&raw), 0);
    ASSERT_EQ(core::start_capture(context), 0);
    for (int frame = 0; frame < 3; ++frame)
        ASSERT_EQ(retrieve(context, &raw), 0);
    EXPECT_EQ(read(PROPERTY_SHUTTER).absolute_value, 10.0f); // settled from the start
    ASSERT_EQ(write_absolute(PROPERTY_GAIN, 6.0f), 0);
    // The next frame still has the old shutter at the new gain; then the shutter shortens
    // towards 10 ms / 6 dB.
    std::vector<float> seen;
    for (int frame = 0; frame < 12; ++frame) {
        ASSERT_EQ(retrieve(context, &raw), 0);
        seen.push_back(read(PROPERTY_SHUTTER).absolute_value);
    }
    EXPECT_EQ(seen[0], 10.0f);
    EXPECT_LT(seen[1], seen[0]);
    EXPECT_LT(seen[2], seen[1]);
    EXPECT_GT(seen[2], 5.01f);
    EXPECT_EQ(seen[11], 5.01f); // 10 / 10^(6/20) in whole lines
    EXPECT_EQ(core::stop_capture(context), 0);
}

} // namespace
