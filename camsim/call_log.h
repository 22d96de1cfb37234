// Fault injection (CAMSIM_FAIL) and the call log (CAMSIM_LOG) around every SDK operation.
#pragma once

#include "config.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

namespace camsim
{

// How many times each operation has been called, and whether a refused call log has been
// reported yet.
class CallCounts
{
  public:
    // Counts one more call of the operation; returns its number, from 1.
    unsigned count(Operation operation);

    // True the first time only: a call log that cannot be written to is said once.
    bool first_log_refusal();

  private:
    std::mutex mutex_;
    std::array<unsigned, operation_names.size()> counts_{};
    std::atomic<bool> log_refused_{false};
};

// Appends a line (its newline included) to the call log at `path`, in one write, only to a
// regular file. Returns why the log was refused, empty when the line was written.
std::string append_to_log(const std::string &path, const std::string &line);

class Call
{
  public:
    // Counts this call of the operation (when the configuration injects faults or logs calls)
    // and looks up a fault injected into it.
    Call(Operation operation, const Config &config, CallCounts &counts);

    // The code to return instead of doing anything, or 0 to go ahead.
    int32_t injected() const
    {
        return injected_;
    }

    // When an injected failure may return: the call's start plus the fault's delay.
    std::chrono::steady_clock::time_point injected_until() const
    {
        return injected_until_;
    }

    // Ends an injected delay now: what the call was waiting on is gone.
    void cut_short()
    {
        injected_until_ = std::chrono::steady_clock::now();
    }

    // Logs the call with what matters of its arguments, and returns the code; an injected
    // failure first waits out its delay. A log that is not a regular file (a link, a FIFO) or
    // cannot be opened is not written, and said once on standard error.
    int32_t finish(int32_t code, const std::string &arguments = std::string()) const;

  private:
    const char *operation_;
    const Config &config_;
    CallCounts &counts_;
    int32_t injected_ = 0;
    std::chrono::steady_clock::time_point injected_until_;
};

} // namespace camsim
