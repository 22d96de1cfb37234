// What a ten-frame series costs through camaravis: whole `camaravis captura_simple` runs
// against aravis_loop, a minimal Aravis client that receives frames from the same camera and
// writes the same BMP bytes with write(2), run alternately in one network namespace holding
// only loopback, against the fake GigE Vision camera at 1280x960 Mono8 (or --size), at 30
// frames a second and unpaced; median wall and CPU time, their ratios, and the frames each
// failed to write.
#include "loopback.h"
#include "process.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace
{

using process::check;
using process::Program;

struct Size {
    unsigned width = 1280, height = 960;
};

std::string frame_path(const Program &program, int i)
{
    char name[16];
    std::snprintf(name, sizeof name, "/%04d.bmp", i);
    return program.directory + name;
}

// Runs the program on a directory emptied of frames: its cost, and the frames it left out.
process::Cost run(const Program &program, const Size &size, int &missing)
{
    const size_t frame_size = 14 + 40 + 1024 + size_t{(size.width + 3) & ~3u} * size.height;
    for (int i = 0; i < 10; ++i)
        unlink(frame_path(program, i).c_str());
    const process::Cost cost = process::timed_run(program);
    for (int i = 0; i < 10; ++i) {
        struct stat info;
        if (stat(frame_path(program, i).c_str(), &info) != 0 ||
            static_cast<size_t>(info.st_size) != frame_size)
            ++missing;
    }
    return cost;
}

void bench(const char *fps, const Size &size, int repeats, const std::string &scratch)
{
    const std::string label = std::to_string(size.width) + "x" + std::to_string(size.height);
    process::FakeCamera fake(CAMARAVIS_FAKE, {"--size", label, "--fps", fps});
    check(fake.ready, "the fake camera does not serve");
    std::vector<std::string> env;
    for (char **entry = environ; *entry != nullptr; ++entry)
        if (std::strncmp(*entry, "CAMARAVIS_", 10) != 0)
            env.emplace_back(*entry);
    env.emplace_back("CAMARAVIS_CAMERA=127.0.0.1");
    const std::string root = scratch + "/" + fps;
    Program through{CAMARAVIS, {"captura_simple"}, root + "/camaravis", env};
    Program loop{ARAVIS_LOOP, {"127.0.0.1"}, root + "/loop", env};
    const Program *programs[] = {&through, &loop};
    check(mkdir(root.c_str(), 0700) == 0, "mkdir " + root);
    for (const Program *program : programs)
        check(mkdir(program->directory.c_str(), 0700) == 0, "mkdir " + program->directory);

    int missing[2] = {0, 0};
    std::vector<double> wall[2], cpu[2];
    for (int r = -1; r < repeats; ++r) // a first round unmeasured
        for (int which = 0; which < 2; ++which) {
            const int k = (which + r + 2) % 2; // alternately first
            const process::Cost cost = run(*programs[k], size, missing[k]);
            if (r >= 0) {
                wall[k].push_back(cost.wall_ms);
                cpu[k].push_back(cost.cpu_ms);
            }
        }
    // The camera's frames do not change: both wrote the same bytes (compared on the last frame
    // both wrote: unpaced, a frame may come incomplete and is then not written).
    for (int frame = 9; frame >= 0; --frame) {
        struct stat ours, theirs;
        if (stat(frame_path(through, frame).c_str(), &ours) != 0 ||
            stat(frame_path(loop, frame).c_str(), &theirs) != 0)
            continue;
        if (process::read_file(frame_path(through, frame)) !=
            process::read_file(frame_path(loop, frame)))
            throw std::runtime_error("camaravis and the loop wrote different frames");
        break;
    }

    std::printf("%s Mono8, %s, %d runs each, medians:\n", label.c_str(),
                std::strcmp(fps, "0") == 0 ? "unpaced" : "30 fps", repeats);
    const char *names[] = {"camaravis captura_simple", "aravis loop             "};
    double w[2], c[2];
    for (int k = 0; k < 2; ++k) {
        w[k] = process::median(wall[k]);
        c[k] = process::median(cpu[k]);
        std::printf("  %s wall %7.2f ms  cpu %7.2f ms  frames not written %d\n", names[k], w[k],
                    c[k], missing[k]);
    }
    std::printf("  ratio                    wall %7.2f     cpu %7.2f\n", w[0] / w[1], c[0] / c[1]);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    int repeats = 21;
    Size size;
    for (int i = 1; i < argc; i += 2) {
        if (i + 1 < argc && std::strcmp(argv[i], "--repeats") == 0)
            repeats = std::atoi(argv[i + 1]);
        else if (i + 1 >= argc || std::strcmp(argv[i], "--size") != 0 ||
                 std::sscanf(argv[i + 1], "%ux%u", &size.width, &size.height) != 2)
            repeats = 0;
    }
    if (repeats < 1) {
        std::fprintf(stderr, "usage: aravis_bench [--repeats N] [--size WxH]\n");
        return 2;
    }
    // Aravis's packets stay on this namespace's loopback.
    const std::string why = process::enter_loopback_namespace();
    if (!why.empty()) {
        std::printf("aravis_bench: skipped: %s\n", why.c_str());
        return 77;
    }
    const std::string scratch = process::temporary_directory("camkit-aravis-bench");
    int status = 0;
    try {
        for (const char *fps : {"30", "0"})
            bench(fps, size, repeats, scratch);
    } catch (const std::exception &error) {
        std::fprintf(stderr, "aravis_bench: %s\n", error.what());
        status = 1;
    }
    process::remove_tree(scratch);
    return status;
}
