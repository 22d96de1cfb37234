// The simulated sensor as the programs see it: auto exposure over a series, and scenes
// taken from PGM and PNG files (CAMSIM_SCENE).
#include "bmp.h"
#include "harness.h"

#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <png.h>
#include <sys/stat.h>

using namespace harness;

namespace
{

// A grey image, top row first, and the value of full white.
struct Picture {
    unsigned width, height, white;
    std::vector<unsigned> pixels;
};

Picture flat(unsigned value, unsigned white = 255)
{
    return {8, 6, white, std::vector<unsigned>(8 * 6, value)};
}

// Left half dark (10 % of white), right half bright (80 %).
Picture halves(unsigned white)
{
    Picture picture{8, 6, white, {}};
    for (unsigned y = 0; y < 6; ++y)
        for (unsigned x = 0; x < 8; ++x)
            picture.pixels.push_back(x < 4 ? white / 10 : white * 8 / 10);
    return picture;
}

std::string pgm(const Picture &picture)
{
    std::string bytes = "P5\n# a scene\n" + std::to_string(picture.width) + " " +
                        std::to_string(picture.height) + "\n" + std::to_string(picture.white) +
                        "\n";
    for (unsigned value : picture.pixels) {
        if (picture.white > 255)
            bytes += static_cast<char>(value >> 8);
        bytes += static_cast<char>(value & 255);
    }
    return bytes;
}

// Written by libpng: 8- or 16-bit grey, or 8-bit colour (grey in all three channels).
void write_png(const std::string &path, const Picture &picture, bool colour = false)
{
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    png.width = picture.width;
    png.height = picture.height;
    png.format = picture.white > 255 ? PNG_FORMAT_LINEAR_Y
                 : colour            ? PNG_FORMAT_RGB
                                     : PNG_FORMAT_GRAY;
    std::vector<uint16_t> deep(picture.pixels.begin(), picture.pixels.end());
    std::vector<uint8_t> bytes;
    for (unsigned value : picture.pixels)
        bytes.insert(bytes.end(), colour ? 3 : 1, static_cast<uint8_t>(value));
    const void *buffer =
        picture.white > 255 ? static_cast<const void *>(deep.data()) : bytes.data();
    ASSERT_NE(png_image_write_to_file(&png, path.c_str(), 0, buffer, 0, nullptr), 0) << png.message;
}

// A run of `program` on the scene in the file at `path`.
Launch with_scene(const std::string &program, const std::string &path)
{
    Launch run;
    run.program = program;
    run.knobs["CAMSIM_SCENE"] = path;
    return run;
}

// The mean of the columns [begin, end) over the rows [top, height).
double region_mean(const Grey &image, unsigned begin, unsigned end, unsigned top)
{
    double sum = 0;
    for (unsigned y = top; y < image.height; ++y)
        for (unsigned x = begin; x < end; ++x)
            sum += image.pixels[y * image.width + x];
    return sum / ((end - begin) * (image.height - top));
}

TEST(Sensor, AutoExposureBrightensASeriesFrameByFrame)
{
    // A 2 ms shutter leaves the gain to auto exposure, which starts from 0 dB.
    Camera camera;
    Launch set;
    set.program = "ajuste_exposicion";
    set.input = "2\n";
    ASSERT_EQ(camera.run(set).status, 0);
    Launch simple;
    simple.program = "captura_simple";
    Result compensated = camera.run(simple);
    Result factory = run(simple);
    std::vector<double> means;
    for (const std::string &name : frame_names())
        means.push_back(mean(decode_bmp(compensated.files[name])));
    for (size_t frame = 1; frame < 6; ++frame)
        EXPECT_GT(means[frame], means[frame - 1] + 1) << "frame " << frame;
    EXPECT_NEAR(means[9], mean(decode_bmp(factory.files["0009.bmp"])), means[9] * 0.02);
}

struct SceneFile {
    const char *what;
    std::function<void(const std::string &path)> make;
};

TEST(Sensor, APgmOrPngSceneShowsInTheFrames)
{
    const SceneFile files[] = {
        {"8-bit PGM", [](const std::string &path) { write_file(path, pgm(halves(255))); }},
        {"16-bit PGM", [](const std::string &path) { write_file(path, pgm(halves(65535))); }},
        {"PGM with maxval 1000",
         [](const std::string &path) { write_file(path, pgm(halves(1000))); }},
        {"8-bit PNG", [](const std::string &path) { write_png(path, halves(255)); }},
        {"16-bit PNG", [](const std::string &path) { write_png(path, halves(65535)); }},
        {"colour PNG", [](const std::string &path) { write_png(path, halves(255), true); }},
    };
    for (const SceneFile &file : files) {
        SCOPED_TRACE(file.what);
        Camera camera;
        const std::string path = camera.directory() + "/scene";
        file.make(path);
        Result result = camera.run(with_scene("captura_simple", path));
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, "");
        ASSERT_EQ(bmp_files(result), frame_names());
        Grey frame = decode_bmp(result.files["0009.bmp"]);
        ASSERT_EQ(frame.error, "");
        // Below the frame number: the right half eight times as bright as the left.
        const unsigned half = frame.width / 2, top = frame.height / 4;
        const double left = region_mean(frame, 0, half - 1, top);
        const double right = region_mean(frame, half + 1, frame.width, top);
        EXPECT_NEAR(right / left, 8.0, 1.0) << left << " " << right;
        EXPECT_EQ(frame.pixels[0], 0); // the frame number's box
    }
}

TEST(Sensor, TheSceneSetsWhereAutoExposureSettles)
{
    // Twice the light in the scene, half the shutter time.
    Camera camera;
    write_file(camera.directory() + "/grey.pgm", pgm(flat(60)));
    write_file(camera.directory() + "/light.pgm", pgm(flat(120)));
    float shutter[2];
    const char *scenes[] = {"/grey.pgm", "/light.pgm"};
    for (int i = 0; i < 2; ++i) {
        // Auto exposure runs while capturing; the camera keeps what it chose.
        EXPECT_EQ(camera.run(with_scene("captura_simple", camera.directory() + scenes[i])).err, "");
        Result result =
            camera.run(with_scene("consulta_exposicion", camera.directory() + scenes[i]));
        EXPECT_EQ(result.err, "");
        ASSERT_EQ(std::sscanf(result.out.c_str(), "Lectura de Shutter Speed = %fms", &shutter[i]),
                  1);
    }
    EXPECT_NEAR(shutter[0], 2 * shutter[1], 0.2); // printed to 0.1 ms
}

TEST(Sensor, ADirectoryOfImagesPlaysInNameOrderFrameAfterFrame)
{
    Camera camera;
    const std::string directory = camera.directory() + "/scenes";
    ASSERT_EQ(mkdir(directory.c_str(), 0755), 0);
    write_file(directory + "/2-middle.pgm", pgm(flat(120)));
    write_png(directory + "/1-dark.png", flat(40));
    write_file(directory + "/3-light.pgm", pgm(flat(200)));
    Launch run = with_scene("captura_simple", directory);
    run.knobs["CAMSIM_STAMP"] = "0";
    Result result = camera.run(run);
    EXPECT_EQ(result.err, "");
    ASSERT_EQ(bmp_files(result), frame_names());
    std::vector<double> means;
    for (const std::string &name : frame_names())
        means.push_back(mean(decode_bmp(result.files[name])));
    // Dark, middle, light, and again: auto exposure meters the sequence as a whole.
    EXPECT_LT(means[0] + 30, means[1]);
    EXPECT_LT(means[1] + 30, means[2]);
    for (size_t k = 3; k < means.size(); ++k)
        EXPECT_NEAR(means[k], means[k - 3], 3.0) << "frame " << k;
}

struct Unreadable {
    const char *what;
    std::string bytes;
    const char *reason; // the end of the message, or nullptr when libpng words it
};

TEST(Sensor, AnUnreadableSceneIsReportedOnceAndTheBuiltInSceneTaken)
{
    const Unreadable cases[] = {
        {"missing", "", "No such file or directory"},
        {"empty", "", "neither a binary grey PGM (P5) nor a PNG image"},
        {"text", "a scene, honestly\n", "neither a binary grey PGM (P5) nor a PNG image"},
        {"plain PGM", "P2\n2 2\n255\n0 0 0 0\n", "neither a binary grey PGM (P5) nor a PNG image"},
        {"colour PPM", "P6\n1 1\n255\nabc", "neither a binary grey PGM (P5) nor a PNG image"},
        {"no width", "P5\n0 2\n255\n",
         "not a PGM header with a width, a height and a maxval from 1 to 65535"},
        {"maxval beyond 16 bits", "P5\n1 1\n65536\nab",
         "not a PGM header with a width, a height and a maxval from 1 to 65535"},
        {"no height", "P5\n2 0\n255\n",
         "not a PGM header with a width, a height and a maxval from 1 to 65535"},
        {"maxval 0", "P5\n1 1\n0\na",
         "not a PGM header with a width, a height and a maxval from 1 to 65535"},
        // Refused before anything is allocated for the samples, by the file's size.
        {"samples cut short", "P5\n4 4\n255\n0123456789",
         "too short for the 4x4 image its header gives"},
        {"one sample short", "P5\n2 2\n255\n123", "too short for the 2x2 image its header gives"},
        // A PNG's signature, the header of an 8192x8192 16-bit grey image, its data's start.
        {"a PNG header alone",
         std::string("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\0\x20\0\0\0\x20\0\x10\0\0\0\0"
                     "\x07\x51\x49\xc6\0\0\0\0IDAT",
                     41),
         "too short for the 8192x8192 image its header gives"},
        {"huge", "P5\n100000 100000\n255\n", "larger than 67108864 pixels"},
        {"a directory of unreadable images", "", "no readable PGM or PNG image"},
        {"a FIFO", "", "not a regular file"},
        {"PNG signature, then nothing", "\x89PNG\r\n\x1a\n", nullptr},
        {"PNG cut short", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0", 18), nullptr},
    };
    Result built_in = run(with_faults("captura_simple"));
    for (const Unreadable &c : cases) {
        SCOPED_TRACE(c.what);
        Camera camera;
        const std::string path = camera.directory() + "/scene file";
        if (std::string(c.what) == "a directory of unreadable images") {
            ASSERT_EQ(mkdir(path.c_str(), 0755), 0);
            write_file(path + "/a.pgm", "P5\n4 4\n255\n01");
            ASSERT_EQ(mkfifo((path + "/b.png").c_str(), 0644), 0);
        } else if (std::string(c.what) == "a FIFO") {
            ASSERT_EQ(mkfifo(path.c_str(), 0644), 0);
        } else if (std::string(c.what) != "missing") {
            write_file(path, c.bytes);
        }
        Result result = camera.run(with_scene("captura_simple", path));
        const std::string start = "camsim: ignoring CAMSIM_SCENE='" + path + "': ";
        EXPECT_EQ(result.err.compare(0, start.size(), start), 0) << result.err;
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
        if (c.reason != nullptr) {
            EXPECT_EQ(result.err, start + c.reason + "\n");
        }
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.files, built_in.files); // the very frames of the built-in scene
    }
}

} // namespace
