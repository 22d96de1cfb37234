// Files replaced whole, in process: the named fallback, saves of one name at once, long names,
// the freeing thread's signals, and frames created under the umask.
#include "files.h"
#include "harness.h"
#include "image.h"

#include <atomic>
#include <climits>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace harness;

namespace
{

// The value of `key` in a /proc status file.
std::string status_of(const std::string &path, const std::string &key)
{
    const std::string status = read_file(path);
    const size_t at = status.find(key + ":\t") + key.size() + 2;
    return status.substr(at, status.find('\n', at) - at);
}

bool write_x(int fd)
{
    return camsim::write_all(fd, "new", 3);
}

TEST(ReplaceFile, TheNamedFallbackHoldsSignalsAndIsSweptLikeTheUnnamedFile)
{
    const std::string dir = temporary_directory("camkit-files");
    const pid_t gone = fork();
    if (gone == 0)
        _exit(0);
    waitpid(gone, nullptr, 0);
    const std::string live = camsim::incoming_name("x", 1); // init's, never removed
    for (const std::string &name : {camsim::incoming_name("x", gone, 3), live,
                                    camsim::incoming_name("x", getpid(), ULLONG_MAX)})
        write_file(dir + "/" + name, "stale");
    std::set<std::string> during;
    bool held = false;
    const auto fill = [&](int fd) {
        sigset_t mask;
        pthread_sigmask(SIG_BLOCK, nullptr, &mask);
        held = sigismember(&mask, SIGINT) && sigismember(&mask, SIGTERM);
        during = directory_entries(dir);
        return write_x(fd);
    };
    EXPECT_TRUE(camsim::replace_file(dir + "/x", 0640, 3, fill, camsim::Temporary::named));
    EXPECT_TRUE(held);
    during.erase(live);
    ASSERT_EQ(during.size(), 1u); // the temporary of this save, after the sweep
    EXPECT_EQ(during.begin()->rfind(".x.camsim-new." + std::to_string(getpid()) + ".", 0), 0u);
    EXPECT_EQ(directory_entries(dir), (std::set<std::string>{"x", live}));
    EXPECT_EQ(read_file(dir + "/x"), "new");
    remove_tree(dir);
}

TEST(ReplaceFile, SavesOfOneNameAtOnceAndOfTheLongestNamesReplaceTheFile)
{
    EXPECT_LE(camsim::incoming_name(std::string(NAME_MAX, 'n'), INT_MAX, ULLONG_MAX).size(),
              static_cast<size_t>(NAME_MAX));
    for (const camsim::Temporary temporary : {camsim::Temporary::unnamed, camsim::Temporary::named})
        for (const std::string &name :
             {std::string("x"), std::string(238, 'n'), std::string(NAME_MAX, 'n')}) {
            SCOPED_TRACE(std::to_string(name.size()) +
                         (temporary == camsim::Temporary::named ? " named" : ""));
            const std::string dir = temporary_directory("camkit-files");
            std::atomic<int> failed{0};
            std::vector<std::thread> threads;
            for (int t = 0; t < 4; ++t)
                threads.emplace_back([&] {
                    for (int i = 0; i < 25; ++i)
                        failed +=
                            !camsim::replace_file(dir + "/" + name, 0640, 3, write_x, temporary);
                });
            for (std::thread &thread : threads)
                thread.join();
            EXPECT_EQ(failed, 0);
            EXPECT_EQ(directory_entries(dir), std::set<std::string>{name});
            remove_tree(dir);
        }
}

TEST(ReplaceFile, TheThreadThatFreesReplacedFilesHoldsEverySignal)
{
    const std::string dir = temporary_directory("camkit-files");
    write_file(dir + "/x", "old");
    ASSERT_TRUE(camsim::replace_file(dir + "/x", 0640, 3, write_x));
    camsim::finish_freeing();
    int found = 0;
    for (const std::string &task : directory_entries("/proc/self/task"))
        if (read_file("/proc/self/task/" + task + "/comm") == "camsim-freeing\n") {
            ++found;
            const auto blocked = std::stoull(
                status_of("/proc/self/task/" + task + "/status", "SigBlk"), nullptr, 16);
            for (int signal : {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGUSR1})
                EXPECT_TRUE(blocked >> (signal - 1) & 1) << signal;
        }
    EXPECT_EQ(found, 1);
    remove_tree(dir);
}

TEST(SaveBmp, FramesSavedAtOnceTakeTheUmaskAndLeaveIt)
{
    const mode_t saved = umask(022);
    const std::string dir = temporary_directory("camkit-files");
    camsim::Image grey;
    grey.layout = camsim::PixelLayout::mono8;
    grey.width = grey.height = grey.stride = 4;
    grey.pixels.assign(16, 50);
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 20; ++i)
                EXPECT_EQ(camsim::save_bmp(grey, dir + "/" + std::to_string(t * 100 + i)),
                          camsim::ok);
        });
    for (std::thread &thread : threads)
        thread.join();
    EXPECT_EQ(status_of("/proc/self/status", "Umask"), "0022");
    for (const std::string &name : directory_entries(dir)) {
        struct stat info;
        ASSERT_EQ(stat((dir + "/" + name).c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, 0644u) << name;
    }
    umask(saved);
    remove_tree(dir);
}

} // namespace
