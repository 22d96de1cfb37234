// The cable's schedule in process: when the camera is away, which connections that breaks,
// and the call log's line for each change.
#include "cable.h"

#include "process.h"

#include <gtest/gtest.h>

TEST(Cable, PulledAfterTheFirstConnectionAndBackAfterItsTimeAway)
{
    const std::string directory = process::temporary_directory("camsim-test");
    camsim::Config config;
    config.calls.log_path = directory + "/calls";
    config.unplug = {true, 150, true, 200}; // away from 150 ms to 350 ms
    camsim::Cable cable(config);
    const auto first = camsim::Clock::now();
    auto at = [first](int ms) { return first + std::chrono::milliseconds(ms); };
    EXPECT_TRUE(cable.plugged(at(200))); // nothing counts before a connection
    cable.connected(first);
    cable.connected(at(100)); // the schedule counts from the first
    for (auto [ms, plugged] : {std::pair{149, true}, {150, false}, {349, false}, {350, true}})
        EXPECT_EQ(cable.plugged(at(ms)), plugged) << ms << " ms";
    EXPECT_EQ(cable.breaks(at(100)), at(150)); // a connection made before the pull
    EXPECT_EQ(cable.breaks(at(350)), camsim::Clock::time_point::max()); // one made after
    EXPECT_EQ(process::read_file(config.calls.log_path),
              "camera unplugged time=150.000\ncamera replugged time=350.000\n");
    process::remove_tree(directory);
}
