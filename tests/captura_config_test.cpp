// captura_config: settings from "neo_te.txt" and "ganancia.txt", written and reported,
// then the series; a setting that cannot be read or written ends the run before capture.
#include "bmp.h"
#include "harness.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace harness;

namespace
{

Launch config(const std::string &exposure, const std::string &gain)
{
    Launch run;
    run.program = "captura_config";
    run.files = {{"neo_te.txt", exposure}, {"ganancia.txt", gain}};
    return run;
}

// The values written to the shutter and the gain, in order, checked to be manual and
// absolute.
std::vector<std::string> written(const Result &result)
{
    std::vector<std::string> values;
    for (const std::string &line : calls_of(result.calls, "fc2SetProperty")) {
        // The camera starts with each of these flags the other way (reverse_written_flags).
        auto f = fields(line);
        EXPECT_EQ(f["auto_manual_mode"], "0");
        EXPECT_EQ(f["absolute_control"], "1");
        EXPECT_EQ(f["on_off"], "1");
        EXPECT_EQ(f["one_push"], "0");
        values.push_back(f["type"] + ":" + f["absolute_value"]);
    }
    return values;
}

struct Settings {
    const char *name;
    std::string exposure_file, gain_file;
    std::string out;
    std::vector<std::string> written;
};

TEST(CapturaConfig, WritesBothSettingsReportsThemAndTakesTheSeries)
{
    const Settings cases[] = {
        {"10 and 5",
         "10\n",
         "5\n",
         "10.0\nnuevo tiempo es 10.000000 ms\nnueva ganancia es 5.000000 dB\n",
         {"12:10", "13:5"}},
        {"above the ceiling",
         "50\n",
         "0\n",
         "33.0\nnuevo tiempo es 33.000000 ms\nnueva ganancia es 0.000000 dB\n",
         {"12:33", "13:0"}},
        {"at the ceiling",
         "33.1\n",
         "12.4\n",
         "33.1\nnuevo tiempo es 33.099998 ms\nnueva ganancia es 12.400000 dB\n",
         {"12:33.0999985", "13:12.3999996"}},
        {"clamped by the camera",
         "0.001\n",
         "30\n",
         "0.0\nnuevo tiempo es 0.010000 ms\nnueva ganancia es 24.000000 dB\n",
         {"12:0.00100000005", "13:30"}},
        {"last value wins",
         "40\n8\n",
         "3\n7.25\n",
         "33.0\n8.0\nnuevo tiempo es 8.000000 ms\nnueva ganancia es 7.250000 dB\n",
         {"12:8", "13:7.25"}},
    };
    for (const Settings &settings : cases) {
        SCOPED_TRACE(settings.name);
        Camera camera;
        reverse_written_flags(camera);
        Result result = camera.run(config(settings.exposure_file, settings.gain_file));
        EXPECT_EQ(result.out, settings.out);
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(written(result), settings.written);
        EXPECT_EQ(bmp_files(result), frame_names());
        // Each setting: read, write, read back; every read handed a cleared record.
        const std::vector<std::string> setting = {"fc2GetProperty", "fc2SetProperty",
                                                  "fc2GetProperty"};
        ASSERT_GE(result.calls.size(), 10u);
        EXPECT_EQ(
            operations(std::vector<std::string>(result.calls.begin(), result.calls.begin() + 10)),
            operations(connection_calls()) + setting + setting);
        for (const std::string &read : calls_of(result.calls, "fc2GetProperty"))
            EXPECT_EQ(fields(read)["cleared"], "1") << read;
        EXPECT_EQ(std::vector<std::string>(result.calls.begin() + 10, result.calls.end()),
                  capture_calls());
    }
}

struct Stop {
    const char *name;
    std::string out;
    size_t calls; // SDK calls made before the run ended
};

TEST(CapturaConfig, ASettingThatCannotBeReadOrWrittenEndsTheRunBeforeCapture)
{
    const std::string exposure_done = "10.0\nnuevo tiempo es 10.000000 ms\n";
    struct Case {
        Stop stop;
        std::function<void(Launch &)> change;
    };
    const Case cases[] = {
        {{"exposure file missing", "No se pudo abrir el archivo neo_te.txt\n", 4},
         [](Launch &run) { run.files.erase("neo_te.txt"); }},
        {{"gain file missing", exposure_done + "No se pudo abrir el archivo ganancia.txt\n", 7},
         [](Launch &run) { run.files.erase("ganancia.txt"); }},
        {{"exposure file is a directory", "No se pudo abrir el archivo neo_te.txt\n", 4},
         [](Launch &run) {
             run.files.erase("neo_te.txt");
             run.prepare = [](const std::string &dir) {
                 mkdir((dir + "/neo_te.txt").c_str(), 0755);
             };
         }},
        {{"exposure file empty", "El archivo neo_te.txt no contiene ningún valor\n", 4},
         [](Launch &run) { run.files["neo_te.txt"] = ""; }},
        {{"exposure file of text", "El archivo neo_te.txt no contiene ningún valor\n", 4},
         [](Launch &run) { run.files["neo_te.txt"] = "diez\n\nms\n"; }},
        {{"gain file blank", exposure_done + "El archivo ganancia.txt no contiene ningún valor\n",
          7},
         [](Launch &run) { run.files["ganancia.txt"] = "\n   \n"; }},
        {{"gain file of nan only",
          exposure_done + "El archivo ganancia.txt no contiene ningún valor\n", 7},
         [](Launch &run) { run.files["ganancia.txt"] = "nan\ninf\n-inf\n"; }},
        {{"exposure write refused", "10.0\nError in fc2SetProperty: -21\n", 6},
         [](Launch &run) { run.knobs["CAMSIM_FAIL"] = "fc2SetProperty@1=-21"; }},
        {{"exposure read refused", "10.0\nError in fc2GetProperty: -20\n", 5},
         [](Launch &run) { run.knobs["CAMSIM_FAIL"] = "fc2GetProperty@1=-20"; }},
        {{"exposure read-back refused", "10.0\nError in fc2GetProperty: -22\n", 7},
         [](Launch &run) { run.knobs["CAMSIM_FAIL"] = "fc2GetProperty@2=-22"; }},
        {{"gain write refused", exposure_done + "Error in fc2SetProperty: -21\n", 9},
         [](Launch &run) { run.knobs["CAMSIM_FAIL"] = "fc2SetProperty@2=-21"; }},
        {{"gain read refused", exposure_done + "Error in fc2GetProperty: -20\n", 8},
         [](Launch &run) { run.knobs["CAMSIM_FAIL"] = "fc2GetProperty@3=-20"; }},
        {{"gain read-back refused", exposure_done + "Error in fc2GetProperty: -22\n", 10},
         [](Launch &run) { run.knobs["CAMSIM_FAIL"] = "fc2GetProperty@4=-22"; }},
        {{"exposure file is a FIFO", "No se pudo abrir el archivo neo_te.txt\n", 4},
         [](Launch &run) {
             run.files.erase("neo_te.txt");
             run.prepare = [](const std::string &dir) {
                 mkfifo((dir + "/neo_te.txt").c_str(), 0644);
             };
         }},
        {{"exposure file links to /dev/zero", "No se pudo abrir el archivo neo_te.txt\n", 4},
         [](Launch &run) {
             run.files.erase("neo_te.txt");
             run.prepare = [](const std::string &dir) {
                 ASSERT_EQ(symlink("/dev/zero", (dir + "/neo_te.txt").c_str()), 0);
             };
         }},
        {{"gain file is a FIFO", exposure_done + "No se pudo abrir el archivo ganancia.txt\n", 7},
         [](Launch &run) {
             run.files.erase("ganancia.txt");
             run.prepare = [](const std::string &dir) {
                 mkfifo((dir + "/ganancia.txt").c_str(), 0644);
             };
         }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.stop.name);
        Launch run = config("10\n", "5\n");
        run.files["0000.bmp"] = "a frame of an earlier series";
        c.change(run);
        Result result = harness::run(run);
        EXPECT_EQ(result.out, c.stop.out);
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.calls.size(), c.stop.calls);
        EXPECT_EQ(calls_of(result.calls, "fc2StartCapture"), std::vector<std::string>{});
        EXPECT_EQ(result.files["0000.bmp"], "a frame of an earlier series");
        EXPECT_EQ(bmp_files(result), std::set<std::string>{"0000.bmp"});
    }
}

TEST(CapturaConfig, TheSettingsStayWithTheCamera)
{
    Camera camera;
    EXPECT_EQ(camera.run(config("12.5\n", "6\n")).status, 0);
    Launch exposure, gain;
    exposure.program = "consulta_exposicion";
    gain.program = "consulta_amplificacion";
    EXPECT_EQ(camera.run(exposure).out, "Lectura de Shutter Speed = 12.5ms\n");
    EXPECT_EQ(camera.run(gain).out, "Lectura de Ganancia = 6.000000dB\n");
}

TEST(CapturaConfig, ShorterExposureGivesDarkerFrames)
{
    Result dark = run(config("2\n", "0\n"));
    Result bright = run(config("30\n", "0\n"));
    Grey dark_frame = decode_bmp(dark.files["0005.bmp"]);
    Grey bright_frame = decode_bmp(bright.files["0005.bmp"]);
    ASSERT_EQ(dark_frame.error, "");
    ASSERT_EQ(bright_frame.error, "");
    EXPECT_LT(mean(dark_frame) * 3, mean(bright_frame));
}

TEST(CapturaConfig, AHugeSettingsFileIsReadInBoundedMemory)
{
    // 100 MB of gain lines against a small file: the peak memory must not grow with it.
    Launch small = config("10\n", "1.5\n");
    Launch huge = small;
    huge.files.erase("ganancia.txt");
    huge.prepare = [](const std::string &dir) {
        FILE *file = fopen((dir + "/ganancia.txt").c_str(), "w");
        std::string block;
        for (int i = 0; i < 4096; ++i)
            block += "1.5 dB, a line of the gain file that goes on\n";
        for (size_t written = 0; written < 100u << 20; written += block.size())
            fwrite(block.data(), 1, block.size(), file);
        fclose(file);
    };
    Result small_result = run(small);
    Result huge_result = run(huge);
    EXPECT_EQ(huge_result.out, small_result.out);
    EXPECT_EQ(huge_result.status, 0);
    EXPECT_LT(huge_result.max_rss_kb, small_result.max_rss_kb + 8 * 1024);
}

} // namespace
