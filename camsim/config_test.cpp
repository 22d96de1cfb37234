// The CAMSIM_* knobs: each parsed or refused with a reason, faults entry by entry.
#include "config.h"

#include <gtest/gtest.h>
#include <string>

namespace
{

TEST(Knobs, ParseTheirValuesOrSayWhy)
{
    struct Case {
        const char *name, *value;
        bool accepted;
    };
    const Case cases[] = {
        {"CAMSIM_SENSOR", "2048x1536", true},
        {"CAMSIM_SENSOR", "2048x", false},
        {"CAMSIM_SENSOR", "15x16", false},
        {"CAMSIM_SENSOR", "16x9000", false},
        {"CAMSIM_CAMERAS", "0", true},
        {"CAMSIM_CAMERAS", "17", false},
        {"CAMSIM_FPS", "0", true},
        {"CAMSIM_FPS", "29.97", true},
        {"CAMSIM_FPS", "nan", false},
        {"CAMSIM_FPS", "1e-300", false},
        {"CAMSIM_FPS", "0.0099", false},
        {"CAMSIM_FPS", "0.01", true},
        {"CAMSIM_FPS", "1000", true},
        {"CAMSIM_FPS", "1001", false},
        {"CAMSIM_SENSOR", "16x15", false},
        {"CAMSIM_SENSOR", "14x16", false},
        {"CAMSIM_FAIL", "fc2SaveImage@3=-1,fc2Connect=5", true},
        {"CAMSIM_FAIL", "fc2SaveImage@x=1", false},
        {"CAMSIM_FAIL", "", true},
        {"CAMSIM_FAIL", "fc2Connect=5,,fc2SaveImage=2,", true},
        {"CAMSIM_FAIL", "fc2Connect=99999999999", false},
        {"CAMSIM_LOG", "", false},
        {"CAMSIM_FAIL", "fc2RetrieveBuffer@3+=-13/500", true},
        {"CAMSIM_FAIL", "fc2Connect=5/0,fc2Connect=5/3600000", true},
        {"CAMSIM_FAIL", "fc2Connect@+=5", false},
        {"CAMSIM_FAIL", "fc2Connect@+2=5", false},
        {"CAMSIM_CAMERAS", "+1", false},
        {"CAMSIM_SENSOR", " 64x64", false},
        {"CAMSIM_FAIL", "fc2Connect=5/", false},
        {"CAMSIM_FAIL", "fc2Connect=5/1/2", false},
        {"CAMSIM_FAIL", "fc2Connect=5,fc2Conect=5", false},
        {"CAMSIM_SCENE", "scene.pgm", true},
        {"CAMSIM_SCENE", "", false},
        {"CAMSIM_STAMP", "0", true},
        {"CAMSIM_STAMP", "1", true},
        {"CAMSIM_STAMP", "no", false},
        {"CAMSIM_STAMP", "", false},
        {"CAMSIM_UNPLUG", "0:2000", true},
        {"CAMSIM_UNPLUG", "150:", false},
        {"CAMSIM_UNPLUG", "1.5", false},
        {"CAMSIM_UNPLUG", "3600001", false},
        // Refused, and so ignored when read from the environment.
        {"CAMSIM_SENSOR", "big", false},
        {"CAMSIM_SENSOR", "641x480", false},
        {"CAMSIM_SENSOR", "0x0", false},
        {"CAMSIM_CAMERAS", "-1", false},
        {"CAMSIM_CAMERAS", "two", false},
        {"CAMSIM_FPS", "fast", false},
        {"CAMSIM_FPS", "-5", false},
        {"CAMSIM_FAIL", "fc2Connect=0", false},
        {"CAMSIM_FAIL", "fc2Connect@0=3", false},
        {"CAMSIM_FAIL", "fc2Connect", false},
        {"CAMSIM_FAIL", "fc2Connect+=1", false},
        {"CAMSIM_FAIL", "fc2Connect@2++=1", false},
        {"CAMSIM_FAIL", "fc2Connect=1/x", false},
        {"CAMSIM_FAIL", "fc2Connect=1/-5", false},
        {"CAMSIM_FAIL", "fc2Connect=1/3600001", false},
        {"CAMSIM_FAIL", "fc2Connect=/5", false},
    };
    for (const Case &c : cases) {
        camsim::Config knobs;
        std::string error = camsim::parse_knob(c.name, c.value, knobs);
        EXPECT_EQ(error.empty(), c.accepted) << c.name << "=" << c.value << ": " << error;
    }
    camsim::Config knobs;
    ASSERT_EQ(camsim::parse_knob("CAMSIM_FAIL", "fc2SaveImage@3=-1,fc2Connect=5", knobs), "");
    ASSERT_EQ(knobs.faults.size(), 2u);
    EXPECT_EQ(knobs.faults[0].operation, "fc2SaveImage");
    EXPECT_EQ(knobs.faults[0].nth, 3u);
    EXPECT_EQ(knobs.faults[0].code, -1);
    EXPECT_EQ(knobs.faults[1].nth, 0u);
}

TEST(Knobs, FaultsLastingAndSlowAreParsedAndABadEntryLeavesTheOthers)
{
    camsim::Config knobs;
    const std::string error = camsim::parse_knob(
        "CAMSIM_FAIL", "fc2RetrieveBuffer@3+=-13/500,fc2Conect=1,fc2SaveImage=-2/7", knobs);
    EXPECT_EQ(error, "entry 'fc2Conect=1': 'fc2Conect' is not one of the 13 operations");
    struct Expected {
        const char *operation;
        unsigned nth;
        bool onwards;
        int32_t code;
        unsigned delay_ms;
    };
    const Expected expected[] = {{"fc2RetrieveBuffer", 3, true, -13, 500},
                                 {"fc2SaveImage", 0, false, -2, 7}};
    ASSERT_EQ(knobs.faults.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(knobs.faults[i].operation, expected[i].operation);
        EXPECT_EQ(knobs.faults[i].nth, expected[i].nth);
        EXPECT_EQ(knobs.faults[i].onwards, expected[i].onwards);
        EXPECT_EQ(knobs.faults[i].code, expected[i].code);
        EXPECT_EQ(knobs.faults[i].delay_ms, expected[i].delay_ms);
    }
}

} // namespace
