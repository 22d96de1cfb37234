// The call log in process: a line appended per call, only ever to a regular file, and a log
// that cannot be written said once.
#include "call_log.h"
#include "harness.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

TEST(CallLog, IsARegularFileNeverALinkOrAFifoAndARefusedOneIsSaidOnce)
{
    const std::string dir = harness::temporary_directory("core-log");
    harness::write_file(dir + "/target", "");
    ASSERT_EQ(symlink("target", (dir + "/link").c_str()), 0);
    ASSERT_EQ(mkfifo((dir + "/fifo").c_str(), 0600), 0);
    // A reader on the FIFO, so that it opens for writing without waiting.
    const int reader = open((dir + "/fifo").c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    const std::pair<const char *, const char *> cases[] = {
        {"/log", ""},
        {"/link", "a symbolic link"},
        {"/fifo", "not a regular file"},
        {"/missing/log", "No such file or directory"},
    };
    for (const auto &[log, refusal] : cases) {
        SCOPED_TRACE(log);
        core::CallLayer layer{{}, dir + log, "cam", "CAM_LOG"};
        core::CallCounts counts;
        const std::string err = harness::capture_output(stderr, [&] {
            for (int call = 0; call < 2; ++call)
                core::Call(core::Operation::connect, layer, counts).finish(5, "serial=7");
        });
        EXPECT_EQ(err, *refusal == '\0'
                           ? ""
                           : "cam: ignoring CAM_LOG='" + layer.log_path + "': " + refusal + "\n");
    }
    EXPECT_EQ(harness::read_file(dir + "/log"),
              "fc2Connect serial=7 -> 5\nfc2Connect serial=7 -> 5\n");
    EXPECT_EQ(harness::read_file(dir + "/target"), "");
    char buffer[64];
    EXPECT_LE(read(reader, buffer, sizeof buffer), 0) << "written into the FIFO";
    close(reader);
    harness::remove_tree(dir);
}

} // namespace
