// What a user's ten-frame series costs: whole captura_simple processes on the simulated
// camera (unpaced) against a plain loop writing the same ten files' bytes in a process of
// its own, run alternately, each run replacing the series its predecessor left; median wall
// and CPU time (user + system of the process) and their ratios, and the peak memory of each
// program alone. With --against, another build's captura_simple is timed in turn with them.
#include "process.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace
{

using process::check;
using process::Cost;
using process::median;
using process::pointers;
using process::Program;
using process::timed_run;

struct Size {
    unsigned width, height;
};

std::vector<std::string> environment(const Size &size, const std::string &state)
{
    std::vector<std::string> env;
    for (char **entry = environ; *entry != nullptr; ++entry)
        if (std::strncmp(*entry, "CAMSIM_", 7) != 0)
            env.emplace_back(*entry);
    env.push_back("CAMSIM_SENSOR=" + std::to_string(size.width) + "x" +
                  std::to_string(size.height));
    env.push_back("CAMSIM_FPS=0");
    env.push_back("CAMSIM_STATE=" + state);
    return env;
}

// Peak resident memory of the program alone (kB), as process::Watch measures it.
long peak_memory_kb(Program &program)
{
    int go[2];
    check(pipe2(go, O_CLOEXEC) == 0, "pipe");
    std::vector<std::string> argv{program.path};
    argv.insert(argv.end(), program.args.begin(), program.args.end());
    std::vector<char *> args = pointers(argv), env = pointers(program.env);
    const pid_t child = fork();
    check(child >= 0, "fork");
    if (child == 0) {
        close(go[1]);
        char byte;
        if (read(go[0], &byte, 1) != 1 || chdir(program.directory.c_str()) != 0)
            _exit(126);
        execve(args[0], args.data(), env.data());
        _exit(127);
    }
    close(go[0]);
    process::Watch watch(child, go[1]);
    process::Exit exit;
    watch.poll(exit, true);
    if (exit.status != 0)
        throw std::runtime_error(program.path + " failed");
    return exit.max_rss_kb;
}

std::string frame_name(int i)
{
    char name[16];
    std::snprintf(name, sizeof name, "%04d.bmp", i);
    return name;
}

// The ten frames end to end, for the plain loop to write.
void join_frames(const std::string &directory, const std::string &into, size_t frame_size)
{
    std::string bytes;
    for (int i = 0; i < 10; ++i) {
        FILE *file = std::fopen((directory + "/" + frame_name(i)).c_str(), "rb");
        check(file != nullptr, "open frame " + frame_name(i));
        std::vector<char> frame(frame_size + 1);
        const size_t n = std::fread(frame.data(), 1, frame.size(), file);
        std::fclose(file);
        if (n != frame_size)
            throw std::runtime_error(frame_name(i) + " has the wrong size");
        bytes.append(frame.data(), n);
    }
    FILE *file = std::fopen(into.c_str(), "wb");
    check(file != nullptr && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size() &&
              std::fclose(file) == 0,
          "write " + into);
}

void bench_size(const Size &size, int repeats, const std::string &scratch,
                const std::string &program, const std::string &against)
{
    const std::string label = std::to_string(size.width) + "x" + std::to_string(size.height);
    const std::string root = scratch + "/" + label;
    Program camera{program, {}, root + "/series", environment(size, root + "/state")};
    Program plain{PLAIN_WRITE, {root + "/frames"}, root + "/plain", camera.env};
    // Another build of captura_simple, in a directory and with a state of its own.
    Program other{against, {}, root + "/other", environment(size, root + "/other-state")};
    std::vector<Program *> programs{&camera, &plain};
    if (!against.empty())
        programs.push_back(&other);
    check(mkdir(root.c_str(), 0700) == 0, "mkdir " + root);
    for (Program *each : programs)
        check(mkdir(each->directory.c_str(), 0700) == 0, "mkdir " + each->directory);
    const size_t frame_size =
        14 + 40 + 1024 + static_cast<size_t>((size.width + 3) & ~3u) * size.height;

    // First runs: the series every timed run replaces, and the bytes for the plain loop.
    timed_run(camera);
    join_frames(camera.directory, plain.args[0], frame_size);
    for (size_t k = 1; k < programs.size(); ++k)
        timed_run(*programs[k]);

    const size_t n = programs.size();
    std::vector<std::vector<double>> wall(n), cpu(n);
    for (int r = 0; r < repeats; ++r)
        for (size_t which = 0; which < n; ++which) {
            // Alternate which goes first, so none always follows another.
            const size_t k = (which + static_cast<size_t>(r)) % n;
            Cost cost = timed_run(*programs[k]);
            wall[k].push_back(cost.wall_ms);
            cpu[k].push_back(cost.cpu_ms);
        }
    for (int i = 0; i < 10; ++i) {
        struct stat info;
        check(stat((camera.directory + "/" + frame_name(i)).c_str(), &info) == 0, "frame");
        if (static_cast<size_t>(info.st_size) != frame_size)
            throw std::runtime_error("a frame has the wrong size");
    }

    std::vector<long> kb(n, 0);
    for (int r = 0; r < 3; ++r)
        for (size_t k = 0; k < n; ++k)
            kb[k] = std::max(kb[k], peak_memory_kb(*programs[k]));
    const char *with_parent = process::peak_memory_measured() ? "" : " (with the parent's)";

    const char *names[] = {"captura_simple ", "plain loop     ", "other build    "};
    std::vector<double> w(n), c(n);
    std::printf("%s, %d runs each, medians:\n", label.c_str(), repeats);
    for (size_t k = 0; k < n; ++k) {
        w[k] = median(wall[k]);
        c[k] = median(cpu[k]);
        std::printf("  %s wall %7.2f ms  cpu %7.2f ms  peak memory %6.2f MB%s\n", names[k], w[k],
                    c[k], kb[k] / 1024.0, with_parent);
    }
    std::printf("  ratio           wall %7.2f     cpu %7.2f     frame %.2f MB\n", w[0] / w[1],
                c[0] / c[1], frame_size / (1024.0 * 1024.0));
    if (n == 3)
        std::printf("  to other build  wall %7.2f     cpu %7.2f\n", w[0] / w[2], c[0] / c[2]);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    int repeats = 21;
    std::vector<Size> sizes = {{1280, 960}, {2048, 1536}};
    std::string program = CAPTURA_SIMPLE, against;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--repeats") == 0 && i + 1 < argc) {
            repeats = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--size") == 0 && i + 1 < argc) {
            Size size{};
            if (std::sscanf(argv[++i], "%ux%u", &size.width, &size.height) != 2)
                repeats = 0;
            sizes = {size};
        } else if (std::strcmp(argv[i], "--program") == 0 && i + 1 < argc) {
            program = argv[++i]; // another build of captura_simple, to measure
        } else if (std::strcmp(argv[i], "--against") == 0 && i + 1 < argc) {
            against = argv[++i]; // another build, timed in turn with it
        } else {
            repeats = 0;
        }
    }
    if (repeats < 1) {
        std::fprintf(stderr, "usage: series_bench [--repeats N] [--size WxH] [--program PATH] "
                             "[--against PATH]\n");
        return 2;
    }
    const std::string scratch = process::temporary_directory("camkit-bench");
    int status = 0;
    try {
        for (const Size &size : sizes)
            bench_size(size, repeats, scratch, program, against);
    } catch (const std::exception &error) {
        std::fprintf(stderr, "series_bench: %s\n", error.what());
        status = 1;
    }
    process::remove_tree(scratch);
    return status;
}
