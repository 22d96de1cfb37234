// Counting calls, injecting faults and appending to the call log.
#include "call_log.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace camsim
{

unsigned CallCounts::count(Operation operation)
{
    std::lock_guard<std::mutex> lock(mutex_);
    return ++counts_[static_cast<size_t>(operation)];
}

bool CallCounts::first_log_refusal()
{
    return !log_refused_.exchange(true);
}

std::string append_to_log(const std::string &path, const std::string &line)
{
    // One write in append mode per line, so the lines of processes sharing a log never mix.
    // Only to a regular file: a link planted at the path is not followed, and a FIFO or a
    // device is not written to (nor waited on: opened without blocking, then checked).
    int fd = ::open(path.c_str(),
                    O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW, 0644);
    std::string refusal = fd < 0 ? (errno == ELOOP ? "a symbolic link" : std::strerror(errno)) : "";
    struct stat info;
    if (fd >= 0 && ::fstat(fd, &info) == 0 && !S_ISREG(info.st_mode))
        refusal = "not a regular file";
    if (refusal.empty()) {
        while (::write(fd, line.data(), line.size()) < 0 && errno == EINTR) {
        }
    }
    if (fd >= 0)
        ::close(fd);
    return refusal;
}

Call::Call(Operation operation, const Config &config, CallCounts &counts)
    : operation_(name_of(operation)), config_(config), counts_(counts),
      injected_until_(std::chrono::steady_clock::now())
{
    if (config.faults.empty() && config.log_path.empty())
        return;
    unsigned number = counts.count(operation);
    for (const Fault &fault : config.faults)
        if (fault.operation == operation_ &&
            (fault.nth == 0 || fault.nth == number || (fault.onwards && number > fault.nth))) {
            injected_ = fault.code;
            injected_until_ += std::chrono::milliseconds(fault.delay_ms);
            break;
        }
}

int32_t Call::finish(int32_t code, const std::string &arguments) const
{
    if (injected_ != 0)
        std::this_thread::sleep_until(injected_until_);
    const std::string &path = config_.log_path;
    if (path.empty())
        return code;
    std::string line = operation_;
    if (!arguments.empty())
        line += " " + arguments;
    line += " -> " + std::to_string(code);
    if (injected_ != 0)
        line += " (injected)";
    const std::string refusal = append_to_log(path, line + "\n");
    if (!refusal.empty() && counts_.first_log_refusal())
        std::fprintf(stderr, "camsim: ignoring CAMSIM_LOG='%s': %s\n", path.c_str(),
                     refusal.c_str());
    return code;
}

} // namespace camsim
