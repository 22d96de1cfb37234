// Temporary directories, and following a program to its end with its peak memory.
#include "process.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ftw.h>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace process
{
namespace
{

double milliseconds(const timeval &t)
{
    return t.tv_sec * 1e3 + t.tv_usec / 1e3;
}

long vm_hwm_kb(pid_t pid)
{
    std::istringstream status(read_file("/proc/" + std::to_string(pid) + "/status"));
    std::string line;
    while (std::getline(status, line))
        if (line.compare(0, 6, "VmHWM:") == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    return 0;
}

} // namespace

void check(bool ok, const std::string &what)
{
    if (!ok)
        throw std::runtime_error(what + ": " + std::strerror(errno));
}

std::string temporary_root()
{
    const char *tmp = std::getenv("TMPDIR");
    return tmp != nullptr && tmp[0] != '\0' ? tmp : P_tmpdir;
}

std::string temporary_directory(const std::string &prefix)
{
    std::string pattern = temporary_root() + "/" + prefix + "-XXXXXX";
    check(mkdtemp(pattern.data()) != nullptr, "mkdtemp " + pattern);
    return pattern;
}

void remove_tree(const std::string &path)
{
    nftw(
        path.c_str(),
        [](const char *entry, const struct stat *, int, struct FTW *) { return remove(entry); }, 16,
        FTW_DEPTH | FTW_PHYS);
}

std::string read_file(const std::string &path)
{
    std::string bytes;
    FILE *file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return bytes;
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        bytes.append(buffer, n);
    std::fclose(file);
    return bytes;
}

std::vector<char *> pointers(std::vector<std::string> &strings)
{
    std::vector<char *> result;
    for (std::string &s : strings)
        result.push_back(s.data());
    result.push_back(nullptr);
    return result;
}

bool peak_memory_measured()
{
#if defined(__SANITIZE_ADDRESS__)
    return false; // LeakSanitizer cannot check a process that something else traces
#else
    return true;
#endif
}

Watch::Watch(pid_t child, int go) : child_(child)
{
    traced_ = peak_memory_measured() &&
              ptrace(PTRACE_SEIZE, child, nullptr, PTRACE_O_TRACEEXIT | PTRACE_O_EXITKILL) == 0;
    check(write(go, "x", 1) == 1, "start the program");
    close(go);
}

bool Watch::poll(Exit &exit, bool block)
{
    while (!reaped_) {
        int status = 0;
        rusage usage{};
        const pid_t got = wait4(child_, &status, block ? 0 : WNOHANG, &usage);
        if (got < 0 && errno == EINTR)
            continue;
        check(got >= 0, "wait4");
        if (got == 0)
            break;
        if (WIFSTOPPED(status)) {
            int signal = WSTOPSIG(status);
            if (status >> 16 == PTRACE_EVENT_EXIT)
                peak_kb_ = vm_hwm_kb(child_);
            if (status >> 16 != 0)
                signal = 0; // an event stop, not a signal
            ptrace(PTRACE_CONT, child_, nullptr, signal);
            continue;
        }
        reaped_ = true;
        exit.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        exit.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
        exit.max_rss_kb = traced_ && peak_kb_ > 0 ? peak_kb_ : usage.ru_maxrss;
    }
    return reaped_;
}

Cost timed_run(const Program &program)
{
    std::vector<std::string> argv{program.path}, env = program.env;
    argv.insert(argv.end(), program.args.begin(), program.args.end());
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, program.directory.c_str());
    const auto start = std::chrono::steady_clock::now();
    pid_t child = 0;
    errno = posix_spawn(&child, program.path.c_str(), &actions, nullptr, pointers(argv).data(),
                        pointers(env).data());
    posix_spawn_file_actions_destroy(&actions);
    check(errno == 0, "spawn " + program.path);
    int status = 0;
    rusage usage{};
    while (wait4(child, &status, 0, &usage) < 0)
        check(errno == EINTR, "wait4");
    const auto end = std::chrono::steady_clock::now();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error(program.path + " failed");
    return {std::chrono::duration<double, std::milli>(end - start).count(),
            milliseconds(usage.ru_utime) + milliseconds(usage.ru_stime)};
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

} // namespace process
