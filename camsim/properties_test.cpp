// Properties in process: values clamped to their ranges and quantised, members passed
// through as the camera holds them.
#include "properties.h"
#include "simulated_camera_test.h"

#include <cmath>
#include <string>

using namespace camsim_test;

namespace
{

TEST_F(SimulatedCamera, AbsoluteValuesAreClampedToThePropertyRange)
{
    struct Clamp {
        property_type type;
        float written, held;
    };
    const Clamp cases[] = {{PROPERTY_SHUTTER, 20.5f, 20.5f},
                           {PROPERTY_SHUTTER, 100.0f, 33.3f},
                           {PROPERTY_SHUTTER, -5.0f, 0.01f},
                           {PROPERTY_GAIN, 30.0f, 24.0f},
                           {PROPERTY_GAIN, -3.0f, 0.0f},
                           {PROPERTY_GAIN, 7.123456f, 7.123456f}, // kept to the last bit
                           {PROPERTY_AUTO_EXPOSURE, 1.0f, 1.0f},
                           {PROPERTY_GAIN, 12.4f, 12.4f},
                           {PROPERTY_AUTO_EXPOSURE, 5.0f, 2.0f},
                           // The shutter opens for whole lines of 10 microseconds.
                           {PROPERTY_SHUTTER, 12.345f, 12.35f},
                           {PROPERTY_SHUTTER, 33.1f, 33.1f},
                           {PROPERTY_SHUTTER, 0.014f, 0.01f},
                           {PROPERTY_SHUTTER, 0.016f, 0.02f},
                           {PROPERTY_SHUTTER, 10.0f, 10.0f}};
    for (const Clamp &c : cases) {
        SCOPED_TRACE(std::to_string(c.type) + " " + std::to_string(c.written));
        ASSERT_EQ(write_absolute(c.type, c.written), 0);
        camera_property held = read(c.type);
        EXPECT_EQ(held.absolute_value, c.held);
        EXPECT_EQ(held.present, 1);
        EXPECT_EQ(held.auto_manual_mode, 0);
        const camsim::PropertyRange &range = *camsim::find_range(c.type); // raw: 0 to 4095
        EXPECT_EQ(held.integer_value_a, std::lround((double{c.held} - range.min) /
                                                    (double{range.max} - range.min) * 4095));
    }
    EXPECT_EQ(write_absolute(PROPERTY_SHUTTER, NAN), camsim::invalid_parameter);
    EXPECT_EQ(write_absolute(PROPERTY_GAIN, INFINITY), camsim::invalid_parameter);
    EXPECT_EQ(read(PROPERTY_GAIN).absolute_value, 12.4f);
}

TEST_F(SimulatedCamera, PassThroughMembersComeBackAsTheCameraHoldsThem)
{
    camera_property before = read(PROPERTY_SHUTTER);
    EXPECT_EQ(before.auto_manual_mode, 1); // factory: automatic
    EXPECT_EQ(before.absolute_value, 10.0f);
    camera_property written = before;
    written.integer_value_b = 77;
    written.reserved[3] = 99; // reserved words belong to the camera
    written.one_push = 1;     // an adjustment over by the time it is read back
    written.absolute_control = 1;
    written.auto_manual_mode = 0;
    written.absolute_value = 20.5f;
    ASSERT_EQ(core::set_property(context, &written), 0);
    camera_property after = read(PROPERTY_SHUTTER);
    EXPECT_EQ(after.integer_value_b, 77u);
    EXPECT_EQ(after.reserved[3], 0u);
    EXPECT_EQ(after.one_push, 0);
    EXPECT_EQ(after.absolute_value, 20.5f);
    EXPECT_NE(after.integer_value_a,
              before.integer_value_a); // the raw value follows the absolute one
    // Without absolute control the raw value is the setting.
    after.absolute_control = 0;
    after.integer_value_a = 4095;
    ASSERT_EQ(core::set_property(context, &after), 0);
    EXPECT_EQ(read(PROPERTY_SHUTTER).absolute_value, 33.3f);
    after.integer_value_a = 5000; // beyond the raw range
    ASSERT_EQ(core::set_property(context, &after), 0);
    EXPECT_EQ(read(PROPERTY_SHUTTER).integer_value_a, 4095u);
}

} // namespace
