// Counting calls, injecting faults and appending to the call log.
#include "call_log.h"

#include "knobs.h"

#include <cerrno>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace camsim
{
namespace
{

std::mutex counts_mutex;

unsigned count_call(const std::string &operation)
{
    static std::map<std::string, unsigned> counts;
    std::lock_guard<std::mutex> lock(counts_mutex);
    return ++counts[operation];
}

} // namespace

Call::Call(const char *operation)
    : operation_(operation), injected_until_(std::chrono::steady_clock::now())
{
    const Knobs &settings = knobs();
    if (settings.faults.empty() && settings.log_path.empty())
        return;
    unsigned number = count_call(operation);
    for (const Fault &fault : settings.faults)
        if (fault.operation == operation &&
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
    const std::string &path = knobs().log_path;
    if (path.empty())
        return code;
    std::string line = operation_;
    if (!arguments.empty())
        line += " " + arguments;
    line += " -> " + std::to_string(code);
    if (injected_ != 0)
        line += " (injected)";
    line += "\n";
    // One write in append mode per line, so the lines of processes sharing a log never mix.
    // Never blocks: a FIFO with no reader loses the line rather than hanging the program.
    int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0644);
    if (fd >= 0) {
        while (::write(fd, line.data(), line.size()) < 0 && errno == EINTR) {
        }
        ::close(fd);
    }
    return code;
}

} // namespace camsim
