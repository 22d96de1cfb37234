// Counting calls, injecting faults and appending to the call log.
#include "call_log.h"

#include <cerrno>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

namespace camsim
{

unsigned CallCounts::count(Operation operation)
{
    std::lock_guard<std::mutex> lock(mutex_);
    return ++counts_[static_cast<size_t>(operation)];
}

void append_to_log(const std::string &path, const std::string &line)
{
    // One write in append mode per line, so the lines of processes sharing a log never mix.
    // Never blocks: a FIFO with no reader loses the line rather than hanging the program.
    int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0644);
    if (fd >= 0) {
        while (::write(fd, line.data(), line.size()) < 0 && errno == EINTR) {
        }
        ::close(fd);
    }
}

Call::Call(Operation operation, const Config &config, CallCounts &counts)
    : operation_(name_of(operation)), config_(config),
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
    append_to_log(path, line + "\n");
    return code;
}

} // namespace camsim
