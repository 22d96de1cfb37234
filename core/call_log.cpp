// Counting calls, injecting faults and appending to the call log.
#include "call_log.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace core
{
bool parse_whole_number(const std::string &text, long min, long max, long &value)
{
    if (text.empty() || text.size() > 20 ||
        !(std::isdigit(static_cast<unsigned char>(text[0])) || text[0] == '-'))
        return false;
    char *end = nullptr;
    errno = 0;
    long parsed = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || parsed < min || parsed > max)
        return false;
    value = parsed;
    return true;
}

std::string parse_fault(const std::string &entry, Fault &fault)
{
    size_t equals = entry.find('=');
    if (equals == std::string::npos)
        return "no '=code'";
    std::string name = entry.substr(0, equals);
    std::string code_text = entry.substr(equals + 1);
    long nth = 0, code = 0, delay = 0;
    size_t at = name.find('@');
    if (at != std::string::npos) {
        std::string number = name.substr(at + 1);
        fault.onwards = !number.empty() && number.back() == '+';
        if (fault.onwards)
            number.pop_back();
        if (!parse_whole_number(number, 1, 1000000000, nth))
            return "the call number must be a whole number from 1, optionally followed by '+'";
        name.resize(at);
    }
    if (!operation_named(name, fault.operation))
        return "'" + name + "' is not one of the " + std::to_string(operation_count) +
               " operations";
    size_t slash = code_text.find('/');
    if (slash != std::string::npos) {
        if (!parse_whole_number(code_text.substr(slash + 1), 0, 3600000, delay))
            return "the delay must be a whole number of milliseconds from 0 to 3600000";
        code_text.resize(slash);
    }
    if (!parse_whole_number(code_text, INT32_MIN, INT32_MAX, code) || code == 0)
        return "the code must be a non-zero 32-bit integer";
    fault.nth = static_cast<unsigned>(nth);
    fault.code = static_cast<int32_t>(code);
    fault.delay_ms = static_cast<unsigned>(delay);
    return "";
}

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

Call::Call(Operation operation, const CallLayer &layer, CallCounts &counts)
    : operation_(operation), layer_(layer), counts_(counts),
      injected_until_(std::chrono::steady_clock::now())
{
    if (layer.faults.empty() && layer.log_path.empty())
        return;
    unsigned number = counts.count(operation);
    for (const Fault &fault : layer.faults)
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
    const std::string &path = layer_.log_path;
    if (path.empty())
        return code;
    std::string line = name_of(operation_);
    if (!arguments.empty())
        line += " " + arguments;
    line += " -> " + std::to_string(code);
    if (injected_ != 0)
        line += " (injected)";
    const std::string refusal = append_to_log(path, line + "\n");
    if (!refusal.empty() && counts_.first_log_refusal())
        std::fprintf(stderr, "%s: ignoring %s='%s': %s\n", layer_.program.c_str(),
                     layer_.log_knob.c_str(), path.c_str(), refusal.c_str());
    return code;
}

} // namespace core
