// Every program opens the camera the same way: each failed step prints its one line and
// ends the run, exit status 0, nothing more called, the context left alone.
#include "harness.h"

#include <gtest/gtest.h>

using namespace harness;

namespace
{

const std::vector<std::string> all_programs = {
    "captura_simple", "captura_manual",      "captura_config",        "ajuste_exposicion",
    "ganancia",       "consulta_exposicion", "consulta_amplificacion"};

// Each program with what it needs to get past its own step: settings files, an answer.
Launch program_run(const std::string &program)
{
    Launch run;
    run.program = program;
    run.files = {{"neo_te.txt", "10\n"}, {"ganancia.txt", "5\n"}};
    run.input = "5\n";
    return run;
}

struct ConnectionFailure {
    const char *knob;
    const char *value;
    const char *out;
    std::vector<std::string> calls;
};

const ConnectionFailure connection_failures[] = {
    {"CAMSIM_FAIL",
     "fc2CreateContext=-1",
     "Error in fc2CreateContext: -1\n",
     {"fc2CreateContext -> -1 (injected)"}},
    {"CAMSIM_FAIL",
     "fc2GetNumOfCameras=-2",
     "Error in fc2GetNumOfCameras: -2\n",
     {"fc2CreateContext -> 0", "fc2GetNumOfCameras -> -2 (injected)"}},
    {"CAMSIM_CAMERAS",
     "0",
     "No cameras detected.\n",
     {"fc2CreateContext -> 0", "fc2GetNumOfCameras count=0 -> 0"}},
    {"CAMSIM_FAIL",
     "fc2GetCameraFromIndex=-3",
     "Error in fc2GetCameraFromIndex: -3\n",
     {"fc2CreateContext -> 0", "fc2GetNumOfCameras count=1 -> 0",
      "fc2GetCameraFromIndex index=0 -> -3 (injected)"}},
    {"CAMSIM_FAIL",
     "fc2Connect=-4",
     "Error in fc2Connect: -4\n",
     {"fc2CreateContext -> 0", "fc2GetNumOfCameras count=1 -> 0",
      "fc2GetCameraFromIndex index=0 -> 0", "fc2Connect serial=17140000 -> -4 (injected)"}},
    {"CAMSIM_FAIL",
     "fc2Connect=2147483647",
     "Error in fc2Connect: 2147483647\n",
     {"fc2CreateContext -> 0", "fc2GetNumOfCameras count=1 -> 0",
      "fc2GetCameraFromIndex index=0 -> 0", "fc2Connect serial=17140000 -> 2147483647 (injected)"}},
};

TEST(Connection, EachFailedStepPrintsOneLineAndEndsTheRunInEveryProgram)
{
    for (const std::string &program : all_programs)
        for (const ConnectionFailure &failure : connection_failures) {
            SCOPED_TRACE(program + " with " + failure.knob + "=" + failure.value);
            Launch run = program_run(program);
            run.knobs[failure.knob] = failure.value;
            Result result = harness::run(run);
            EXPECT_EQ(result.out, failure.out);
            EXPECT_EQ(result.err, "");
            EXPECT_EQ(result.status, 0);
            EXPECT_EQ(result.calls, failure.calls);
            EXPECT_EQ(bmp_files(result), std::set<std::string>{});
        }
}

TEST(Connection, OnlyTheFirstOfTwoCamerasIsUsed)
{
    for (const std::string &program : all_programs) {
        SCOPED_TRACE(program);
        Launch run = program_run(program);
        run.knobs["CAMSIM_CAMERAS"] = "2";
        Result result = harness::run(run);
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.err, "");
        std::vector<std::string> expected = {
            "fc2CreateContext -> 0", "fc2GetNumOfCameras count=2 -> 0",
            "fc2GetCameraFromIndex index=0 -> 0", "fc2Connect serial=17140000 -> 0"};
        ASSERT_GE(result.calls.size(), expected.size());
        EXPECT_EQ(std::vector<std::string>(result.calls.begin(), result.calls.begin() + 4),
                  expected);
        EXPECT_EQ(calls_of(result.calls, "fc2GetCameraFromIndex").size(), 1u);
    }
}

// Nor does a library planted in the working directory under a name the programs load: the
// programs in the build tree never look there.
TEST(Connection, ArgumentsAndLibrariesInTheWorkingDirectoryChangeNothing)
{
    for (const std::string &program : all_programs) {
        SCOPED_TRACE(program);
        Launch plain = program_run(program);
        Launch with_arguments = plain;
        with_arguments.args = {"-help", "--HELP", "-v", "--version=1", "-H", "0009.bmp", "20"};
        with_arguments.files["libgcc_s.so.1"] = "not a library";
        Result expected = harness::run(plain);
        Result result = harness::run(with_arguments);
        EXPECT_EQ(result.out, expected.out);
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.calls, expected.calls);
        expected.files["libgcc_s.so.1"] = "not a library";
        EXPECT_EQ(result.files, expected.files);
    }
}

TEST(Connection, HelpAndVersionNeverTouchTheCameraTheInputOrTheFiles)
{
    const std::vector<std::vector<std::string>> asks = {
        {"--help"}, {"-h"}, {"--version"}, {"20", "--help"}, {"0009.bmp", "-v", "--version"}};
    for (const std::string &program : all_programs)
        for (const std::vector<std::string> &args : asks) {
            SCOPED_TRACE(program + " " + args.back());
            Camera camera;
            Launch set_gain = program_run("ganancia");
            ASSERT_EQ(camera.run(set_gain).status, 0);
            const std::string state = read_file(camera.state_path());

            Launch run = program_run(program);
            run.files["0000.bmp"] = "a frame of an earlier series";
            run.args = args;
            Result result = camera.run(run);
            if (args.back() == "--version") {
                EXPECT_EQ(result.out, program + " (camkit) " + CAMKIT_VERSION + "\n");
            } else {
                EXPECT_EQ(result.out.rfind("Uso: " + program + " [-h | --help | --version]\n", 0),
                          0u)
                    << result.out;
                EXPECT_NE(result.out.find("No acepta otras opciones"), std::string::npos);
                EXPECT_EQ(lines_over_80_columns(result.out), "");
                if (program == "captura_config") {
                    EXPECT_NE(result.out.find("0000.bmp"), std::string::npos);
                }
                EXPECT_EQ(result.out.substr(result.out.rfind("Más")),
                          "Más información: man " + program + "\n");
            }
            EXPECT_EQ(result.err, "");
            EXPECT_EQ(result.status, 0);
            EXPECT_EQ(result.calls, std::vector<std::string>{});
            EXPECT_EQ(result.files, run.files); // nothing created, changed or removed
            EXPECT_EQ(read_file(camera.state_path()), state);
        }
}

TEST(Connection, AdjustmentProgramsNeverDestroyTheirContext)
{
    for (const char *program :
         {"ajuste_exposicion", "ganancia", "consulta_exposicion", "consulta_amplificacion"}) {
        SCOPED_TRACE(program);
        Result result = harness::run(program_run(program));
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(calls_of(result.calls, "fc2DestroyContext"), std::vector<std::string>{});
        ASSERT_GE(result.calls.size(), 4u);
        EXPECT_EQ(std::vector<std::string>(result.calls.begin(), result.calls.begin() + 4),
                  connection_calls());
    }
}

} // namespace
