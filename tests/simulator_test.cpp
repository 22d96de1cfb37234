// The simulated camera in process, through the SDK's declarations: the contract checks,
// property clamping and pass-through, persistence, frames and the BMP bytes.
#include "bmp.h"
#include "camera.h"
#include "files.h"
#include "harness.h"
#include "image.h"
#include "knobs.h"
#include "properties.h"
#include "sdk.h"
#include "sensor.h"
#include "state_file.h"

#include <cmath>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace harness;

namespace
{

// The simulator reads its knobs once, on first use: a state file of this process's own,
// and a small odd-stride sensor so BMP rows need padding.
const std::string unit_directory = temporary_directory("camkit-unit");
const std::string state_path = unit_directory + "/camera.state";
// Removed when the tests are over.
const struct UnitDirectory {
    ~UnitDirectory()
    {
        remove_tree(unit_directory);
    }
} unit_directory_removal;
const bool knobs_set = [] {
    setenv("CAMSIM_STATE", state_path.c_str(), 1);
    setenv("CAMSIM_SENSOR", "18x16", 1);
    setenv("CAMSIM_FPS", "0", 1);
    unsetenv("CAMSIM_FAIL");
    unsetenv("CAMSIM_LOG");
    unsetenv("CAMSIM_CAMERAS");
    return true;
}();

class SimulatedCamera : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        unlink(state_path.c_str());
        ASSERT_EQ(fc2CreateContext(&context), 0);
        unsigned int count = 0;
        ASSERT_EQ(fc2GetNumOfCameras(context, &count), 0);
        ASSERT_EQ(count, 1u);
        ASSERT_EQ(fc2GetCameraFromIndex(context, 0, &id), 0);
        ASSERT_EQ(fc2Connect(context, &id), 0);
    }
    void TearDown() override
    {
        fc2DestroyContext(context);
        unlink(state_path.c_str());
        unlink((state_path + ".lock").c_str());
    }

    camera_property read(property_type type)
    {
        camera_property property{};
        property.type = type;
        EXPECT_EQ(fc2GetProperty(context, &property), 0);
        return property;
    }

    camera_error write_absolute(property_type type, float value)
    {
        camera_property property = read(type);
        property.absolute_control = 1;
        property.auto_manual_mode = 0;
        property.absolute_value = value;
        return fc2SetProperty(context, &property);
    }

    // A capture of `frames` frames, long enough for auto exposure to settle; the camera keeps
    // what it chose when capture stops.
    void stream_frames(int frames = 16)
    {
        image_record raw{};
        ASSERT_EQ(fc2CreateImage(&raw), 0);
        ASSERT_EQ(fc2StartCapture(context), 0);
        for (int frame = 0; frame < frames; ++frame)
            ASSERT_EQ(fc2RetrieveBuffer(context, &raw), 0);
        ASSERT_EQ(fc2StopCapture(context), 0);
    }

    // Starts capture and takes one frame into raw, converted into grey.
    void take_grey_frame(image_record &raw, image_record &grey)
    {
        ASSERT_EQ(fc2CreateImage(&raw), 0);
        ASSERT_EQ(fc2CreateImage(&grey), 0);
        ASSERT_EQ(fc2StartCapture(context), 0);
        ASSERT_EQ(fc2RetrieveBuffer(context, &raw), 0);
        ASSERT_EQ(fc2ConvertImageTo(PIXEL_FORMAT_MONO8, &raw, &grey), 0);
    }

    camera_context context = nullptr;
    camera_id id{};
};

TEST_F(SimulatedCamera, ContractViolationsGetErrorCodesNeverACrash)
{
    camera_context never_created = &id;
    camera_context fresh = nullptr;
    ASSERT_EQ(fc2CreateContext(&fresh), 0); // created, not connected
    camera_context destroyed = nullptr;
    ASSERT_EQ(fc2CreateContext(&destroyed), 0);
    ASSERT_EQ(fc2DestroyContext(destroyed), 0);
    camera_property shutter{};
    shutter.type = PROPERTY_SHUTTER;
    camera_property unknown{};
    unknown.type = 7;
    image_record image{}, never_made{};
    ASSERT_EQ(fc2CreateImage(&image), 0);
    unsigned int count = 0;
    camera_id other{};

    struct Violation {
        const char *what;
        camera_error code;
        camera_error expected;
    };
    const Violation violations[] = {
        {"create into null", fc2CreateContext(nullptr), camsim::invalid_parameter},
        {"count on a context never created", fc2GetNumOfCameras(never_created, &count),
         camsim::invalid_context},
        {"count into null", fc2GetNumOfCameras(context, nullptr), camsim::invalid_parameter},
        {"camera index 1 of 1", fc2GetCameraFromIndex(context, 1, &other), camsim::not_found},
        {"connect to an unknown identifier", fc2Connect(fresh, &other), camsim::not_found},
        {"connect with null", fc2Connect(fresh, nullptr), camsim::invalid_parameter},
        {"read before connecting", fc2GetProperty(fresh, &shutter), camsim::not_connected},
        {"write before connecting", fc2SetProperty(fresh, &shutter), camsim::not_connected},
        {"start before connecting", fc2StartCapture(fresh), camsim::not_connected},
        {"read on a destroyed context", fc2GetProperty(destroyed, &shutter),
         camsim::invalid_context},
        {"destroy twice", fc2DestroyContext(destroyed), camsim::invalid_context},
        {"read into null", fc2GetProperty(context, nullptr), camsim::invalid_parameter},
        {"read a property the camera lacks", fc2GetProperty(context, &unknown),
         camsim::property_not_present},
        {"retrieve before start", fc2RetrieveBuffer(context, &image), camsim::not_started},
        {"stop before start", fc2StopCapture(context), camsim::not_started},
        {"create image into null", fc2CreateImage(nullptr), camsim::invalid_parameter},
        {"convert an empty record", fc2ConvertImageTo(PIXEL_FORMAT_MONO8, &image, &image),
         camsim::not_initialized},
        {"convert into a record never made",
         fc2ConvertImageTo(PIXEL_FORMAT_MONO8, &image, &never_made), camsim::not_initialized},
        {"convert to another format", fc2ConvertImageTo(0x1, &image, &image),
         camsim::unsupported_format},
        {"save a record never made", fc2SaveImage(&never_made, "x.bmp", FILE_FORMAT_BMP),
         camsim::not_initialized},
        {"save with a null name", fc2SaveImage(&image, nullptr, FILE_FORMAT_BMP),
         camsim::invalid_parameter},
    };
    for (const Violation &violation : violations)
        EXPECT_EQ(violation.code, violation.expected) << violation.what;
    ASSERT_EQ(fc2StartCapture(context), 0);
    EXPECT_EQ(fc2StartCapture(context), camsim::already_started);
    EXPECT_EQ(fc2RetrieveBuffer(context, &never_made), camsim::not_initialized);
    EXPECT_EQ(fc2RetrieveBuffer(context, nullptr), camsim::invalid_parameter);
    ASSERT_EQ(fc2RetrieveBuffer(context, &image), 0);
    EXPECT_EQ(fc2SaveImage(&image, "unsaved.bmp", 3), camsim::unsupported_format);
    EXPECT_NE(access("unsaved.bmp", F_OK), 0);
    EXPECT_EQ(fc2StopCapture(context), 0);
    EXPECT_EQ(fc2DestroyContext(fresh), 0);
}

TEST_F(SimulatedCamera, AbsoluteValuesAreClampedToThePropertyRange)
{
    struct Clamp {
        property_type type;
        float written, held;
    };
    const Clamp cases[] = {{PROPERTY_SHUTTER, 20.5f, 20.5f},
                           {PROPERTY_SHUTTER, 100.0f, 33.3f},
                           {PROPERTY_SHUTTER, -5.0f, 0.01f},
                           {PROPERTY_GAIN, 30.0f, 24.0f},
                           {PROPERTY_GAIN, -3.0f, 0.0f},
                           {PROPERTY_GAIN, 12.4f, 12.4f},
                           {PROPERTY_AUTO_EXPOSURE, 5.0f, 2.0f},
                           // The shutter opens for whole lines of 10 microseconds.
                           {PROPERTY_SHUTTER, 12.345f, 12.35f},
                           {PROPERTY_SHUTTER, 33.1f, 33.1f},
                           {PROPERTY_SHUTTER, 0.014f, 0.01f},
                           {PROPERTY_SHUTTER, 0.016f, 0.02f},
                           {PROPERTY_SHUTTER, 10.0f, 10.0f}};
    for (const Clamp &c : cases) {
        SCOPED_TRACE(std::to_string(c.type) + " " + std::to_string(c.written));
        ASSERT_EQ(write_absolute(c.type, c.written), 0);
        camera_property held = read(c.type);
        EXPECT_EQ(held.absolute_value, c.held);
        EXPECT_EQ(held.present, 1);
        EXPECT_EQ(held.auto_manual_mode, 0);
    }
    EXPECT_EQ(write_absolute(PROPERTY_SHUTTER, NAN), camsim::invalid_parameter);
    EXPECT_EQ(write_absolute(PROPERTY_GAIN, INFINITY), camsim::invalid_parameter);
    EXPECT_EQ(read(PROPERTY_GAIN).absolute_value, 12.4f);
}

TEST_F(SimulatedCamera, PassThroughMembersComeBackAsTheCameraHoldsThem)
{
    camera_property before = read(PROPERTY_SHUTTER);
    EXPECT_EQ(before.auto_manual_mode, 1); // factory: automatic
    EXPECT_EQ(before.absolute_value, 10.0f);
    camera_property written = before;
    written.integer_value_b = 77;
    written.reserved[3] = 99; // reserved words belong to the camera
    written.absolute_control = 1;
    written.auto_manual_mode = 0;
    written.absolute_value = 20.5f;
    ASSERT_EQ(fc2SetProperty(context, &written), 0);
    camera_property after = read(PROPERTY_SHUTTER);
    EXPECT_EQ(after.integer_value_b, 77u);
    EXPECT_EQ(after.reserved[3], 0u);
    EXPECT_EQ(after.absolute_value, 20.5f);
    EXPECT_NE(after.integer_value_a,
              before.integer_value_a); // the raw value follows the absolute one
    // Without absolute control the raw value is the setting.
    after.absolute_control = 0;
    after.integer_value_a = 4095;
    ASSERT_EQ(fc2SetProperty(context, &after), 0);
    EXPECT_EQ(read(PROPERTY_SHUTTER).absolute_value, 33.3f);
}

TEST_F(SimulatedCamera, SettingsOutliveTheContext)
{
    // A property as a context made after the write reads it.
    auto read_elsewhere = [this](property_type type) {
        camera_context second = nullptr;
        camera_property property{};
        property.type = type;
        EXPECT_EQ(fc2CreateContext(&second), 0);
        EXPECT_EQ(fc2Connect(second, &id), 0);
        EXPECT_EQ(fc2GetProperty(second, &property), 0);
        EXPECT_EQ(fc2DestroyContext(second), 0);
        return property;
    };
    ASSERT_EQ(write_absolute(PROPERTY_GAIN, 7.5f), 0);
    const camera_property gain = read_elsewhere(PROPERTY_GAIN);
    EXPECT_EQ(gain.absolute_value, 7.5f);
    EXPECT_EQ(gain.auto_manual_mode, 0);
    // The shutter stays in auto mode, at 10 ms until auto exposure runs; a capture shortens
    // it to 10 ms / 7.5 dB (in whole lines) to make up for the gain, and the camera keeps
    // that when capture stops, for this context and any other.
    camera_property shutter = read(PROPERTY_SHUTTER);
    EXPECT_EQ(shutter.auto_manual_mode, 1);
    EXPECT_EQ(shutter.absolute_value, 10.0f);
    stream_frames();
    EXPECT_EQ(read(PROPERTY_SHUTTER).absolute_value, 4.22f);
    const camera_property kept = read_elsewhere(PROPERTY_SHUTTER);
    EXPECT_EQ(kept.absolute_value, 4.22f);
    EXPECT_EQ(kept.auto_manual_mode, 1);
}

TEST_F(SimulatedCamera, SavedFramesAreGreyBmpsWithPaddedBottomUpRows)
{
    image_record raw{}, grey{};
    take_grey_frame(raw, grey);
    const std::string path = unit_directory + "/frame.bmp";
    ASSERT_EQ(fc2SaveImage(&grey, path.c_str(), FILE_FORMAT_BMP), 0);
    const std::string bytes = read_file(path);
    unlink(path.c_str());

    // 18 pixels a row pad to 20 bytes; 16 rows.
    const unsigned char expected_header[54] = {
        'B', 'M', 0x76, 0x05, 0, 0, 0, 0, 0, 0, 0x36, 0x04, 0, 0, // file: 1398 bytes, at
                                                                  // 1078
        40, 0, 0, 0, 18, 0, 0, 0, 16, 0, 0, 0, 1, 0, 8,
        0,                            // info: 18x16, 8 bits
        0, 0, 0, 0, 0x40, 0x01, 0, 0, // uncompressed, 320 bytes
        0x13, 0x0b, 0, 0, 0x13, 0x0b, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0};
    ASSERT_EQ(bytes.size(), 1398u);
    EXPECT_EQ(bytes.substr(0, 54),
              std::string(reinterpret_cast<const char *>(expected_header), 54));
    Grey frame = decode_bmp(bytes);
    EXPECT_EQ(frame.error, "");
    EXPECT_EQ(frame.width, 18u);
    EXPECT_EQ(frame.height, 16u);
    // The frame number box sits at the top left, in black.
    EXPECT_EQ(frame.pixels[0], 0);
}

TEST(Conversion, EachGreyPixelIsTheMeanOfTheTwoByTwoBlockAtIt)
{
    camsim::Image raw;
    raw.layout = camsim::PixelLayout::bayer_rggb;
    raw.width = raw.stride = 4;
    raw.height = 2;
    raw.pixels = {100, 200, 100, 200, //
                  0,   40,  0,   40};
    camsim::Image grey;
    ASSERT_EQ(camsim::convert_to_mono8(raw, grey), camsim::ok);
    EXPECT_EQ(grey.stride, 4u);
    // Bottom-up rows; the last row and column take the block before them.
    const std::vector<uint8_t> row = {85, 85, 85, 85};
    EXPECT_EQ(std::vector<uint8_t>(grey.pixels.begin(), grey.pixels.begin() + 4), row);
    EXPECT_EQ(std::vector<uint8_t>(grey.pixels.begin() + 4, grey.pixels.end()), row);
    camsim::Image empty;
    EXPECT_EQ(camsim::convert_to_mono8(empty, grey), camsim::not_initialized);
}

TEST(Brightness, FollowsExposureTimesGainUnlessAutoExposureRuns)
{
    struct Case {
        int auto_on, shutter_auto, gain_auto;
        float shutter, gain;
        double brightness;
    };
    const Case cases[] = {
        {1, 1, 1, 2, 0, 1.0}, // factory: normalised
        {1, 0, 1, 2, 0, 1.0}, // gain still makes up the light
        {1, 0, 0, 2, 0, 0.2}, // both manual
        {0, 1, 1, 2, 0, 0.2}, // auto exposure off
        {0, 0, 0, 20, 6, 2.0 * std::pow(10.0, 6 / 20.0)},
    };
    for (const Case &c : cases) {
        camsim::Settings settings = camsim::factory_settings();
        settings.find(PROPERTY_AUTO_EXPOSURE)->on_off = c.auto_on;
        settings.find(PROPERTY_SHUTTER)->auto_manual_mode = c.shutter_auto;
        settings.find(PROPERTY_GAIN)->auto_manual_mode = c.gain_auto;
        settings.find(PROPERTY_SHUTTER)->absolute_value = c.shutter;
        settings.find(PROPERTY_GAIN)->absolute_value = c.gain;
        EXPECT_NEAR(camsim::frame_brightness(settings), c.brightness, 1e-6);
    }
}

TEST(Knobs, ParseTheirValuesOrSayWhy)
{
    struct Case {
        const char *name, *value;
        bool accepted;
    };
    const Case cases[] = {
        {"CAMSIM_SENSOR", "2048x1536", true},
        {"CAMSIM_SENSOR", "2048x", false},
        {"CAMSIM_SENSOR", "15x16", false},
        {"CAMSIM_SENSOR", "16x9000", false},
        {"CAMSIM_CAMERAS", "0", true},
        {"CAMSIM_CAMERAS", "17", false},
        {"CAMSIM_FPS", "0", true},
        {"CAMSIM_FPS", "29.97", true},
        {"CAMSIM_FPS", "nan", false},
        {"CAMSIM_FAIL", "fc2SaveImage@3=-1,fc2Connect=5", true},
        {"CAMSIM_FAIL", "fc2SaveImage@x=1", false},
        {"CAMSIM_FAIL", "", false},
        {"CAMSIM_FAIL", "fc2Connect=99999999999", false},
        {"CAMSIM_LOG", "", false},
        {"CAMSIM_FAIL", "fc2RetrieveBuffer@3+=-13/500", true},
        {"CAMSIM_FAIL", "fc2Connect=5/0,fc2Connect=5/3600000", true},
        {"CAMSIM_FAIL", "fc2Connect@+=5", false},
        {"CAMSIM_FAIL", "fc2Connect@+2=5", false},
        {"CAMSIM_CAMERAS", "+1", false},
        {"CAMSIM_SENSOR", " 64x64", false},
        {"CAMSIM_FAIL", "fc2Connect=5/", false},
        {"CAMSIM_FAIL", "fc2Connect=5/1/2", false},
        {"CAMSIM_FAIL", "fc2Connect=5,fc2Conect=5", false},
        {"CAMSIM_SCENE", "scene.pgm", true},
        {"CAMSIM_SCENE", "", false},
        {"CAMSIM_STAMP", "0", true},
        {"CAMSIM_STAMP", "1", true},
        {"CAMSIM_STAMP", "no", false},
        {"CAMSIM_STAMP", "", false},
    };
    for (const Case &c : cases) {
        camsim::Knobs knobs;
        std::string error = camsim::parse_knob(c.name, c.value, knobs);
        EXPECT_EQ(error.empty(), c.accepted) << c.name << "=" << c.value << ": " << error;
    }
    camsim::Knobs knobs;
    ASSERT_EQ(camsim::parse_knob("CAMSIM_FAIL", "fc2SaveImage@3=-1,fc2Connect=5", knobs), "");
    ASSERT_EQ(knobs.faults.size(), 2u);
    EXPECT_EQ(knobs.faults[0].operation, "fc2SaveImage");
    EXPECT_EQ(knobs.faults[0].nth, 3u);
    EXPECT_EQ(knobs.faults[0].code, -1);
    EXPECT_EQ(knobs.faults[1].nth, 0u);
}

TEST(Knobs, FaultsLastingAndSlowAreParsedAndABadEntryLeavesTheOthers)
{
    camsim::Knobs knobs;
    const std::string error = camsim::parse_knob(
        "CAMSIM_FAIL", "fc2RetrieveBuffer@3+=-13/500,fc2Conect=1,fc2SaveImage=-2/7", knobs);
    EXPECT_EQ(error, "entry 'fc2Conect=1': 'fc2Conect' is not one of the 13 operations");
    struct Expected {
        const char *operation;
        unsigned nth;
        bool onwards;
        int32_t code;
        unsigned delay_ms;
    };
    const Expected expected[] = {{"fc2RetrieveBuffer", 3, true, -13, 500},
                                 {"fc2SaveImage", 0, false, -2, 7}};
    ASSERT_EQ(knobs.faults.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(knobs.faults[i].operation, expected[i].operation);
        EXPECT_EQ(knobs.faults[i].nth, expected[i].nth);
        EXPECT_EQ(knobs.faults[i].onwards, expected[i].onwards);
        EXPECT_EQ(knobs.faults[i].code, expected[i].code);
        EXPECT_EQ(knobs.faults[i].delay_ms, expected[i].delay_ms);
    }
}

TEST_F(SimulatedCamera, AFrameOfADestroyedContextIsRefused)
{
    image_record raw{}, grey{};
    take_grey_frame(raw, grey);
    ASSERT_EQ(fc2DestroyContext(context), 0);
    const std::string file = unit_directory + "/destroyed.bmp";
    EXPECT_EQ(fc2ConvertImageTo(PIXEL_FORMAT_MONO8, &raw, &grey), camsim::invalid_context);
    EXPECT_EQ(fc2SaveImage(&grey, file.c_str(), FILE_FORMAT_BMP), camsim::invalid_context);
    EXPECT_NE(access(file.c_str(), F_OK), 0);
    ASSERT_EQ(fc2CreateContext(&context), 0); // for TearDown
}

TEST_F(SimulatedCamera, AStaleContextIsRefusedEvenWhenANewOneTakesItsPlace)
{
    // Contexts made and destroyed in turn: a handle that named an address would now name
    // the newest context.
    camera_context stale = nullptr, fresh = nullptr;
    ASSERT_EQ(fc2CreateContext(&stale), 0);
    ASSERT_EQ(fc2DestroyContext(stale), 0);
    for (int i = 0; i < 8; ++i) {
        ASSERT_EQ(fc2CreateContext(&fresh), 0);
        EXPECT_NE(fresh, stale);
        if (i < 7) {
            ASSERT_EQ(fc2DestroyContext(fresh), 0);
        }
    }
    ASSERT_EQ(fc2Connect(fresh, &id), 0);
    unsigned int count = 0;
    camera_property shutter{};
    shutter.type = PROPERTY_SHUTTER;
    image_record image{};
    ASSERT_EQ(fc2CreateImage(&image), 0);
    struct Refusal {
        const char *what;
        camera_error code;
    };
    const Refusal refusals[] = {
        {"count", fc2GetNumOfCameras(stale, &count)},
        {"connect", fc2Connect(stale, &id)},
        {"read", fc2GetProperty(stale, &shutter)},
        {"write", fc2SetProperty(stale, &shutter)},
        {"start", fc2StartCapture(stale)},
        {"retrieve", fc2RetrieveBuffer(stale, &image)},
        {"stop", fc2StopCapture(stale)},
        {"destroy", fc2DestroyContext(stale)},
    };
    for (const Refusal &refusal : refusals)
        EXPECT_EQ(refusal.code, camsim::invalid_context) << refusal.what;
    // The new context works, and the stale handle's calls left it alone.
    EXPECT_EQ(fc2GetProperty(fresh, &shutter), 0);
    EXPECT_EQ(fc2StopCapture(fresh), camsim::not_started);
    EXPECT_EQ(fc2DestroyContext(fresh), 0);
}

TEST(ImageRecords, ARecordTheSdkNeverFilledIsRefused)
{
    image_record made{};
    ASSERT_EQ(fc2CreateImage(&made), 0);
    image_record forged = made;
    forged.opaque[1] += 1000000; // a record number not given yet
    image_record zeroed{};
    EXPECT_EQ(fc2SaveImage(&forged, "x.bmp", FILE_FORMAT_BMP), camsim::not_initialized);
    EXPECT_EQ(fc2ConvertImageTo(PIXEL_FORMAT_MONO8, &made, &forged), camsim::not_initialized);
    EXPECT_EQ(fc2ConvertImageTo(PIXEL_FORMAT_MONO8, &zeroed, &made), camsim::not_initialized);
}

// A record written as the camera's manual or auto mode, with a value.
camera_property setting(property_type type, int auto_mode, float value, int on = 1)
{
    camera_property record{};
    record.type = type;
    record.present = record.absolute_control = 1;
    record.on_off = on;
    record.auto_manual_mode = auto_mode;
    record.absolute_value = value;
    return record;
}

TEST_F(SimulatedCamera, AutoExposureSettlesOnTheTargetPreferringTheShutter)
{
    struct Case {
        const char *what;
        camera_property written[3];
        float shutter, gain; // as read back
    };
    const Case cases[] = {
        {"factory", {}, 10.0f, 0.0f},
        {"EV +1 doubles the light", {setting(PROPERTY_AUTO_EXPOSURE, 0, 1.0f)}, 20.0f, 0.0f},
        {"EV -1 halves it", {setting(PROPERTY_AUTO_EXPOSURE, 0, -1.0f)}, 5.0f, 0.0f},
        {"EV +2: the longest shutter, then gain",
         {setting(PROPERTY_AUTO_EXPOSURE, 0, 2.0f)},
         33.3f,
         static_cast<float>(20 * std::log10(40 / 33.3))},
        {"a manual shutter: gain makes up the light",
         {setting(PROPERTY_SHUTTER, 0, 2.0f)},
         2.0f,
         static_cast<float>(20 * std::log10(5.0))},
        {"a manual gain: the shutter makes up the light",
         {setting(PROPERTY_GAIN, 0, 12.0f)},
         2.51f,
         12.0f},
        {"auto exposure off: the values as last set",
         {setting(PROPERTY_SHUTTER, 1, 3.0f), setting(PROPERTY_GAIN, 1, 6.0f),
          setting(PROPERTY_AUTO_EXPOSURE, 1, 0.0f, 0)},
         3.0f,
         6.0f},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        TearDown(); // a camera at factory settings for each case
        SetUp();
        for (camera_property written : c.written) {
            if (written.type != 0) {
                ASSERT_EQ(fc2SetProperty(context, &written), 0);
            }
        }
        stream_frames();
        EXPECT_NEAR(read(PROPERTY_SHUTTER).absolute_value, c.shutter, 1e-5);
        EXPECT_NEAR(read(PROPERTY_GAIN).absolute_value, c.gain, 1e-5);
    }
}

TEST_F(SimulatedCamera, AutoExposureMovesFrameByFrameAndReportsWhatItChose)
{
    // Each run starts from the values the camera holds and converges on its target; what a
    // read reports while streaming is the last frame's value.
    struct Case {
        const char *what;
        camera_property written;
        property_type moving;
        float first, last; // the first and the tenth frame's value
    };
    const double gain_for_2ms = 20 * std::log10(5.0);
    const Case cases[] = {
        {"a 2 ms shutter: the gain climbs", setting(PROPERTY_SHUTTER, 0, 2.0f), PROPERTY_GAIN, 0.0f,
         static_cast<float>(gain_for_2ms)},
        {"12 dB of gain: the shutter shortens", setting(PROPERTY_GAIN, 0, 12.0f), PROPERTY_SHUTTER,
         10.0f, 2.51f},
        {"EV +1: the shutter lengthens", setting(PROPERTY_AUTO_EXPOSURE, 0, 1.0f), PROPERTY_SHUTTER,
         10.0f, 20.0f},
    };
    image_record raw{};
    ASSERT_EQ(fc2CreateImage(&raw), 0);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        TearDown();
        SetUp();
        camera_property written = c.written;
        ASSERT_EQ(fc2SetProperty(context, &written), 0);
        ASSERT_EQ(fc2StartCapture(context), 0);
        std::vector<float> seen;
        for (int frame = 0; frame < 12; ++frame) {
            ASSERT_EQ(fc2RetrieveBuffer(context, &raw), 0);
            seen.push_back(read(c.moving).absolute_value);
        }
        EXPECT_EQ(seen[0], c.first);
        for (int frame = 1; frame < 6; ++frame) // a step each frame, the same way
            EXPECT_GT((seen[frame] - seen[frame - 1]) * (c.last - c.first), 0.0f)
                << "frame " << frame;
        EXPECT_NEAR(seen[9], c.last, std::fabs(c.last - c.first) * 0.01); // within 1 %
        EXPECT_NEAR(seen[11], c.last, 1e-5);                              // settled
        EXPECT_EQ(fc2StopCapture(context), 0);
        // Outside a stream a read reports what auto exposure chose last: the camera keeps it.
        EXPECT_NEAR(read(c.moving).absolute_value, c.last, 1e-5);
    }
}

TEST_F(SimulatedCamera, AutoExposureFollowsASettingChangedWhileStreaming)
{
    image_record raw{};
    ASSERT_EQ(fc2CreateImage(&raw), 0);
    ASSERT_EQ(fc2StartCapture(context), 0);
    for (int frame = 0; frame < 3; ++frame)
        ASSERT_EQ(fc2RetrieveBuffer(context, &raw), 0);
    EXPECT_EQ(read(PROPERTY_SHUTTER).absolute_value, 10.0f); // settled from the start
    ASSERT_EQ(write_absolute(PROPERTY_GAIN, 6.0f), 0);
    // The next frame still has the old shutter at the new gain; then the shutter shortens
    // towards 10 ms / 6 dB.
    std::vector<float> seen;
    for (int frame = 0; frame < 12; ++frame) {
        ASSERT_EQ(fc2RetrieveBuffer(context, &raw), 0);
        seen.push_back(read(PROPERTY_SHUTTER).absolute_value);
    }
    EXPECT_EQ(seen[0], 10.0f);
    EXPECT_LT(seen[1], seen[0]);
    EXPECT_LT(seen[2], seen[1]);
    EXPECT_GT(seen[2], 5.01f);
    EXPECT_EQ(seen[11], 5.01f); // 10 / 10^(6/20) in whole lines
    EXPECT_EQ(fc2StopCapture(context), 0);
}

TEST(ReplaceFile, LeavesTheOldFileOrTheNewUnderItsNameAndNothingElse)
{
    struct Case {
        const char *what;
        std::function<void(const std::string &dir)> before;
        std::string written; // what the fill writes
        size_t size;         // what the file is said to hold
        bool replaced;       // and whether x is then the new file
        std::string left;    // bytes of x afterwards, when it is a file
    };
    const std::string fresh = "new bytes";
    const Case cases[] = {
        {"nothing there", [](const std::string &) {}, fresh, fresh.size(), true, fresh},
        {"a file there", [](const std::string &d) { write_file(d + "/x", "old"); }, fresh,
         fresh.size(), true, fresh},
        {"a link there, never followed",
         [](const std::string &d) {
             ASSERT_EQ(symlink((d + "/../outside").c_str(), (d + "/x").c_str()), 0);
         },
         fresh, fresh.size(), true, fresh},
        {"what a killed process left beside it",
         [](const std::string &d) {
             write_file(d + "/x", "old");
             // A process that is gone: its number is not given again this soon.
             const pid_t gone = fork();
             if (gone == 0)
                 _exit(0);
             ASSERT_GT(gone, 0);
             waitpid(gone, nullptr, 0);
             write_file(d + "/" + camsim::incoming_name("x", gone), "stale");
             write_file(d + "/" + camsim::incoming_name("x", getpid()), "stale");
         },
         fresh, fresh.size(), true, fresh},
        {"a directory there",
         [](const std::string &d) { ASSERT_EQ(mkdir((d + "/x").c_str(), 0700), 0); }, fresh,
         fresh.size(), false, ""},
        {"a short fill", [](const std::string &d) { write_file(d + "/x", "old"); }, "new",
         fresh.size(), false, "old"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const std::string root = temporary_directory("camkit-replace");
        const std::string dir = root + "/d";
        ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
        write_file(root + "/outside", "outside");
        c.before(dir);
        const bool replaced = camsim::replace_file(dir + "/x", 0640, c.size, [&c](int fd) {
            return camsim::write_all(fd, c.written.data(), c.written.size());
        });
        camsim::finish_freeing();
        EXPECT_EQ(replaced, c.replaced);
        EXPECT_EQ(directory_entries(dir), std::set<std::string>{"x"});
        EXPECT_EQ(read_file(root + "/outside"), "outside");
        struct stat info;
        ASSERT_EQ(lstat((dir + "/x").c_str(), &info), 0);
        if (!c.left.empty()) {
            EXPECT_EQ(read_file(dir + "/x"), c.left);
            if (c.replaced) {
                EXPECT_EQ(info.st_mode, static_cast<mode_t>(S_IFREG | 0640));
            }
        }
        remove_tree(root);
    }
}

TEST(StatePath, IsInTheRuntimeDirectoryElseInAPrivateOneInTmp)
{
    const char *saved = std::getenv("XDG_RUNTIME_DIR");
    const std::string saved_value = saved != nullptr ? saved : "";
    const std::string private_path = "/tmp/camsim-" + std::to_string(getuid()) + "/camsim.state";
    const std::pair<const char *, std::string> cases[] = {
        {"/run/user/7", "/run/user/7/camsim.state"},
        {"relative/dir", private_path},
        {"", private_path},
        {nullptr, private_path},
    };
    for (const auto &[runtime, expected] : cases) {
        if (runtime != nullptr)
            setenv("XDG_RUNTIME_DIR", runtime, 1);
        else
            unsetenv("XDG_RUNTIME_DIR");
        EXPECT_EQ(camsim::standard_state_path(), expected) << (runtime ? runtime : "unset");
    }
    if (saved != nullptr)
        setenv("XDG_RUNTIME_DIR", saved_value.c_str(), 1);
    else
        unsetenv("XDG_RUNTIME_DIR");
}

} // namespace
