// Fault injection (CAMSIM_FAIL) and the call log (CAMSIM_LOG) around every SDK operation.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace camsim
{

class Call
{
  public:
    // Counts this call of the operation and looks up a fault injected into it.
    explicit Call(const char *operation);

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
    // failure first waits out its delay.
    int32_t finish(int32_t code, const std::string &arguments = std::string()) const;

  private:
    const char *operation_;
    int32_t injected_ = 0;
    std::chrono::steady_clock::time_point injected_until_;
};

} // namespace camsim
