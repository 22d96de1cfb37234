// Cost of a ten-frame series (retrieve, convert, save) on the simulated camera at
// 2048x1536, against writing the same ten BMP files' bytes with a plain write loop, and
// the peak memory of a captura_simple run at that size.
#include "sdk.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace
{

constexpr unsigned width = 2048, height = 1536;
constexpr size_t bmp_size = 14 + 40 + 1024 + static_cast<size_t>(width) * height;

std::string scratch_directory()
{
    static std::string directory = [] {
        char pattern[] = "/tmp/camkit-bench-XXXXXX";
        if (mkdtemp(pattern) == nullptr)
            std::abort();
        return std::string(pattern);
    }();
    return directory;
}

void remove_frames()
{
    for (int i = 0; i < 10; ++i) {
        char name[64];
        snprintf(name, sizeof name, "%s/%04d.bmp", scratch_directory().c_str(), i);
        unlink(name);
    }
}

void series(benchmark::State &state)
{
    camera_context context = nullptr;
    unsigned int count = 0;
    camera_id id = {};
    image_record raw = {}, grey = {};
    if (fc2CreateContext(&context) || fc2GetNumOfCameras(context, &count) ||
        fc2GetCameraFromIndex(context, 0, &id) || fc2Connect(context, &id) ||
        fc2StartCapture(context) || fc2CreateImage(&raw) || fc2CreateImage(&grey)) {
        state.SkipWithError("the simulated camera did not open");
        return;
    }
    for (auto _ : state) {
        for (int i = 0; i < 10; ++i) {
            char name[64];
            snprintf(name, sizeof name, "%s/%04d.bmp", scratch_directory().c_str(), i);
            if (fc2RetrieveBuffer(context, &raw) ||
                fc2ConvertImageTo(PIXEL_FORMAT_MONO8, &raw, &grey) ||
                fc2SaveImage(&grey, name, FILE_FORMAT_BMP))
                state.SkipWithError("a frame failed");
        }
        state.PauseTiming();
        remove_frames();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 10 * bmp_size);
    fc2StopCapture(context);
    fc2DestroyContext(context);
}

void plain_write_loop(benchmark::State &state)
{
    std::vector<char> bytes(bmp_size, 'x');
    for (auto _ : state) {
        for (int i = 0; i < 10; ++i) {
            char name[64];
            snprintf(name, sizeof name, "%s/%04d.bmp", scratch_directory().c_str(), i);
            FILE *file = fopen(name, "wb");
            if (file == nullptr || fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size() ||
                fclose(file) != 0)
                state.SkipWithError("write failed");
        }
        state.PauseTiming();
        remove_frames();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 10 * bmp_size);
}

// Peak resident memory of one captura_simple process taking the series at this size.
void captura_simple_peak_memory(benchmark::State &state)
{
    long peak_kb = 0;
    for (auto _ : state) {
        // Spawned rather than forked, so the child does not start with this process's pages.
        pid_t child = 0;
        char *argv[] = {const_cast<char *>(CAPTURA_SIMPLE), nullptr};
        std::string directory = scratch_directory();
        if (chdir(directory.c_str()) != 0 ||
            posix_spawn(&child, CAPTURA_SIMPLE, nullptr, nullptr, argv, environ) != 0) {
            state.SkipWithError("captura_simple did not start");
            return;
        }
        int status = 0;
        struct rusage usage {
        };
        wait4(child, &status, 0, &usage);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
            state.SkipWithError("captura_simple failed");
        peak_kb = usage.ru_maxrss;
        state.PauseTiming();
        remove_frames();
        state.ResumeTiming();
    }
    state.counters["peak_MB"] = static_cast<double>(peak_kb) / 1024;
    state.counters["frame_MB"] = static_cast<double>(width) * height / (1024 * 1024);
}

const bool knobs_set = [] {
    setenv("CAMSIM_SENSOR", "2048x1536", 1);
    setenv("CAMSIM_FPS", "0", 1);
    unsetenv("CAMSIM_FAIL");
    unsetenv("CAMSIM_LOG");
    std::string state = scratch_directory() + "/camera.state";
    setenv("CAMSIM_STATE", state.c_str(), 1);
    return true;
}();

} // namespace

BENCHMARK(series)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(plain_write_loop)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(captura_simple_peak_memory)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_MAIN();
