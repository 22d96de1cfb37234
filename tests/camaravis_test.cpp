// The programs through camaravis against a GigE Vision camera on loopback (camaravis_fake),
// inside a network namespace this test makes that holds only the loopback interface: no
// packet of Aravis's leaves it. Where no namespace can be made the test skips, saying why.
#include "bmp.h"
#include "harness.h"
#include "loopback.h"

#include <arv.h>
#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <regex>

using namespace harness;

namespace
{

struct ProgramRun {
    std::string program;
    std::string input;
    std::optional<std::string> out; // none: left to the row's check
    std::set<std::string> entries = {};
    std::map<std::string, std::string> files = {};
};

struct AravisCase {
    const char *name;
    std::vector<ProgramRun> runs; // one after the other
    std::string held;             // what the camera holds at the end
    std::function<void(const std::vector<Result> &)> check = nullptr;
    std::vector<std::string> fake = {}; // the fake camera's options
    const char *camera = "127.0.0.1";
    bool other_controller = false; // another controller holds the camera meanwhile
};

const std::string gain_prompt = "ingrese la ganancia[0-12.4dB]: ";
const std::string factory = "ExposureTime=10000 Gain=0.00 ExposureAuto=Continuous";

// captura_config on a settings file of `ms` milliseconds and 0 dB.
ProgramRun config_run(const std::string &ms)
{
    return {"captura_config",
            "",
            ms + ".0\nnuevo tiempo es " + ms + ".000000 ms\nnueva ganancia es 0.000000 dB\n",
            frame_names(),
            {{"neo_te.txt", ms + "\n"}, {"ganancia.txt", "0\n"}}};
}

double series_mean(const Result &result)
{
    double sum = 0;
    for (const std::string &name : frame_names())
        sum += mean(decode_bmp(result.files.at(name)));
    return sum / 10;
}

TEST(Camaravis, TheProgramsOnAGigEVisionCameraOnLoopback)
{
    const std::string why = enter_loopback_namespace();
    if (!why.empty())
        GTEST_SKIP() << why;
    const AravisCase cases[] = {
        {"the shutter written is the one read",
         {{"ajuste_exposicion", "12.5\n",
           "ingrese el tiempo [0.1-33.1ms]: Tiempo de Exposición = 12.5ms\n"},
          {"consulta_exposicion", "", "Lectura de Shutter Speed = 12.5ms\n"}},
         "ExposureTime=12500 Gain=0.00 ExposureAuto=Off"},
        {"a gain over the camera's range, clamped and confirmed",
         {{"ganancia", "30\n", gain_prompt + "Nuevo valor de ganancia es  = 24.000000dB\n"}},
         "ExposureTime=10000 Gain=24.00 ExposureAuto=Continuous"},
        {"captura_manual leaves auto exposure off",
         {{"captura_manual", "", "", frame_names()}},
         "ExposureTime=10000 Gain=0.00 ExposureAuto=Off"},
        {"captura_config's frames brighten with the exposure",
         {config_run("5"), config_run("20")},
         "ExposureTime=20000 Gain=0.00 ExposureAuto=Off",
         [](const std::vector<Result> &results) {
             EXPECT_LT(series_mean(results[0]) * 3, series_mean(results[1]));
         }},
        {"a program that never destroys its context lets the camera go as it exits",
         {{"ganancia", "6\n", gain_prompt + "Nuevo valor de ganancia es  = 6.000000dB\n"},
          {"captura_simple", "", "", frame_names()}},
         "ExposureTime=10000 Gain=6.00 ExposureAuto=Continuous"},
        {"another controller: busy at the start and at a write",
         {{"captura_simple", "", "Error in fc2StartCapture: 12\n"},
          {"ganancia", "6\n", gain_prompt + "Error in fc2SetProperty: 12\n"}},
         factory,
         nullptr,
         {},
         "127.0.0.1",
         true},
        {"a camera that stops answering mid-series: failures, then lost",
         {{"captura_simple", "", std::nullopt, frame_names({3, 4, 5, 6, 7, 8, 9})}},
         factory,
         [](const std::vector<Result> &results) {
             const std::regex failed_then_lost("(Error in retrieveBuffer: 1\n)+"
                                               "(Error in retrieveBuffer: 4\n)*"
                                               "Error in fc2StopCapture: 4\n");
             EXPECT_TRUE(std::regex_match(results[0].out, failed_then_lost)) << results[0].out;
             for (const std::string &name : bmp_files(results[0]))
                 EXPECT_EQ(decode_bmp(results[0].files.at(name)).error, "") << name;
         },
         {"--freeze-after", "3", "--fps", "2"}},
        {"an address where no camera answers: counted, none",
         {{"consulta_exposicion", "", "No cameras detected.\n"}},
         factory,
         nullptr,
         {},
         "127.0.0.2"},
    };
    for (const AravisCase &c : cases) {
        SCOPED_TRACE(c.name);
        // Small frames, so that a build with a sanitizer keeps up with the camera too.
        std::vector<std::string> options = {"--size", "320x240"};
        options.insert(options.end(), c.fake.begin(), c.fake.end());
        FakeCamera fake(CAMARAVIS_FAKE, options);
        ASSERT_TRUE(fake.ready);
        ArvDevice *controller = nullptr;
        if (c.other_controller) {
            GInetAddress *lo = g_inet_address_new_from_string("127.0.0.1");
            controller = arv_gv_device_new(lo, lo, nullptr);
            g_object_unref(lo);
            ASSERT_NE(controller, nullptr);
        }
        Camera camera;
        std::vector<Result> results;
        auto ended = std::chrono::steady_clock::now();
        for (const ProgramRun &run : c.runs) {
            // Back to back, well within the 2.5 s a camera waits for a controller that
            // went away without a word.
            ASSERT_LT(std::chrono::steady_clock::now() - ended, std::chrono::seconds(1));
            Launch launch;
            launch.program = "camaravis";
            launch.args = {run.program};
            launch.input = run.input;
            launch.files = run.files;
            launch.knobs = {{"CAMARAVIS_CAMERA", c.camera}};
            const auto started = std::chrono::steady_clock::now();
            results.push_back(camera.run(launch));
            ended = std::chrono::steady_clock::now();
            EXPECT_LT(ended - started, std::chrono::seconds(20)) << run.program;
            const Result &result = results.back();
            if (run.out) {
                EXPECT_EQ(result.out, *run.out) << run.program;
            }
            EXPECT_EQ(result.err, "") << run.program;
            EXPECT_EQ(result.status, 0) << run.program;
            EXPECT_EQ(bmp_files(result), run.entries) << run.program;
        }
        if (controller != nullptr)
            g_object_unref(controller);
        if (c.check)
            c.check(results);
        EXPECT_EQ(fake.stop(), c.held);
    }
}

} // namespace
