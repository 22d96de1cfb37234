// Spawning programs with pipes, a fresh directory and a controlled environment.
#include "harness.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <poll.h>
#include <sstream>
#include <stdexcept>
#include <sys/resource.h>
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

void check(bool ok, const std::string &what)
{
    if (!ok)
        throw std::runtime_error(what + ": " + std::strerror(errno));
}

std::vector<std::string> environment(const std::map<std::string, std::string> &knobs)
{
    // The simulated camera comes first on the library search path, whichever SDK the
    // programs were built against.
    std::string library_path = "LD_LIBRARY_PATH=" CAMKIT_SIM_LIB_DIR;
    std::vector<std::string> entries;
    for (char **entry = environ; *entry != nullptr; ++entry)
        if (std::strncmp(*entry, "LD_LIBRARY_PATH=", 16) == 0)
            library_path += std::string(":") + (*entry + 16);
        else if (std::strncmp(*entry, "CAMSIM_", 7) != 0)
            entries.emplace_back(*entry);
    entries.push_back(library_path);
    for (const auto &[name, value] : knobs)
        entries.push_back(name + "=" + value);
    return entries;
}

std::vector<char *> pointers(std::vector<std::string> &strings)
{
    std::vector<char *> result;
    for (std::string &s : strings)
        result.push_back(s.data());
    result.push_back(nullptr);
    return result;
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
    int in[2], out[2], err[2];
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
    if (chdir(work.c_str()) != 0 || (launch.remove_working_directory && rmdir(work.c_str()) != 0))
        _exit(126);
    std::string path = program_path(launch.program);
    std::vector<std::string> argv{path};
    argv.insert(argv.end(), launch.args.begin(), launch.args.end());
    execve(path.c_str(), pointers(argv).data(), pointers(env).data());
    _exit(127);
}

// Feeds standard input (after the prompt, when one is awaited) and drains both outputs
// until the program closes them.
void exchange(const Launch &launch, Pipes &pipes, pid_t child, Result &result)
{
    bool input_given = false;
    auto give_input = [&] {
        if (!launch.input.empty()) {
            ssize_t n = write(pipes.in[1], launch.input.data(), launch.input.size());
            (void)n; // a program that is gone or reads less has its reasons
        }
        close(pipes.in[1]);
        input_given = true;
    };
    if (launch.await_prompt.empty())
        give_input();

    const auto start = std::chrono::steady_clock::now();
    const auto deadline = start + run_time_limit;
    bool out_open = true, err_open = true;
    while (out_open || err_open) {
        pollfd fds[2] = {{out_open ? pipes.out[0] : -1, POLLIN, 0},
                         {err_open ? pipes.err[0] : -1, POLLIN, 0}};
        int ready = poll(fds, 2, 100);
        if (ready < 0 && errno != EINTR)
            check(false, "poll");
        if (std::chrono::steady_clock::now() > deadline) {
            kill(child, SIGKILL);
            break;
        }
        char buffer[65536];
        for (int i = 0; i < 2; ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                (i == 0 ? result.out : result.err).append(buffer, static_cast<size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                (i == 0 ? out_open : err_open) = false;
            }
        }
        if (!input_given && result.out.find(launch.await_prompt) != std::string::npos) {
            result.prompt_seen = true;
            give_input();
        }
        // A prompt that does not come (unflushed, or never printed) fails the check on
        // prompt_seen; the program still gets its input and ends.
        if (!input_given && (!out_open || std::chrono::steady_clock::now() > start + prompt_wait))
            give_input();
    }
    if (!input_given)
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

std::string read_file(const std::string &path)
{
    std::string bytes;
    FILE *file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return bytes;
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        bytes.append(buffer, n);
    std::fclose(file);
    return bytes;
}

void write_file(const std::string &path, const std::string &bytes)
{
    FILE *file = std::fopen(path.c_str(), "wb");
    check(file != nullptr, "create " + path);
    check(std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size(), "write " + path);
    check(std::fclose(file) == 0, "close " + path);
}

Camera::Camera()
{
    std::signal(SIGPIPE, SIG_IGN);
    const char *tmp = std::getenv("TMPDIR");
    std::string pattern =
        std::string(tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp") + "/camkit-test-XXXXXX";
    check(mkdtemp(pattern.data()) != nullptr, "mkdtemp");
    directory_ = pattern;
}

Camera::~Camera()
{
    nftw(
        directory_.c_str(),
        [](const char *path, const struct stat *, int, struct FTW *) { return remove(path); }, 16,
        FTW_DEPTH | FTW_PHYS);
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

    std::map<std::string, std::string> knobs = {{"CAMSIM_STATE", state_path()},
                                                {"CAMSIM_LOG", log},
                                                {"CAMSIM_FPS", "0"},
                                                {"CAMSIM_SENSOR", "160x120"}};
    for (const auto &[name, value] : launch.knobs)
        knobs[name] = value;
    std::vector<std::string> env = environment(knobs);

    Pipes pipes;
    check(pipe2(pipes.in, O_CLOEXEC) == 0 && pipe2(pipes.out, O_CLOEXEC) == 0 &&
              pipe2(pipes.err, O_CLOEXEC) == 0,
          "pipe");
    pid_t child = fork();
    check(child >= 0, "fork");
    if (child == 0)
        exec_child(launch, work, pipes, env);
    close(pipes.in[0]);
    close(pipes.out[1]);
    close(pipes.err[1]);

    Result result;
    exchange(launch, pipes, child, result);
    int status = 0;
    struct rusage usage {
    };
    while (wait4(child, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.max_rss_kb = usage.ru_maxrss;
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

} // namespace harness

namespace harness
{

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

} // namespace harness

namespace harness
{

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
