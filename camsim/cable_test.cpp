// The cable's schedule in process: when the camera is away, which connections it breaks,
// and the call log's lines for each change.
#include "cable.h"

#include "process.h"

#include <gtest/gtest.h>

namespace
{

TEST(Cable, PulledAfterTheFirstConnectionAndBackAfterItsTimeAway)
{
    const std::string directory = process::temporary_directory("camsim-test");
    camsim::Config config;
    config.log_path = directory + "/calls";
    config.unplug = {true, 150, true, 200}; // away from 150 ms to 350 ms
    camsim::Cable cable(config);
    const camsim::Clock::time_point first = camsim::Clock::now();
    auto at = [first](int ms) { return first + std::chrono::milliseconds(ms); };
    EXPECT_TRUE(cable.plugged(at(1000))); // nothing counts before a connection
    cable.connected(first);
    cable.connected(at(100)); // the schedule counts from the first
    struct Case {
        int ms;
        bool plugged;
    };
    for (const Case &c : {Case{149, true}, Case{150, false}, Case{349, false}, Case{350, true}})
        EXPECT_EQ(cable.plugged(at(c.ms)), c.plugged) << c.ms << " ms";
    // Connections made before the pull break at it; one made after it is back holds.
    EXPECT_EQ(cable.breaks(first), at(150));
    EXPECT_EQ(cable.breaks(at(100)), at(150));
    EXPECT_EQ(cable.breaks(at(350)), camsim::Clock::time_point::max());
    EXPECT_EQ(process::read_file(config.log_path),
              "camera unplugged time=150.000\ncamera replugged time=350.000\n");
    process::remove_tree(directory);
}

} // namespace
