// Runs a built program as a process against the simulated camera, in a fresh working
// directory, and collects everything it did: output, status, SDK calls, files.
#pragma once

#include "process.h"

#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace harness
{

struct Launch {
    std::string program; // a name in the build's bin directory, or a full path
    std::vector<std::string> args;
    std::string input;                        // standard input, closed after it
    std::map<std::string, std::string> files; // put in the working directory beforehand
    // CAMSIM_* and CAMARAVIS_* settings over the harness's own (none inherited), and other
    // environment variables over the inherited ones; an empty value leaves the variable out.
    std::map<std::string, std::string> knobs;
    // Holds standard input back until standard output shows this text (or the program
    // ends): a prompt the program does not flush before reading is never seen.
    std::string await_prompt;
    // Runs the program in a working directory removed after it entered it: nothing can be
    // created there, whoever runs it (root included).
    bool remove_working_directory = false;
    std::function<void(const std::string &directory)> prepare; // more set-up, if any
    // A signal sent to the program this long after it started (none when 0), or as soon as
    // standard output shows `signal_on_output`, when that is set.
    int signal = 0;
    std::chrono::microseconds signal_after{0};
    std::string signal_on_output;
};

struct Result {
    std::string out;
    std::string err;
    int status = -1;                // exit status, or -1 when the program did not exit normally
    int signal = 0;                 // the signal that ended it, if one did
    std::vector<std::string> calls; // the call log, one line per SDK call
    std::map<std::string, std::string> files; // regular files left, with their bytes
    std::set<std::string> entries;            // every name left in the working directory
    long max_rss_kb = 0;                      // peak resident memory of the program alone
    bool prompt_seen = false;                 // await_prompt appeared before input was given
};

// A simulated camera whose settings last across the runs made on it; every run gets a
// working directory of its own. Everything lives in a temporary directory removed at the
// end.
class Camera
{
  public:
    Camera();
    ~Camera();
    Camera(const Camera &) = delete;
    Camera &operator=(const Camera &) = delete;

    Result run(const Launch &run);
    const std::string &directory() const
    {
        return directory_;
    }
    std::string state_path() const
    {
        return directory_ + "/camera.state";
    }

  private:
    std::string directory_;
    int runs_ = 0;
};

// A run of the program with CAMSIM_FAIL set to `faults` (none when empty).
Launch with_faults(const std::string &program, const std::string &faults = "");

// Runs on a camera of its own, at factory settings.
Result run(const Launch &run);

// The operation names of the call log's lines, in order.
std::vector<std::string> operations(const std::vector<std::string> &calls);

// The call log's lines for one operation.
std::vector<std::string> calls_of(const std::vector<std::string> &calls,
                                  const std::string &operation);

std::string program_path(const std::string &program);

// Temporary directories, read_file, and whether Result::max_rss_kb is the program's alone.
using namespace process;

// Every name in a directory.
std::set<std::string> directory_entries(const std::string &directory);

// What `action` prints on this process's standard output or error (`stream`).
std::string capture_output(FILE *stream, const std::function<void()> &action);

void write_file(const std::string &path, const std::string &bytes);

// The lines of `text` wider than 80 columns on a terminal (characters, not UTF-8 bytes).
std::string lines_over_80_columns(const std::string &text);

// The ten frame file names 0000.bmp to 0009.bmp, less those of the given frame numbers.
std::set<std::string> frame_names(const std::set<int> &missing = {});
std::set<std::string> bmp_files(const Result &result);

// The call log of a connection to camera 0 that goes through.
std::vector<std::string> connection_calls();

// The call log of a capture run that goes through: start, the two image records, ten
// frames retrieved, converted and saved, stop, destroy.
std::vector<std::string> capture_calls();

// Concatenates call logs.
std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string> &b);

// The key=value fields of a call log line, "call" holding the operation and "code" what
// it returned.
std::map<std::string, std::string> fields(const std::string &line);

} // namespace harness

namespace harness
{

// Sets the camera's shutter and gain to the opposite of every flag the kit writes: auto
// mode, absolute control off, on/off off, one-push on; so each flag a write must set is
// seen to be set.
void reverse_written_flags(const Camera &camera);

} // namespace harness
