// The CAMSIM_* knobs: each parsed or refused with a reason, faults entry by entry.
#include "config.h"

#include <gtest/gtest.h>
#include <string>
#include <tuple>
#include <vector>

namespace
{

TEST(Knobs, ParseTheirValuesOrSayWhy)
{
    // Each knob's values accepted, then those refused (and so ignored when read from the
    // environment).
    struct Case {
        const char *name;
        std::vector<const char *> accepted, refused;
    };
    const Case cases[] = {
        {"CAMSIM_SENSOR",
         {"2048x1536"},
         {"2048x", "15x16", "16x9000", "16x15", "14x16", " 64x64", "big", "641x480", "0x0"}},
        {"CAMSIM_CAMERAS", {"0"}, {"17", "+1", "-1", "two"}},
        {"CAMSIM_FPS",
         {"0", "29.97", "0.01", "1000"},
         {"nan", "1e-300", "0.0099", "1001", "fast", "-5"}},
        {"CAMSIM_FAIL",
         {"fc2SaveImage@3=-1,fc2Connect=5", "", "fc2Connect=5,,fc2SaveImage=2,",
          "fc2RetrieveBuffer@3+=-13/500", "fc2Connect=5/0,fc2Connect=5/3600000"},
         {"fc2SaveImage@x=1", "fc2Connect=99999999999", "fc2Connect@+=5", "fc2Connect@+2=5",
          "fc2Connect=5/", "fc2Connect=5/1/2", "fc2Connect=5,fc2Conect=5", "fc2Connect=0",
          "fc2Connect@0=3", "fc2Connect", "fc2Connect+=1", "fc2Connect@2++=1", "fc2Connect=1/x",
          "fc2Connect=1/-5", "fc2Connect=1/3600001", "fc2Connect=/5"}},
        {"CAMSIM_LOG", {}, {""}},
        {"CAMSIM_SCENE", {"scene.pgm"}, {""}},
        {"CAMSIM_STAMP", {"0", "1"}, {"no", ""}},
        {"CAMSIM_UNPLUG", {"0:2000"}, {"150:", "1.5", "3600001"}},
    };
    for (const Case &c : cases)
        for (const bool accepted : {true, false})
            for (const char *value : accepted ? c.accepted : c.refused) {
                camsim::Config knobs;
                const std::string error = camsim::parse_knob(c.name, value, knobs);
                EXPECT_EQ(error.empty(), accepted) << c.name << "=" << value << ": " << error;
            }
}

TEST(Knobs, FaultsLastingAndSlowAreParsedAndABadEntryLeavesTheOthers)
{
    camsim::Config knobs;
    const std::string error =
        camsim::parse_knob("CAMSIM_FAIL",
                           "fc2RetrieveBuffer@3+=-13/500,fc2Conect=1,fc2SaveImage@3=-1,"
                           "fc2SaveImage=-2/7",
                           knobs);
    EXPECT_EQ(error, "entry 'fc2Conect=1': 'fc2Conect' is not one of the 13 operations");
    // Each entry as operation, nth call, onwards, code and delay.
    using Entry = std::tuple<std::string, unsigned, bool, int32_t, unsigned>;
    std::vector<Entry> parsed;
    for (const core::Fault &fault : knobs.calls.faults)
        parsed.emplace_back(core::name_of(fault.operation), fault.nth, fault.onwards, fault.code,
                            fault.delay_ms);
    EXPECT_EQ(parsed, (std::vector<Entry>{Entry{"fc2RetrieveBuffer", 3, true, -13, 500},
                                          Entry{"fc2SaveImage", 3, false, -1, 0},
                                          Entry{"fc2SaveImage", 0, false, -2, 7}}));
}

} // namespace
