// The state file in process: settings outlive the context, its standard place.
#include "harness.h"
#include "simulated_camera_test.h"
#include "state_file.h"

#include <fcntl.h>
#include <map>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>

using namespace camsim_test;

namespace
{

TEST_F(SimulatedCamera, SettingsOutliveTheContext)
{
    // A property as a context made after the write reads it.
    auto read_elsewhere = [this](property_type type) {
        camera_context second = connected(simulator);
        camera_property property{};
        property.type = type;
        EXPECT_EQ(core::get_property(second, &property), 0);
        EXPECT_EQ(core::destroy_context(second), 0);
        return property;
    };
    ASSERT_EQ(write_absolute(PROPERTY_GAIN, 7.5f), 0);
    const camera_property gain = read_elsewhere(PROPERTY_GAIN);
    EXPECT_EQ(gain.absolute_value, 7.5f);
    EXPECT_EQ(gain.auto_manual_mode, 0);
    const int input = dup(0); // read on descriptor 0, as a program without standard input does
    close(0);
    const float held = read(PROPERTY_GAIN).absolute_value;
    dup2(input, 0);
    close(input);
    EXPECT_EQ(held, 7.5f);
    // The shutter stays in auto mode, at 10 ms until auto exposure runs; a capture shortens
    // it to 10 ms / 7.5 dB (in whole lines) to make up for the gain, and the camera keeps
    // that when capture stops, for this context and any other.
    camera_property shutter = read(PROPERTY_SHUTTER);
    EXPECT_EQ(shutter.auto_manual_mode, 1);
    EXPECT_EQ(shutter.absolute_value, 10.0f);
    stream_frames();
    EXPECT_EQ(read(PROPERTY_SHUTTER).absolute_value, 4.22f);
    const camera_property kept = read_elsewhere(PROPERTY_SHUTTER);
    EXPECT_EQ(kept.absolute_value, 4.22f);
    EXPECT_EQ(kept.auto_manual_mode, 1);
    // It keeps them too when the context is destroyed while capturing.
    ASSERT_EQ(write_absolute(PROPERTY_GAIN, 12.0f), 0);
    stream_frames(16, false);
    EXPECT_EQ(read_elsewhere(PROPERTY_SHUTTER).absolute_value, 2.51f);
    ASSERT_EQ(core::create_context(simulator, &context), 0); // for TearDown
}

TEST_F(SimulatedCamera, ADamagedStateFileReadsAsFactorySettings)
{
    const char *damaged[] = {
        "", "garbage\n", "camsim-state 1\n0 12 1 1 0 1 0 2520 0\n",
        "camsim-state 1\n0 12 1 1 0 1 0 2520 0 nan 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0\n",
        "camsim-state 1\n0 99 1 1 0 1 0 2520 0 5 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0\n",
        // Values the camera could not hold.
        "camsim-state 1\n0 12 1 1 0 1 0 2520 0 1e30 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0\n",
        "camsim-state 1\n0 13 1 1 0 1 0 0 0 -50 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0\n",
        // A valid gain of 5 dB is not kept either: a value out of range makes the file damaged.
        "camsim-state 1\n0 13 1 1 0 1 0 853 0 5 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0\n"
        "0 12 1 1 0 1 0 2520 0 1e30 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0\n",
        // Another format, and a line with a field more than this one has.
        "camsim-state 2\n0 12 1 1 0 1 0 2520 0 5 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0\n",
        "camsim-state 1\n0 12 1 1 0 1 0 2520 0 5 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0\n"};
    for (const char *content : damaged) {
        SCOPED_TRACE(content);
        harness::write_file(state_path, content);
        EXPECT_EQ(read(PROPERTY_SHUTTER).absolute_value, 10.0f);
        EXPECT_EQ(read(PROPERTY_GAIN).absolute_value, 0.0f);
        ASSERT_EQ(write_absolute(PROPERTY_GAIN, 4.0f), 0); // and a write replaces it
        EXPECT_EQ(read(PROPERTY_GAIN).absolute_value, 4.0f);
    }
}

TEST_F(SimulatedCamera, TheLockIsTheUsersAloneAndAWriteWaitsForItOnlySoLong)
{
    const std::string lock_path = state_path + ".lock";
    ASSERT_EQ(write_absolute(PROPERTY_GAIN, 3.0f), 0);
    struct stat info {
    };
    ASSERT_EQ(stat(lock_path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    // Another process holding the lock, as this description of the file does.
    camsim::Config config = small_camera(directory);
    config.state.lock_wait_ms = 50;
    camsim::Simulator impatient(config);
    camera_context other = connected(impatient);
    camera_property gain = read(PROPERTY_GAIN);
    gain.absolute_value = 6.0f;
    const int holder = open(lock_path.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_EQ(flock(holder, LOCK_EX), 0);
    EXPECT_EQ(harness::capture_output(
                  stderr, [&] { EXPECT_EQ(core::set_property(other, &gain), camsim::failed); }),
              "camsim: state file '" + state_path + "' not written: lock file '" + lock_path +
                  "' held by another process for 0.05 s\n");
    close(holder);
    EXPECT_EQ(read(PROPERTY_GAIN).absolute_value, 3.0f);
    EXPECT_EQ(core::set_property(other, &gain), 0);
    EXPECT_EQ(read(PROPERTY_GAIN).absolute_value, 6.0f);
    EXPECT_EQ(core::destroy_context(other), 0);
}

TEST(StatePath, IsInTheRuntimeDirectoryElseInTheUsersStateHomeMadeTheirsElseInAPrivateOneInTmp)
{
    const std::string home = harness::temporary_directory("camsim-home"), other = home + "/other";
    const std::string in_home = home + "/.local/state/camsim/camsim.state",
                      in_tmp = "/tmp/camsim-" + std::to_string(getuid()) + "/camsim.state";
    ASSERT_EQ(mkdir(other.c_str(), 0755), 0);
    const std::string others = chown(other.c_str(), 65534, 65534) == 0 ? other : "/"; // not ours
    struct Case {
        std::map<std::string, std::string> environment;
        std::string path, err = "";
    };
    const Case cases[] = {
        {{{"XDG_RUNTIME_DIR", "/run/user/7"}, {"HOME", home}}, "/run/user/7/camsim.state"},
        {{{"XDG_RUNTIME_DIR", "relative/dir"}, {"HOME", home + "/"}}, in_home},
        {{{"HOME", home}, {"XDG_STATE_HOME", "/s/"}}, "/s/camsim/camsim.state"},
        {{{"HOME", home}, {"XDG_STATE_HOME", "s"}}, in_home},
        {{{"HOME", home}, {"CAMSIM_STATE", "/s/f"}}, "/s/f"},
        {{{"HOME", home}, {"CAMSIM_STATE", ""}},
         in_home,
         "camsim: ignoring CAMSIM_STATE='': expected a file path\n"},
        {{{"CAMSIM_LOG", ""}}, in_tmp, "camsim: ignoring CAMSIM_LOG='': expected a file path\n"},
        {{{"HOME", "relative"}, {"XDG_STATE_HOME", "/s"}}, in_tmp},
        {{{"HOME", home + "/missing"}}, in_tmp},
        {{{"HOME", others}}, in_tmp},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.environment));
        const camsim::Lookup lookup = [&c](const char *name) {
            auto found = c.environment.find(name);
            return found == c.environment.end() ? nullptr : found->second.c_str();
        };
        camsim::Config config;
        EXPECT_EQ(harness::capture_output(stderr, [&] { config = camsim::read_config(lookup); }),
                  c.err);
        EXPECT_EQ(config.state.path, c.path);
        if (c.path == in_home) { // made at the first write, the user's alone
            camsim::keep_auto_values(config.state, 0, 5.0, 0.0); // changes the file once
            struct stat made {
            };
            EXPECT_EQ(stat((home + "/.local/state/camsim").c_str(), &made), 0);
            EXPECT_EQ(made.st_mode & 07777, 0700u);
        }
    }
    harness::remove_tree(home);
}

} // namespace
