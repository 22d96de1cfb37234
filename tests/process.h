// Running programs as the tests and the benchmark do, without GoogleTest: temporary
// directories and their removal, and a watch that follows a started program to its end and
// measures its peak memory alone.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace process
{

// Throws std::runtime_error with `what` and errno's text unless `ok`.
void check(bool ok, const std::string &what);

// The directory for temporary files: $TMPDIR, else the system's.
std::string temporary_root();
// A new directory in it, named after `prefix`; the caller removes it (remove_tree).
std::string temporary_directory(const std::string &prefix);
void remove_tree(const std::string &path);

std::string read_file(const std::string &path);

// The strings as an argv or envp: pointers into them, then a null.
std::vector<char *> pointers(std::vector<std::string> &strings);

// Whether Exit::max_rss_kb is the program's alone: not in builds with AddressSanitizer,
// where it also counts what this process had when it started the program.
bool peak_memory_measured();

// A program to run: its path, arguments, working directory and whole environment.
struct Program {
    std::string path;
    std::vector<std::string> args;
    std::string directory;
    std::vector<std::string> env;
};

// What a run cost: wall time from start to reaping, and CPU time (user and system) of the
// process and the children it waited for.
struct Cost {
    double wall_ms, cpu_ms;
};

// Runs the program to its end (its output as this process's); throws unless it exits 0.
Cost timed_run(const Program &program);

double median(std::vector<double> values);

// How a program ended.
struct Exit {
    int status = -1; // exit status, or -1 when the program did not exit normally
    int signal = 0;  // the signal that ended it, if one did
    long max_rss_kb = 0;
};

// Follows a program to its end. It is traced for one thing only: to stop it as it exits,
// while its memory is still there, and read its peak resident memory then (a reaped child's
// ru_maxrss counts what this process had mapped when it forked). Signals that stop it on
// their way are passed on. Where tracing is not allowed, ru_maxrss serves. The child waits
// for a byte on `go` (the write end, closed here) before it runs the program.
class Watch
{
  public:
    Watch(pid_t child, int go);

    // Handles what happened to the program; true once it is reaped.
    bool poll(Exit &exit, bool block);

  private:
    pid_t child_;
    bool traced_ = false;
    bool reaped_ = false;
    long peak_kb_ = 0;
};

} // namespace process
