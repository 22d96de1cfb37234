// captura_simple: the capture run and the grab loop, clean and with each step failing.
#include "bmp.h"
#include "harness.h"

#include <chrono>
#include <gtest/gtest.h>

using namespace harness;

namespace
{

std::string repeat(const std::string &text, int times)
{
    std::string result;
    for (int i = 0; i < times; ++i)
        result += text;
    return result;
}

Launch simple(const std::string &fail = "")
{
    return with_faults("captura_simple", fail);
}

void expect_quiet_exit(const Result &result)
{
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.status, 0);
}

TEST(CapturaSimple, CleanRunPrintsNothingAndWritesTenReadableFrames)
{
    Result result = run(simple());
    expect_quiet_exit(result);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.calls, connection_calls() + capture_calls());
    EXPECT_EQ(result.entries, frame_names());
    for (const auto &[name, bytes] : result.files) {
        SCOPED_TRACE(name);
        Grey frame = decode_bmp(bytes);
        EXPECT_EQ(frame.error, "");
        EXPECT_EQ(frame.width, 160u);
        EXPECT_EQ(frame.height, 120u);
    }
}

TEST(CapturaSimple, FramesAtTheDefaultSensorSizeReadWithAnIndependentDecoder)
{
    Camera camera;
    Launch run = simple();
    run.knobs["CAMSIM_SENSOR"] = "1280x960";
    Result result = camera.run(run);
    expect_quiet_exit(result);
    ASSERT_EQ(bmp_files(result), frame_names());
    // Read back from the directory the program left, by netpbm's decoder.
    std::string path = camera.directory() + "/work1/0004.bmp";
    Grey independent = decode_with_bmptopnm(path);
    ASSERT_EQ(independent.error, "");
    EXPECT_EQ(independent.width, 1280u);
    EXPECT_EQ(independent.height, 960u);
    EXPECT_EQ(independent.pixels, decode_bmp(result.files["0004.bmp"]).pixels);
}

struct GrabFailure {
    const char *name;
    std::string fail;
    std::string out;
    std::set<int> missing_frames;
};

TEST(CapturaSimple, FailuresInTheGrabLoopArePrintedAndTheSeriesGoesOn)
{
    const std::string save_failed = "Error in fc2SaveImage: -12\nPlease check write permissions.\n";
    const GrabFailure cases[] = {
        {"retrieve of frame 3", "fc2RetrieveBuffer@4=-9", "Error in retrieveBuffer: -9\n", {3}},
        {"retrieve of frames 0 and 9",
         "fc2RetrieveBuffer@1=-9,fc2RetrieveBuffer@10=-10",
         "Error in retrieveBuffer: -9\nError in retrieveBuffer: -10\n",
         {0, 9}},
        // From the fourth retrieval on, as when a cable is pulled mid-stream.
        {"retrieve of frames 3 to 9",
         "fc2RetrieveBuffer@4+=-13",
         repeat("Error in retrieveBuffer: -13\n", 7),
         {3, 4, 5, 6, 7, 8, 9}},
        {"conversion of frame 5",
         "fc2ConvertImageTo@6=-11",
         "Error in fc2ConvertImageTo: -11\n",
         {5}},
        {"save of frame 2", "fc2SaveImage@3=-12", save_failed, {2}},
        {"every save", "fc2SaveImage=-12", repeat(save_failed, 10), {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}},
        // Without a raw record every retrieve fails; without a converted one every conversion.
        {"raw record creation",
         "fc2CreateImage@1=-8",
         "Error in fc2CreateImage: -8\n" + repeat("Error in retrieveBuffer: 8\n", 10),
         {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}},
        {"converted record creation",
         "fc2CreateImage@2=-8",
         "Error in fc2CreateImage: -8\n" + repeat("Error in fc2ConvertImageTo: 8\n", 10),
         {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}},
    };
    for (const GrabFailure &failure : cases) {
        SCOPED_TRACE(failure.name);
        Result result = run(simple(failure.fail));
        expect_quiet_exit(result);
        EXPECT_EQ(result.out, failure.out);
        EXPECT_EQ(result.entries, frame_names(failure.missing_frames));
        // Ten attempts whatever happens, and the run still stops and closes.
        EXPECT_EQ(calls_of(result.calls, "fc2RetrieveBuffer").size(), 10u);
        ASSERT_GE(result.calls.size(), 2u);
        EXPECT_EQ(result.calls[result.calls.size() - 2], "fc2StopCapture -> 0");
        EXPECT_EQ(result.calls.back(), "fc2DestroyContext -> 0");
        // No frame is saved under the number of one that was not converted.
        for (int frame : failure.missing_frames) {
            char name[16];
            snprintf(name, sizeof name, "%04d.bmp", frame);
            if (failure.fail.find("fc2SaveImage") == std::string::npos) {
                EXPECT_EQ(calls_of(result.calls, std::string("fc2SaveImage file=") + name),
                          std::vector<std::string>{});
            }
        }
    }
}

TEST(CapturaSimple, ConversionFailureSavesNothingUnderThatNumber)
{
    Result result = run(simple("fc2ConvertImageTo@6=-11"));
    expect_quiet_exit(result);
    std::vector<std::string> saves = calls_of(result.calls, "fc2SaveImage");
    ASSERT_EQ(saves.size(), 9u);
    EXPECT_EQ(saves[4], "fc2SaveImage file=0004.bmp format=0x2 -> 0");
    EXPECT_EQ(saves[5], "fc2SaveImage file=0006.bmp format=0x2 -> 0");
}

TEST(CapturaSimple, UnwritableDirectoryFailsEverySaveAndStillClosesTheCamera)
{
    // The working directory is gone: not even root can create a file in it.
    Launch run = simple();
    run.remove_working_directory = true;
    Result result = harness::run(run);
    expect_quiet_exit(result);
    EXPECT_EQ(result.out,
              repeat("Error in fc2SaveImage: 10\nPlease check write permissions.\n", 10));
    EXPECT_EQ(calls_of(result.calls, "fc2SaveImage").size(), 10u);
    EXPECT_EQ(calls_of(result.calls, "fc2SaveImage")[0],
              "fc2SaveImage file=0000.bmp format=0x2 -> 10");
    ASSERT_GE(result.calls.size(), 2u);
    EXPECT_EQ(result.calls[result.calls.size() - 2], "fc2StopCapture -> 0");
    EXPECT_EQ(result.calls.back(), "fc2DestroyContext -> 0");
}

struct RunFailure {
    const char *fail;
    const char *out;
    const char *last_call;
    size_t frames;
};

TEST(CapturaSimple, FailedStartStopOrDestroyEndsTheRunThere)
{
    const RunFailure cases[] = {
        {"fc2StartCapture=-5", "Error in fc2StartCapture: -5\n", "fc2StartCapture -> -5 (injected)",
         0},
        {"fc2StopCapture=-6", "Error in fc2StopCapture: -6\n", "fc2StopCapture -> -6 (injected)",
         10},
        {"fc2DestroyContext=-7", "Error in fc2DestroyContext: -7\n",
         "fc2DestroyContext -> -7 (injected)", 10},
    };
    for (const RunFailure &failure : cases) {
        SCOPED_TRACE(failure.fail);
        Result result = run(simple(failure.fail));
        expect_quiet_exit(result);
        EXPECT_EQ(result.out, failure.out);
        EXPECT_EQ(result.calls.back(), failure.last_call);
        EXPECT_EQ(bmp_files(result).size(), failure.frames);
    }
}

TEST(CapturaSimple, OverwritesFramesOfAnEarlierSeries)
{
    Launch run = simple();
    for (const std::string &name : frame_names())
        run.files[name] = "an earlier frame";
    Result result = harness::run(run);
    expect_quiet_exit(result);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.entries, frame_names()); // no temporary file left behind
    for (const auto &[name, bytes] : result.files)
        EXPECT_EQ(decode_bmp(bytes).error, "") << name;
}

TEST(CapturaSimple, EachFrameShowsItsNumberAndTheSeriesIsRepeatable)
{
    Result first = run(simple());
    Result second = run(simple());
    ASSERT_EQ(first.files.size(), 10u);
    EXPECT_EQ(first.files, second.files);
    EXPECT_NE(first.files["0000.bmp"], first.files["0001.bmp"]);
}

TEST(CapturaSimple, StreamsAtTheCameraFrameRate)
{
    Launch run = simple();
    run.knobs["CAMSIM_FPS"] = "50";
    auto start = std::chrono::steady_clock::now();
    Result result = harness::run(run);
    auto elapsed = std::chrono::steady_clock::now() - start;
    expect_quiet_exit(result);
    EXPECT_EQ(bmp_files(result).size(), 10u);
    // Frame 0 is ready at the start of capture, frame 9 nine periods of 20 ms later.
    EXPECT_GE(elapsed, std::chrono::milliseconds(180));
    for (const std::string &line : calls_of(result.calls, "fc2RetrieveBuffer")) {
        std::map<std::string, std::string> f = fields(line);
        EXPECT_EQ(std::stod(f["time"]), 20.0 * std::stoi(f["frame"])) << line;
    }
}

} // namespace
