// The simulated camera as processes see it: the 13 operations, fault injection and the
// call log for each, malformed knobs, the state file shared by processes, frame files.
#include "bmp.h"
#include "harness.h"

#include <chrono>
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
        {"CAMSIM_FAIL", "fc2Connect+=1"},
        {"CAMSIM_FAIL", "fc2Connect@2++=1"},
        {"CAMSIM_FAIL", "fc2Connect=1/x"},
        {"CAMSIM_FAIL", "fc2Connect=1/-5"},
        {"CAMSIM_FAIL", "fc2Connect=1/3600001"},
        {"CAMSIM_FAIL", "fc2Connect=/5"},
    };
    for (const auto &[name, value] : knobs) {
        SCOPED_TRACE(std::string(name) + "=" + value);
        Launch run;
        run.program = "consulta_exposicion";
        run.knobs[name] = value;
        Result result = harness::run(run);
        EXPECT_EQ(result.out, "Lectura de Shutter Speed = 10.0ms\n");
        EXPECT_EQ(result.status, 0);
        // CAMSIM_FAIL is checked entry by entry.
        const std::string start = std::string("camsim: ignoring ") + name +
                                  (std::string(name) == "CAMSIM_FAIL" ? " entry '" : "='") + value +
                                  "': ";
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

struct PartlyBadFaults {
    const char *fail;
    const char *out;
    const char *err;
};

TEST(Simulator, ABadFaultEntryIsReportedAloneAndTheOthersStayInForce)
{
    const PartlyBadFaults cases[] = {
        {"fc2Conect=3,fc2GetProperty=-4", "Error in fc2GetProperty: -4\n",
         "camsim: ignoring CAMSIM_FAIL entry 'fc2Conect=3': 'fc2Conect' is not one of the 13 "
         "operations\n"},
        {"fc2GetProperty=-4,", "Error in fc2GetProperty: -4\n",
         "camsim: ignoring CAMSIM_FAIL entry '': no '=code'\n"},
        {"fc2GetProperty@1+=-4,fc2Connect=1/x,fc2Connect@0=2", "Error in fc2GetProperty: -4\n",
         "camsim: ignoring CAMSIM_FAIL entry 'fc2Connect=1/x': the delay must be a whole number "
         "of milliseconds from 0 to 3600000\n"
         "camsim: ignoring CAMSIM_FAIL entry 'fc2Connect@0=2': the call number must be a whole "
         "number from 1, optionally followed by '+'\n"},
    };
    for (const PartlyBadFaults &c : cases) {
        SCOPED_TRACE(c.fail);
        Result result = harness::run(with_faults("consulta_exposicion", c.fail));
        EXPECT_EQ(result.out, c.out);
        EXPECT_EQ(result.err, c.err);
        EXPECT_EQ(result.status, 0);
    }
}

// Frame number and time (ms) of each fc2RetrieveBuffer line that took a frame.
struct Taken {
    long frame;
    double time;
    std::string code;
};

std::vector<Taken> frames_taken(const Result &result)
{
    std::vector<Taken> taken;
    for (const std::string &line : calls_of(result.calls, "fc2RetrieveBuffer")) {
        std::map<std::string, std::string> f = fields(line);
        if (f.count("frame"))
            taken.push_back({std::stol(f["frame"]), std::stod(f["time"]), f["code"]});
    }
    return taken;
}

// A client run with the sensor at `fps` frames a second (the client sets a short shutter, so
// the frame rate alone sets the period).
Result paced(const std::vector<std::string> &args, const std::string &fps)
{
    Launch run = client(args);
    run.knobs["CAMSIM_FPS"] = fps;
    return harness::run(run);
}

TEST(SensorClock, AConsumerSleepingTwoPeriodsSeesFrameNumbersSkip)
{
    // 100 frames a second; the client sleeps 20 ms after each retrieval.
    Result result = paced({"stream", "1", "10", "20000", "1"}, "100");
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out.compare(0, 21, "capture 0 failures 0 "), 0) << result.out;
    std::vector<Taken> taken = frames_taken(result);
    ASSERT_EQ(taken.size(), 10u);
    EXPECT_EQ(taken[0].frame, 0);
    for (size_t i = 0; i < taken.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_DOUBLE_EQ(taken[i].time, taken[i].frame * 10.0); // on the sensor's grid
        if (i > 0) { // two periods later the sensor has made at least two frames more
            EXPECT_GE(taken[i].frame - taken[i - 1].frame, 2);
        }
    }
}

TEST(SensorClock, FrameNumbersStartAtZeroAtEachStartOfCapture)
{
    Result result = paced({"stream", "2", "3", "0", "0"}, "0");
    EXPECT_EQ(result.err, "");
    int failures[2] = {-1, -1};
    ASSERT_EQ(std::sscanf(result.out.c_str(),
                          "capture 0 failures %d last %*f capture 1 failures %d", &failures[0],
                          &failures[1]),
              2)
        << result.out;
    EXPECT_EQ(failures[0] + failures[1], 0);
    std::vector<long> numbers;
    for (const Taken &t : frames_taken(result)) {
        numbers.push_back(t.frame);
        EXPECT_EQ(t.time, 0.0); // unpaced
    }
    EXPECT_EQ(numbers, (std::vector<long>{0, 1, 2, 0, 1, 2}));
}

TEST(SensorClock, TheGridDoesNotDriftOverALongRun)
{
    // 500 frames at 500 frames a second, taken as fast as the client can.
    Result result = paced({"stream", "1", "500", "0", "1"}, "500");
    EXPECT_EQ(result.err, "");
    double last_ms = 0;
    ASSERT_EQ(std::sscanf(result.out.c_str(), "capture 0 failures 0 last %lf", &last_ms), 1)
        << result.out;
    std::vector<Taken> taken = frames_taken(result);
    ASSERT_EQ(taken.size(), 500u);
    const Taken &last = taken.back();
    EXPECT_DOUBLE_EQ(last.time, last.frame * 2.0);
    // The last frame came no sooner than the grid has it, and late wake-ups did not add up.
    EXPECT_GE(last_ms, last.time);
    EXPECT_LE(last_ms, last.time * 1.05 + 50) << "frame " << last.frame;
}

TEST(SensorClock, ThreadsOnOneContextShareTheFramesAtTheSensorsRate)
{
    // Three threads take ten frames each at 200 frames a second.
    Result result = paced({"threads", "3", "10", "1"}, "200");
    EXPECT_EQ(result.err, "");
    double last_ms = 0;
    ASSERT_EQ(std::sscanf(result.out.c_str(), "failures 0 last %lf", &last_ms), 1) << result.out;
    std::set<long> numbers;
    for (const Taken &t : frames_taken(result))
        numbers.insert(t.frame);
    EXPECT_EQ(numbers.size(), 30u); // each frame delivered once
    // Thirty frames, the first at once: the last is ready 29 periods after the start.
    EXPECT_GE(last_ms, 29 * 5.0);
}

TEST(SensorClock, AShutterWrittenElsewhereSetsThePeriodFromTheNextFrame)
{
    // 100 frames a second at 1 ms; then another context sets 25 ms, longer than 1/100 s.
    Result result = paced({"retime", "4", "1", "25"}, "100");
    EXPECT_EQ(result.out, "failures 0\n");
    std::vector<Taken> taken = frames_taken(result);
    ASSERT_EQ(taken.size(), 8u);
    for (size_t i = 1; i < taken.size(); ++i) {
        SCOPED_TRACE(i);
        const double per_frame =
            (taken[i].time - taken[i - 1].time) / (taken[i].frame - taken[i - 1].frame);
        EXPECT_NEAR(per_frame, i < 4 ? 10.0 : 25.0, 1e-6);
    }
}

TEST(SensorClock, AWaitingRetrievalReturnsWhenAnotherThreadStopsOrDestroys)
{
    // Half a frame a second: the next frame is two seconds away.
    const std::pair<const char *, const char *> cases[] = {
        {"stop", "stop 0 retrieval 6 after less than a second\n"},
        {"destroy", "destroy 0 retrieval 3 after less than a second\n"},
    };
    for (const auto &[how, out] : cases) {
        SCOPED_TRACE(how);
        Result result = paced({"interrupt", how, "1"}, "0.5");
        EXPECT_EQ(result.out, out);
        EXPECT_EQ(result.err, "");
        std::vector<std::string> retrievals = calls_of(result.calls, "fc2RetrieveBuffer");
        ASSERT_EQ(retrievals.size(), 2u);
        EXPECT_EQ(retrievals[1],
                  std::string("fc2RetrieveBuffer -> ") + (how[0] == 's' ? "6" : "3"));
    }
}

struct SlowFault {
    const char *program;
    const char *fail;
    const char *out;
    int delay_ms;
};

TEST(Faults, AFailureWithADelayReturnsOnlyAfterIt)
{
    const SlowFault cases[] = {
        {"captura_simple", "fc2RetrieveBuffer@3=-13/300", "Error in retrieveBuffer: -13\n", 300},
        {"consulta_exposicion", "fc2GetProperty=-4/200", "Error in fc2GetProperty: -4\n", 200},
        {"consulta_exposicion", "fc2Connect@1+=-5/250", "Error in fc2Connect: -5\n", 250},
    };
    for (const SlowFault &c : cases) {
        SCOPED_TRACE(c.fail);
        const auto start = std::chrono::steady_clock::now();
        Result result = harness::run(with_faults(c.program, c.fail));
        const auto elapsed = std::chrono::steady_clock::now() - start;
        EXPECT_EQ(result.out, c.out);
        EXPECT_EQ(result.err, "");
        EXPECT_GE(elapsed, std::chrono::milliseconds(c.delay_ms));
    }
}

TEST(Faults, AFailedRetrievalLosesTheFrameItWouldHaveReturned)
{
    Result result = harness::run(with_faults("captura_simple", "fc2RetrieveBuffer@4=-9"));
    EXPECT_EQ(result.out, "Error in retrieveBuffer: -9\n");
    std::vector<Taken> taken = frames_taken(result);
    ASSERT_EQ(taken.size(), 10u);
    for (long i = 0; i < 10; ++i) {
        EXPECT_EQ(taken[i].frame, i);
        EXPECT_EQ(taken[i].code, i == 3 ? "-9" : "0");
    }
    // So 0004.bmp shows frame 4, as a clean run's 0004.bmp does.
    Result clean = harness::run(with_faults("captura_simple"));
    EXPECT_EQ(result.files["0004.bmp"], clean.files["0004.bmp"]);
    EXPECT_NE(result.files["0004.bmp"], clean.files["0003.bmp"]);
}

} // namespace
