// Spawning programs with pipes, a fresh directory and a controlled environment.
#include "harness.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace harness
{
namespace
{

constexpr auto run_time_limit = std::chrono::seconds(120);
constexpr auto prompt_wait = std::chrono::seconds(3);

std::vector<std::string> environment(const std::map<std::string, std::string> &knobs)
{
    // The simulated camera comes first on the library search path, whichever SDK the
    // programs were built against.
    std::string library_path = "LD_LIBRARY_PATH=" CAMKIT_SIM_LIB_DIR;
    std::vector<std::string> entries;
    for (char **entry = environ; *entry != nullptr; ++entry) {
        const std::string name(*entry, std::strcspn(*entry, "="));
        if (name == "LD_LIBRARY_PATH")
            library_path += std::string(":") + (*entry + 16);
        else if (name.compare(0, 7, "CAMSIM_") != 0 && name.compare(0, 10, "CAMARAVIS_") != 0 &&
                 knobs.count(name) == 0)
            entries.emplace_back(*entry);
    }
    if (knobs.count("LD_LIBRARY_PATH") == 0)
        entries.push_back(library_path);
    for (const auto &[name, value] : knobs)
        if (!value.empty())
            entries.push_back(name + "=" + value);
    return entries;
}

void collect_directory(const std::string &directory, Result &result)
{
    DIR *dir = opendir(directory.c_str());
    if (dir == nullptr)
        return; // removed working directory
    while (dirent *entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        result.entries.insert(name);
        struct stat info;
        std::string path = directory + "/" + name;
        if (lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode))
            result.files[name] = read_file(path);
    }
    closedir(dir);
}

struct Pipes {
    int in[2], out[2], err[2], go[2];
};

[[noreturn]] void exec_child(const Launch &launch, const std::string &work, Pipes &pipes,
                             std::vector<std::string> &env)
{
    dup2(pipes.in[0], 0);
    dup2(pipes.out[1], 1);
    dup2(pipes.err[1], 2);
    for (int fd :
         {pipes.in[0], pipes.in[1], pipes.out[0], pipes.out[1], pipes.err[0], pipes.err[1]})
        close(fd);
    // Wait until the harness is watching this process (see Watch).
    close(pipes.go[1]);
    char byte;
    if (read(pipes.go[0], &byte, 1) != 1)
        _exit(125);
    if (chdir(work.c_str()) != 0 || (launch.remove_working_directory && rmdir(work.c_str()) != 0))
        _exit(126);
    std::string path = program_path(launch.program);
    std::vector<std::string> argv{path};
    argv.insert(argv.end(), launch.args.begin(), launch.args.end());
    execve(path.c_str(), pointers(argv).data(), pointers(env).data());
    _exit(127);
}

// Feeds standard input (after the prompt, when one is awaited) without ever blocking on
// it, drains both outputs, sends the launch's signal when due, and reaps the program.
void exchange(const Launch &launch, Pipes &pipes, pid_t child, Result &result)
{
    process::Watch watch(child, pipes.go[1]);
    process::Exit exit;
    const auto start = std::chrono::steady_clock::now();
    const auto deadline = start + run_time_limit;
    size_t sent = 0;
    bool input_started = launch.await_prompt.empty(), input_open = true;
    bool out_open = true, err_open = true, reaped = false, signalled = launch.signal == 0;
    check(fcntl(pipes.in[1], F_SETFL, O_NONBLOCK) == 0, "fcntl");
    while (out_open || err_open || !reaped) {
        if (input_open && input_started && sent == launch.input.size()) {
            close(pipes.in[1]);
            input_open = false;
        }
        pollfd fds[3] = {{out_open ? pipes.out[0] : -1, POLLIN, 0},
                         {err_open ? pipes.err[0] : -1, POLLIN, 0},
                         {input_open && input_started ? pipes.in[1] : -1, POLLOUT, 0}};
        // Short waits: the program's stops and its end are noticed by polling for them.
        int ready = ::poll(fds, 3, 2);
        if (ready < 0 && errno != EINTR)
            check(false, "poll");
        const auto now = std::chrono::steady_clock::now();
        if (now > deadline && !reaped) {
            kill(child, SIGKILL);
            signalled = true;
        }
        const bool signal_due = now >= start + launch.signal_after ||
                                (!launch.signal_on_output.empty() &&
                                 result.out.find(launch.signal_on_output) != std::string::npos);
        if (!signalled && !reaped && signal_due) {
            kill(child, launch.signal);
            signalled = true;
        }
        char buffer[65536];
        for (int i = 0; i < 2; ++i) {
            if (ready <= 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                (i == 0 ? result.out : result.err).append(buffer, static_cast<size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                (i == 0 ? out_open : err_open) = false;
            }
        }
        if (ready > 0 && fds[2].revents != 0) {
            ssize_t n = write(pipes.in[1], launch.input.data() + sent, launch.input.size() - sent);
            if (n > 0) {
                sent += static_cast<size_t>(n);
            } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                close(pipes.in[1]); // a program that is gone or reads less has its reasons
                input_open = false;
            }
        }
        if (!input_started && result.out.find(launch.await_prompt) != std::string::npos) {
            result.prompt_seen = true;
            input_started = true;
        }
        // A prompt that does not come (unflushed, or never printed) fails the check on
        // prompt_seen; the program still gets its input and ends.
        if (!input_started && (!out_open || now > start + prompt_wait))
            input_started = true;
        reaped = watch.poll(exit, !out_open && !err_open && !input_open);
    }
    result.status = exit.status;
    result.signal = exit.signal;
    result.max_rss_kb = exit.max_rss_kb;
    if (input_open)
        close(pipes.in[1]);
    close(pipes.out[0]);
    close(pipes.err[0]);
}

std::vector<std::string> split_lines(const std::string &text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

} // namespace

std::string program_path(const std::string &program)
{
    if (!program.empty() && program[0] == '/')
        return program;
    return std::string(CAMKIT_BIN_DIR) + "/" + program;
}

void write_file(const std::string &path, const std::string &bytes)
{
    FILE *file = std::fopen(path.c_str(), "wb");
    check(file != nullptr, "create " + path);
    check(std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size(), "write " + path);
    check(std::fclose(file) == 0, "close " + path);
}

std::set<std::string> directory_entries(const std::string &directory)
{
    Result listing;
    collect_directory(directory, listing);
    return listing.entries;
}

std::string capture_output(FILE *stream, const std::function<void()> &action)
{
    const std::string directory = temporary_directory("camkit-output");
    const std::string path = directory + "/out";
    const int fd = fileno(stream);
    std::fflush(stream);
    const int saved = dup(fd);
    const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    check(saved >= 0 && file >= 0 && dup2(file, fd) == fd, "redirect output");
    close(file);
    action();
    std::fflush(stream);
    dup2(saved, fd);
    close(saved);
    std::string out = read_file(path);
    remove_tree(directory);
    return out;
}

Camera::Camera()
{
    std::signal(SIGPIPE, SIG_IGN);
    directory_ = temporary_directory("camkit-test");
}

Camera::~Camera()
{
    remove_tree(directory_);
}

Result Camera::run(const Launch &launch)
{
    const int number = ++runs_;
    const std::string work = directory_ + "/work" + std::to_string(number);
    const std::string log = directory_ + "/calls" + std::to_string(number) + ".log";
    check(mkdir(work.c_str(), 0755) == 0, "mkdir " + work);
    for (const auto &[name, bytes] : launch.files)
        write_file(work + "/" + name, bytes);
    if (launch.prepare)
        launch.prepare(work);

    // A program run through camaravis asks loopback only, never Aravis's discovery, which
    // broadcasts on every interface.
    std::map<std::string, std::string> knobs = {{"CAMSIM_STATE", state_path()},
                                                {"CAMSIM_LOG", log},
                                                {"CAMARAVIS_LOG", log},
                                                {"CAMARAVIS_CAMERA", "127.0.0.1"},
                                                {"CAMSIM_FPS", "0"},
                                                {"CAMSIM_SENSOR", "160x120"}};
    for (const auto &[name, value] : launch.knobs)
        knobs[name] = value;
    std::vector<std::string> env = environment(knobs);

    Pipes pipes;
    check(pipe2(pipes.in, O_CLOEXEC) == 0 && pipe2(pipes.out, O_CLOEXEC) == 0 &&
              pipe2(pipes.err, O_CLOEXEC) == 0 && pipe2(pipes.go, O_CLOEXEC) == 0,
          "pipe");
    pid_t child = fork();
    check(child >= 0, "fork");
    if (child == 0)
        exec_child(launch, work, pipes, env);
    close(pipes.in[0]);
    close(pipes.out[1]);
    close(pipes.err[1]);
    close(pipes.go[0]);

    Result result;
    exchange(launch, pipes, child, result);
    result.calls = split_lines(read_file(log));
    collect_directory(work, result);
    return result;
}

Launch with_faults(const std::string &program, const std::string &faults)
{
    Launch launch;
    launch.program = program;
    if (!faults.empty())
        launch.knobs["CAMSIM_FAIL"] = faults;
    return launch;
}

Result run(const Launch &launch)
{
    Camera camera;
    return camera.run(launch);
}

std::vector<std::string> operations(const std::vector<std::string> &calls)
{
    std::vector<std::string> names;
    for (const std::string &line : calls)
        names.push_back(line.substr(0, line.find(' ')));
    return names;
}

std::vector<std::string> calls_of(const std::vector<std::string> &calls,
                                  const std::string &operation)
{
    std::vector<std::string> lines;
    for (const std::string &line : calls)
        if (line.compare(0, operation.size() + 1, operation + " ") == 0)
            lines.push_back(line);
    return lines;
}

std::string lines_over_80_columns(const std::string &text)
{
    std::istringstream lines(text);
    std::string wide;
    for (std::string line; std::getline(lines, line);)
        if (std::count_if(line.begin(), line.end(), [](char c) { return (c & 0xC0) != 0x80; }) > 80)
            wide += line + "\n";
    return wide;
}

std::set<std::string> frame_names(const std::set<int> &missing)
{
    std::set<std::string> names;
    for (int i = 0; i < 10; ++i)
        if (missing.count(i) == 0) {
            char name[16];
            std::snprintf(name, sizeof name, "%04d.bmp", i);
            names.insert(name);
        }
    return names;
}

std::set<std::string> bmp_files(const Result &result)
{
    std::set<std::string> names;
    for (const auto &[name, bytes] : result.files)
        if (name.size() > 4 && name.compare(name.size() - 4, 4, ".bmp") == 0)
            names.insert(name);
    return names;
}

std::vector<std::string> connection_calls()
{
    return {"fc2CreateContext -> 0", "fc2GetNumOfCameras count=1 -> 0",
            "fc2GetCameraFromIndex index=0 -> 0", "fc2Connect serial=17140000 -> 0"};
}

std::vector<std::string> capture_calls()
{
    std::vector<std::string> calls = {"fc2StartCapture -> 0", "fc2CreateImage -> 0",
                                      "fc2CreateImage -> 0"};
    int frame = 0;
    for (const std::string &name : frame_names()) {
        // Unpaced, the frames come one after another, all at time 0.
        calls.push_back("fc2RetrieveBuffer frame=" + std::to_string(frame++) + " time=0.000 -> 0");
        calls.push_back("fc2ConvertImageTo format=0x80000000 -> 0");
        calls.push_back("fc2SaveImage file=" + name + " format=0x2 -> 0");
    }
    calls.push_back("fc2StopCapture -> 0");
    calls.push_back("fc2DestroyContext -> 0");
    return calls;
}

std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string> &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::map<std::string, std::string> fields(const std::string &line)
{
    std::map<std::string, std::string> result;
    std::istringstream words(line);
    std::string word;
    words >> result["call"];
    while (words >> word) {
        if (word == "->") {
            words >> result["code"];
            break;
        }
        size_t equals = word.find('=');
        result[word.substr(0, equals)] = equals == std::string::npos ? "" : word.substr(equals + 1);
    }
    return result;
}

} // namespace harness

namespace harness
{

void reverse_written_flags(const Camera &camera)
{
    // The state file's lines: camera, type, present, absolute control, one-push, on/off,
    // auto/manual mode, the two integer values, the absolute value, 16 reserved words.
    std::string reserved;
    for (int i = 0; i < 16; ++i)
        reserved += " 0";
    write_file(camera.state_path(), "camsim-state 1\n0 12 1 0 1 0 1 0 0 10" + reserved +
                                        "\n0 13 1 0 1 0 1 0 0 0" + reserved + "\n");
}

} // namespace harness
