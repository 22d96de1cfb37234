// Fault injection and the call log around every SDK operation: a layer any camera switches
// on with its own knobs.
#pragma once

#include "operation.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace core
{

// An injected fault: the operation returns `code` and does nothing, on every call, only on
// its `nth` call (counting from 1), or on the nth and every later one; the failing call
// returns only after `delay_ms`.
struct Fault {
    Operation operation = Operation::create_context;
    unsigned nth = 0;     // 0: every call
    bool onwards = false; // the nth call and every later one
    int32_t code = 0;
    unsigned delay_ms = 0;
};

// Parses a whole number from min to max, as a camera's knobs are written: digits with an
// optional minus sign, no blanks, no plus sign.
bool parse_whole_number(const std::string &text, long min, long max, long &value);

// Parses one fault, `name[@n[+]]=code[/ms]`; returns why it is refused, empty when taken.
std::string parse_fault(const std::string &entry, Fault &fault);

// What a camera switches on: the faults it injects and the file its calls are logged to
// (empty: none), and the names a refused log is reported under on standard error
// ("<program>: ignoring <log_knob>='<path>': <reason>").
struct CallLayer {
    std::vector<Fault> faults;
    std::string log_path;
    std::string program;
    std::string log_knob;
};

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
    std::array<unsigned, operation_count> counts_{};
    std::atomic<bool> log_refused_{false};
};

// Appends a line (its newline included) to the call log at `path`, in one write, only to a
// regular file. Returns why the log was refused, empty when the line was written.
std::string append_to_log(const std::string &path, const std::string &line);

class Call
{
  public:
    // Counts this call of the operation (when the layer injects faults or logs calls) and
    // looks up a fault injected into it.
    Call(Operation operation, const CallLayer &layer, CallCounts &counts);

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
    Operation operation_;
    const CallLayer &layer_;
    CallCounts &counts_;
    int32_t injected_ = 0;
    std::chrono::steady_clock::time_point injected_until_;
};

} // namespace core
