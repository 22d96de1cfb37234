// Replacing a file whole: the old file or the new under its name, and nothing else.
#include "files.h"
#include "harness.h"

#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace harness;

namespace
{

TEST(ReplaceFile, LeavesTheOldFileOrTheNewUnderItsNameAndNothingElse)
{
    struct Case {
        const char *what;
        std::function<void(const std::string &dir)> before;
        std::string written; // what the fill writes
        size_t size;         // what the file is said to hold
        bool replaced;       // and whether x is then the new file
        std::string left;    // bytes of x afterwards, when it is a file
    };
    const std::string fresh = "new bytes";
    const Case cases[] = {
        {"nothing there", [](const std::string &) {}, fresh, fresh.size(), true, fresh},
        {"a file there", [](const std::string &d) { write_file(d + "/x", "old"); }, fresh,
         fresh.size(), true, fresh},
        {"a link there, never followed",
         [](const std::string &d) {
             ASSERT_EQ(symlink((d + "/../outside").c_str(), (d + "/x").c_str()), 0);
         },
         fresh, fresh.size(), true, fresh},
        {"what a killed process left beside it",
         [](const std::string &d) {
             write_file(d + "/x", "old");
             // A process that is gone: its number is not given again this soon.
             const pid_t gone = fork();
             if (gone == 0)
                 _exit(0);
             ASSERT_GT(gone, 0);
             waitpid(gone, nullptr, 0);
             write_file(d + "/" + camsim::incoming_name("x", gone), "stale");
             write_file(d + "/" + camsim::incoming_name("x", getpid()), "stale");
         },
         fresh, fresh.size(), true, fresh},
        {"a directory there",
         [](const std::string &d) { ASSERT_EQ(mkdir((d + "/x").c_str(), 0700), 0); }, fresh,
         fresh.size(), false, ""},
        {"a short fill", [](const std::string &d) { write_file(d + "/x", "old"); }, "new",
         fresh.size(), false, "old"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const std::string root = temporary_directory("camkit-replace");
        const std::string dir = root + "/d";
        ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
        write_file(root + "/outside", "outside");
        c.before(dir);
        const bool replaced = camsim::replace_file(dir + "/x", 0640, c.size, [&c](int fd) {
            return camsim::write_all(fd, c.written.data(), c.written.size());
        });
        camsim::finish_freeing();
        EXPECT_EQ(replaced, c.replaced);
        EXPECT_EQ(directory_entries(dir), std::set<std::string>{"x"});
        EXPECT_EQ(read_file(root + "/outside"), "outside");
        struct stat info;
        ASSERT_EQ(lstat((dir + "/x").c_str(), &info), 0);
        if (!c.left.empty()) {
            EXPECT_EQ(read_file(dir + "/x"), c.left);
            if (c.replaced) {
                EXPECT_EQ(info.st_mode, static_cast<mode_t>(S_IFREG | 0640));
            }
        }
        remove_tree(root);
    }
}

} // namespace
