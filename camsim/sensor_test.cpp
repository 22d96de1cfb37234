// The sensor's photosites in process: noise that grows with signal and with gain, and
// saturation, measured on the grey frames a camera of the test's own configuration saves.
#include "bmp.h"
#include "harness.h"
#include "simulated_camera_test.h"

#include <algorithm>
#include <cmath>

using namespace camsim_test;

namespace
{

// A flat scene file at `value` of 255.
std::string flat_scene(const std::string &directory, unsigned value)
{
    const std::string path = directory + "/flat" + std::to_string(value) + ".pgm";
    harness::write_file(path, "P5\n8 6\n255\n" + std::string(8 * 6, static_cast<char>(value)));
    return path;
}

// Grey frame `number` of a capture with the shutter and gain set by hand, as saved: on a
// 160x120 sensor of the configuration, unstamped, seeing the scene file (the built-in scene
// when empty).
harness::Grey grey_frame(const std::string &directory, const std::string &scene, float shutter_ms,
                         float gain_db, unsigned number)
{
    camsim::Config config = small_camera(directory);
    config.width = 160;
    config.height = 120;
    config.stamp = false;
    config.scene_path = scene;
    camsim::Simulator simulator(config);
    camera_context context = nullptr;
    camera_id id{};
    image_record raw{}, grey{};
    EXPECT_EQ(core::create_context(simulator, &context), 0);
    EXPECT_EQ(core::camera_from_index(context, 0, &id), 0);
    EXPECT_EQ(core::connect(context, &id), 0);
    for (auto [type, value] :
         {std::make_pair(PROPERTY_SHUTTER, shutter_ms), std::make_pair(PROPERTY_GAIN, gain_db)}) {
        camera_property property{};
        property.type = type;
        property.absolute_control = property.on_off = 1;
        property.absolute_value = value;
        EXPECT_EQ(core::set_property(context, &property), 0);
    }
    EXPECT_EQ(core::create_image(&raw), 0);
    EXPECT_EQ(core::create_image(&grey), 0);
    EXPECT_EQ(core::start_capture(context), 0);
    for (unsigned frame = 0; frame <= number; ++frame)
        EXPECT_EQ(retrieve(context, &raw), 0);
    EXPECT_EQ(core::convert_image(PIXEL_FORMAT_MONO8, &raw, &grey), 0);
    const std::string path = directory + "/frame.bmp";
    EXPECT_EQ(core::save_image(&grey, path.c_str(), FILE_FORMAT_BMP), 0);
    EXPECT_EQ(core::destroy_context(context), 0);
    unlink(simulator.config.state.path.c_str());
    return harness::decode_bmp(process::read_file(path));
}

double deviation(const harness::Grey &image)
{
    const double average = harness::mean(image);
    double sum = 0;
    for (uint8_t pixel : image.pixels)
        sum += (pixel - average) * (pixel - average);
    return std::sqrt(sum / image.pixels.size());
}

struct Exposed {
    const char *what;
    float shutter, gain;
    double mean, deviation; // measured over frame 5
};

TEST_F(SimulatedCamera, NoiseGrowsWithSignalAndWithGain)
{
    // Equal light twice: 20 ms at 0 dB and 5.02 ms at 12 dB (x 3.98); then half the light.
    Exposed runs[] = {{"20 ms, 0 dB", 20, 0, 0, 0},
                      {"5.02 ms, 12 dB", 5.02f, 12, 0, 0},
                      {"5 ms, 0 dB", 5, 0, 0, 0}};
    const std::string scene = flat_scene(directory, 64);
    for (Exposed &exposed : runs) {
        SCOPED_TRACE(exposed.what);
        harness::Grey frame = grey_frame(directory, scene, exposed.shutter, exposed.gain, 5);
        ASSERT_EQ(frame.error, "");
        exposed.mean = harness::mean(frame);
        exposed.deviation = deviation(frame);
        std::printf("%s: mean %.2f, standard deviation %.2f\n", exposed.what, exposed.mean,
                    exposed.deviation);
    }
    EXPECT_NEAR(runs[1].mean, runs[0].mean, 1.0);
    EXPECT_GT(runs[1].deviation, 1.6 * runs[0].deviation); // gain amplifies the noise
    EXPECT_NEAR(runs[2].mean * 4, runs[0].mean, 4.0);
    EXPECT_GT(runs[0].deviation, 1.3 * runs[2].deviation); // shot noise grows with signal
    // The same noise for the same frame number, fresh noise each frame: unstamped frames of a
    // still scene differ.
    const harness::Grey first = grey_frame(directory, scene, 20, 0, 0);
    ASSERT_EQ(first.error, "");
    EXPECT_EQ(grey_frame(directory, scene, 20, 0, 0).pixels, first.pixels);
    EXPECT_NE(grey_frame(directory, scene, 20, 0, 1).pixels, first.pixels);
}

TEST_F(SimulatedCamera, SaturatedPhotositesReadExactly255)
{
    const std::string white = flat_scene(directory, 255);
    for (unsigned number = 0; number < 10; ++number) {
        SCOPED_TRACE(number);
        harness::Grey frame = grey_frame(directory, white, 33, 12, number);
        ASSERT_EQ(frame.error, "");
        EXPECT_EQ(frame.pixels, std::vector<uint8_t>(frame.pixels.size(), 255));
    }
    // The built-in scene's bright disc saturates too.
    harness::Grey frame = grey_frame(directory, "", 33, 12, 0);
    EXPECT_GT(std::count(frame.pixels.begin(), frame.pixels.end(), 255), 1000);
}

} // namespace
