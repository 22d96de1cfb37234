// The simulated camera as processes see it: the 13 operations, fault injection and the
// call log for each, malformed knobs, the state file shared by processes, frame files.
#include "bmp.h"
#include "harness.h"

#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace harness;

namespace
{

const char *const all_operations[] = {
    "fc2CreateContext",  "fc2GetNumOfCameras", "fc2GetCameraFromIndex", "fc2Connect",
    "fc2GetProperty",    "fc2SetProperty",     "fc2StartCapture",       "fc2CreateImage",
    "fc2RetrieveBuffer", "fc2ConvertImageTo",  "fc2SaveImage",          "fc2StopCapture",
    "fc2DestroyContext"};

Launch client(const std::vector<std::string> &args)
{
    Launch run;
    run.program = std::string(CAMKIT_TEST_BIN_DIR) + "/sdk_client";
    run.args = args;
    return run;
}

TEST(Simulator, AnSdkClientGetsTenFramesAnIndependentDecoderReads)
{
    Camera camera;
    Launch run = client({"series"});
    run.knobs["CAMSIM_SENSOR"] = "640x480";
    Result result = camera.run(run);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out.find(" -"), std::string::npos) << result.out; // every code 0
    EXPECT_EQ(result.entries, frame_names());
    for (const std::string &name : frame_names()) {
        SCOPED_TRACE(name);
        Grey frame = decode_with_bmptopnm(camera.directory() + "/work1/" + name);
        ASSERT_EQ(frame.error, "");
        EXPECT_EQ(frame.width, 640u);
        EXPECT_EQ(frame.height, 480u);
        EXPECT_GT(mean(frame), 40.0);
        EXPECT_LT(mean(frame), 200.0);
    }
}

TEST(Simulator, EveryOperationCanBeMadeToFailAndIsLogged)
{
    for (const char *operation : all_operations) {
        SCOPED_TRACE(operation);
        Launch run = client({"series"});
        run.knobs["CAMSIM_FAIL"] = std::string(operation) + "@1=-77";
        Result result = harness::run(run);
        EXPECT_EQ(result.err, "");
        // The client prints each call's code; the first call of this one returned -77.
        EXPECT_NE(result.out.find(std::string(operation) + " -77\n"), std::string::npos)
            << result.out;
        std::vector<std::string> logged = calls_of(result.calls, operation);
        ASSERT_FALSE(logged.empty());
        const std::string suffix = " -> -77 (injected)";
        EXPECT_EQ(logged[0].substr(logged[0].size() - suffix.size()), suffix);
        // Every call is logged, the failed one included: 1+1+1+1+1+1+1+2+30+2 = 41 lines.
        EXPECT_EQ(result.calls.size(), 41u);
    }
}

TEST(Simulator, MalformedKnobsAreReportedOnceAndIgnored)
{
    const std::pair<const char *, const char *> knobs[] = {
        {"CAMSIM_SENSOR", "big"},
        {"CAMSIM_SENSOR", "641x480"},
        {"CAMSIM_SENSOR", "0x0"},
        {"CAMSIM_CAMERAS", "-1"},
        {"CAMSIM_CAMERAS", "two"},
        {"CAMSIM_FPS", "fast"},
        {"CAMSIM_FPS", "-5"},
        {"CAMSIM_FAIL", "fc2Conect=3"},
        {"CAMSIM_FAIL", "fc2Connect=0"},
        {"CAMSIM_FAIL", "fc2Connect@0=3"},
        {"CAMSIM_FAIL", "fc2Connect"},
        {"CAMSIM_FAIL", "fc2Connect=1,"},
    };
    for (const auto &[name, value] : knobs) {
        SCOPED_TRACE(std::string(name) + "=" + value);
        Launch run;
        run.program = "consulta_exposicion";
        run.knobs[name] = value;
        Result result = harness::run(run);
        EXPECT_EQ(result.out, "Lectura de Shutter Speed = 10.0ms\n");
        EXPECT_EQ(result.status, 0);
        const std::string start = std::string("camsim: ignoring ") + name + "='" + value + "': ";
        EXPECT_EQ(result.err.compare(0, start.size(), start), 0) << result.err;
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1);
    }
}

TEST(Simulator, ADamagedStateFileReadsAsFactorySettings)
{
    const char *damaged[] = {
        "", "garbage\n", "camsim-state 1\n0 12 1 1 0 1 0 2520 0\n",
        "camsim-state 1\n0 12 1 1 0 1 0 2520 0 nan 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0\n",
        "camsim-state 1\n0 99 1 1 0 1 0 2520 0 5 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0\n"};
    for (const char *content : damaged) {
        SCOPED_TRACE(content);
        Camera camera;
        write_file(camera.state_path(), content);
        Launch read;
        read.program = "consulta_exposicion";
        EXPECT_EQ(camera.run(read).out, "Lectura de Shutter Speed = 10.0ms\n");
        Launch write;
        write.program = "ganancia";
        write.input = "4\n";
        EXPECT_EQ(camera.run(write).status, 0);
        read.program = "consulta_amplificacion";
        EXPECT_EQ(camera.run(read).out, "Lectura de Ganancia = 4.000000dB\n");
    }
}

TEST(Simulator, TwoProcessesWritingAtOnceLoseNoChange)
{
    Camera camera;
    auto hammer = [&camera](const char *type, const char *first, Result &result) {
        Camera own; // its own working directories, the shared camera's state
        Launch run = client({"hammer", type, "1000", first, "0.01"});
        run.knobs["CAMSIM_STATE"] = camera.state_path();
        result = own.run(run);
    };
    Result shutter, gain;
    std::thread a(hammer, "12", "1", std::ref(shutter));
    std::thread b(hammer, "13", "2", std::ref(gain));
    a.join();
    b.join();
    EXPECT_EQ(shutter.out, "failures 0\n");
    EXPECT_EQ(gain.out, "failures 0\n");
    EXPECT_EQ(shutter.err + gain.err, "");
    // Each process's last write survives the other's.
    Launch read;
    read.program = "consulta_exposicion";
    EXPECT_EQ(camera.run(read).out, "Lectura de Shutter Speed = 11.0ms\n");
    read.program = "consulta_amplificacion";
    char gain_line[64];
    snprintf(gain_line, sizeof gain_line, "Lectura de Ganancia = %fdB\n", 2.0f + 0.01f * 999);
    EXPECT_EQ(camera.run(read).out, gain_line);
    std::string state = read_file(camera.state_path());
    EXPECT_EQ(state.compare(0, 15, "camsim-state 1\n"), 0);
    EXPECT_EQ(std::count(state.begin(), state.end(), '\n'), 4);
}

TEST(Simulator, SavingReplacesALinkAtTheFrameNameAndNeverFollowsIt)
{
    Camera camera;
    write_file(camera.directory() + "/outside.txt", "not a frame");
    Launch run;
    run.program = "captura_simple";
    run.prepare = [&camera](const std::string &dir) {
        ASSERT_EQ(
            symlink((camera.directory() + "/outside.txt").c_str(), (dir + "/0001.bmp").c_str()), 0);
        ASSERT_EQ(mkdir((dir + "/0003.bmp").c_str(), 0755), 0);
    };
    Result result = camera.run(run);
    EXPECT_EQ(result.out, "Error in fc2SaveImage: 10\nPlease check write permissions.\n");
    EXPECT_EQ(read_file(camera.directory() + "/outside.txt"), "not a frame");
    EXPECT_EQ(decode_bmp(result.files["0001.bmp"]).error, "");
    EXPECT_EQ(result.entries, frame_names()); // 0003.bmp is still the directory; no leftovers
    EXPECT_EQ(result.files.count("0003.bmp"), 0u);
}

} // namespace
