// Replacing a file whole: the old file or the new under its name and nothing else, the
// freeing thread's signals, the named fallback, saves of one name at once, long names, and
// frames created under the umask.
#include "bmp_file.h"
#include "files.h"
#include "harness.h"
#include "incoming_names.h"

#include <atomic>
#include <climits>
#include <csignal>
#include <cstddef>
#include <cstring>
#include <gtest/gtest.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
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
             write_file(d + "/" + core::incoming_name("x", gone), "stale");
             write_file(d + "/" + core::incoming_name("x", getpid()), "stale");
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
        const size_t open_before = directory_entries("/proc/self/fd").size();
        const bool replaced = core::replace_file(dir + "/x", 0640, c.size, [&c](int fd) {
            return core::write_all(fd, c.written.data(), c.written.size());
        });
        core::finish_freeing(); // the replaced file's descriptor closed with it
        EXPECT_EQ(directory_entries("/proc/self/fd").size(), open_before);
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
    // The thread that freed the replaced files holds every signal.
    int found = 0;
    for (const std::string &task : directory_entries("/proc/self/task"))
        if (read_file("/proc/self/task/" + task + "/comm") == "camsim-freeing\n") {
            ++found;
            const std::string status = read_file("/proc/self/task/" + task + "/status");
            const auto blocked =
                std::stoull(status.substr(status.find("SigBlk:") + 7), nullptr, 16);
            for (int signal : {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGUSR1})
                EXPECT_TRUE(blocked >> (signal - 1) & 1) << signal;
        }
    EXPECT_EQ(found, 1);
}

bool write_x(int fd)
{
    return core::write_all(fd, "new", 3);
}

TEST(ReplaceFile, TheNamedFallbackHoldsSignalsAndIsSweptLikeTheUnnamedFile)
{
    const std::string dir = temporary_directory("camkit-files");
    const std::string live = core::incoming_name("x", 1); // init's, kept
    // A name with nothing before the mark is not one a save gives: a user's, kept.
    const std::string users = ".camsim-new." + std::to_string(INT_MAX);
    // A live process of ours, which any signal but SIGKILL would end: sent none.
    const pid_t child = fork();
    if (child == 0) {
        pause();
        _exit(0);
    }
    const std::string childs = core::incoming_name("x", child);
    // Left by a process that is gone (no process has the largest number) and by an earlier
    // process with this one's number.
    for (const std::string &name : {core::incoming_name("x", INT_MAX), live, users, childs,
                                    core::incoming_name("x", getpid(), ULLONG_MAX)})
        write_file(dir + "/" + name, "stale");
    sigset_t before{}, after{};
    pthread_sigmask(SIG_BLOCK, nullptr, &before);
    std::set<std::string> during;
    bool held = false;
    const auto fill = [&](int fd) {
        sigset_t mask;
        pthread_sigmask(SIG_BLOCK, nullptr, &mask);
        held = sigismember(&mask, SIGINT) && sigismember(&mask, SIGTERM);
        during = directory_entries(dir);
        return write_x(fd);
    };
    EXPECT_TRUE(core::replace_file(dir + "/x", 0640, 3, fill, core::Temporary::named));
    EXPECT_TRUE(held);
    pthread_sigmask(SIG_BLOCK, nullptr, &after);
    for (int signal = 1; signal < 65; ++signal) // the save put the mask back as it was
        EXPECT_EQ(sigismember(&before, signal), sigismember(&after, signal)) << signal;
    for (const std::string &kept : {live, users, childs})
        during.erase(kept);
    ASSERT_EQ(during.size(), 1u); // the temporary of this save, after the sweep
    const std::string temporary = *during.begin();
    EXPECT_EQ(temporary.rfind(".x.camsim-new." + std::to_string(getpid()) + ".", 0), 0u);
    const std::set<std::string> left{"x", live, users, childs};
    EXPECT_EQ(directory_entries(dir), left);
    EXPECT_EQ(read_file(dir + "/x"), "new");
    // A leftover with this process's number and its next save's is replaced, and saved over.
    const uint64_t next = std::stoull(temporary.substr(temporary.rfind('.') + 1)) + 1;
    write_file(dir + "/" + core::incoming_name("x", getpid(), next), "stale");
    EXPECT_TRUE(core::replace_file(dir + "/x", 0640, 3, write_x, core::Temporary::named));
    EXPECT_EQ(directory_entries(dir), left);
    kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "sent another signal";
    remove_tree(dir);
}

TEST(ReplaceFile, SavesOfOneNameAtOnceAndOfTheLongestNamesReplaceTheFile)
{
    EXPECT_LE(core::incoming_name(std::string(NAME_MAX, 'n'), INT_MAX, ULLONG_MAX).size(),
              static_cast<size_t>(NAME_MAX));
    for (const core::Temporary temporary : {core::Temporary::unnamed, core::Temporary::named})
        for (const std::string &name :
             {std::string("x"), std::string(238, 'n'), std::string(NAME_MAX, 'n')}) {
            SCOPED_TRACE(std::to_string(name.size()) +
                         (temporary == core::Temporary::named ? " named" : ""));
            const std::string dir = temporary_directory("camkit-files");
            std::atomic<int> failed{0};
            std::vector<std::thread> threads;
            for (int t = 0; t < 4; ++t)
                threads.emplace_back([&] {
                    for (int i = 0; i < 25; ++i)
                        failed +=
                            !core::replace_file(dir + "/" + name, 0640, 3, write_x, temporary);
                });
            for (std::thread &thread : threads)
                thread.join();
            EXPECT_EQ(failed, 0);
            EXPECT_EQ(directory_entries(dir), std::set<std::string>{name});
            remove_tree(dir);
        }
}

// On a nearly full disk a file is replaced whenever it fits beside the old one: the room of
// the file replaced just before, still being freed, is waited for rather than refused.
TEST(ReplaceFile, OnANearlyFullDiskWaitsForTheRoomOfTheFileReplacedBefore)
{
    const std::string dir = temporary_directory("core-full");
    int failed = -1;
    std::string why;
    // A tmpfs with room for two files, mounted in a mount namespace of this thread alone.
    std::thread([&] {
        if (unshare(CLONE_NEWNS) != 0 ||
            mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) ||
            mount("tmpfs", dir.c_str(), "tmpfs", 0, "size=5m") != 0) {
            why = std::string("no tmpfs of its own (needs root): ") + std::strerror(errno);
            return;
        }
        const std::string bytes(2 << 20, 'f');
        failed = 0;
        for (int i = 0; i < 40; ++i)
            failed += !core::replace_file(dir + "/x", 0644, bytes.size(), [&bytes](int fd) {
                return core::write_all(fd, bytes.data(), bytes.size());
            });
        core::finish_freeing();
    }).join();
    remove_tree(dir);
    if (failed < 0)
        GTEST_SKIP() << why;
    EXPECT_EQ(failed, 0) << "replacements refused for lack of room";
}

TEST(SaveBmp, AFrameTakesTheUmaskWhichASaveNeverSets)
{
    const mode_t saved = umask(022);
    const std::string dir = temporary_directory("camkit-files");
    core::Image grey;
    grey.format = core::PixelFormat::mono8;
    grey.width = grey.height = grey.stride = 4;
    grey.pixels.assign(16, 50);
    // Saved in a child that any umask call kills: a save that set the umask, even for a moment,
    // would change it for every thread saving at the time.
    const pid_t child = fork();
    if (child == 0) {
        sock_filter filter[] = {
            BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
            BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_umask, 0, 1),
            BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_KILL_PROCESS),
            BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        };
        const sock_fprog program{4, filter};
        _exit(prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
                      prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0
                  ? 2
              : core::save_bmp(grey, dir + "/frame.bmp") == core::ok ? 0
                                                                     : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(status, 0) << "1: not saved, 2: no filter, else signal " << WTERMSIG(status);
    struct stat info;
    ASSERT_EQ(stat((dir + "/frame.bmp").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0644u);
    umask(saved);
    remove_tree(dir);
}

} // namespace
