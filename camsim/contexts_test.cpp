// Contexts and image records in process: the SDK contract's checks (handles never reused,
// frames of a destroyed context refused), frame numbers per capture, one streaming
// context (its lock refused when others could hold it), the scene read as capture starts,
// a connection broken by the camera's unplugging.
#include "bmp.h"
#include "harness.h"
#include "simulated_camera_test.h"
#include "stream_owner.h"

#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace camsim_test;

namespace
{

TEST_F(SimulatedCamera, ContractViolationsGetErrorCodesNeverACrash)
{
    camera_context never_created = &id;
    camera_context fresh = nullptr;
    ASSERT_EQ(core::create_context(simulator, &fresh), 0); // created, not connected
    // Contexts made and destroyed in turn after one: a handle that named an address would now
    // name the newest context.
    camera_context destroyed = nullptr, newest = nullptr;
    ASSERT_EQ(core::create_context(simulator, &destroyed), 0);
    ASSERT_EQ(core::destroy_context(destroyed), 0);
    for (int i = 0; i < 8; ++i) {
        ASSERT_EQ(core::create_context(simulator, &newest), 0);
        EXPECT_NE(newest, destroyed);
        if (i < 7) {
            ASSERT_EQ(core::destroy_context(newest), 0);
        }
    }
    ASSERT_EQ(core::connect(newest, &id), 0);
    camera_property shutter{};
    shutter.type = PROPERTY_SHUTTER;
    camera_property unknown{};
    unknown.type = 7;
    image_record image{}, grey{}, never_made{};
    ASSERT_EQ(core::create_image(&image), 0);
    ASSERT_EQ(core::create_image(&grey), 0);
    image_record not_given = image;
    not_given.opaque[1] += 1000000; // a record number not given yet
    unsigned int count = 0;
    camera_id other{};
    camera_id forged_serial = id;
    forged_serial.words[1] += 1;
    const std::string unsaved = directory + "/unsaved.bmp";

    struct Violation {
        const char *what;
        camera_error code;
        camera_error expected;
    };
    const Violation violations[] = {
        {"create into null", core::create_context(simulator, nullptr), camsim::invalid_parameter},
        {"count on a context never created", core::count_cameras(never_created, &count),
         camsim::invalid_context},
        {"count into null", core::count_cameras(context, nullptr), camsim::invalid_parameter},
        {"camera index 1 of 1", core::camera_from_index(context, 1, &other), camsim::not_found},
        {"connect to an unknown identifier", core::connect(fresh, &other), camsim::not_found},
        {"connect with null", core::connect(fresh, nullptr), camsim::invalid_parameter},
        {"connect to a forged serial", core::connect(fresh, &forged_serial), camsim::not_found},
        {"read before connecting", core::get_property(fresh, &shutter), camsim::not_connected},
        {"write before connecting", core::set_property(fresh, &shutter), camsim::not_connected},
        {"start before connecting", core::start_capture(fresh), camsim::not_connected},
        {"count on a destroyed context", core::count_cameras(destroyed, &count),
         camsim::invalid_context},
        {"connect a destroyed context", core::connect(destroyed, &id), camsim::invalid_context},
        {"read on a destroyed context", core::get_property(destroyed, &shutter),
         camsim::invalid_context},
        {"write on a destroyed context", core::set_property(destroyed, &shutter),
         camsim::invalid_context},
        {"start a destroyed context", core::start_capture(destroyed), camsim::invalid_context},
        {"retrieve on a destroyed context", retrieve(destroyed, &image), camsim::invalid_context},
        {"stop a destroyed context", core::stop_capture(destroyed), camsim::invalid_context},
        {"destroy twice", core::destroy_context(destroyed), camsim::invalid_context},
        // The newest context works, and the destroyed handle's calls left it alone.
        {"read on the newest context", core::get_property(newest, &shutter), camsim::ok},
        {"stop the newest context", core::stop_capture(newest), camsim::not_started},
        {"destroy the newest context", core::destroy_context(newest), camsim::ok},
        {"read into null", core::get_property(context, nullptr), camsim::invalid_parameter},
        {"read a property the camera lacks", core::get_property(context, &unknown),
         camsim::property_not_present},
        {"retrieve before start", retrieve(context, &image), camsim::not_started},
        {"stop before start", core::stop_capture(context), camsim::not_started},
        {"create image into null", core::create_image(nullptr), camsim::invalid_parameter},
        {"convert an empty record", core::convert_image(PIXEL_FORMAT_MONO8, &image, &image),
         camsim::not_initialized},
        {"convert into a record never made",
         core::convert_image(PIXEL_FORMAT_MONO8, &image, &never_made), camsim::not_initialized},
        {"convert a record never made",
         core::convert_image(PIXEL_FORMAT_MONO8, &never_made, &image), camsim::not_initialized},
        {"convert into a record number not given",
         core::convert_image(PIXEL_FORMAT_MONO8, &image, &not_given), camsim::not_initialized},
        {"save a record number not given",
         core::save_image(&not_given, unsaved.c_str(), FILE_FORMAT_BMP), camsim::not_initialized},
        {"convert to another format", core::convert_image(0x1, &image, &image),
         camsim::unsupported_format},
        {"save a record never made",
         core::save_image(&never_made, unsaved.c_str(), FILE_FORMAT_BMP), camsim::not_initialized},
        {"save with a null name", core::save_image(&image, nullptr, FILE_FORMAT_BMP),
         camsim::invalid_parameter},
        {"save with an empty name", core::save_image(&image, "", FILE_FORMAT_BMP),
         camsim::invalid_parameter},
    };
    for (const Violation &violation : violations)
        EXPECT_EQ(violation.code, violation.expected) << violation.what;
    ASSERT_EQ(core::start_capture(context), 0);
    EXPECT_EQ(core::start_capture(context), camsim::already_started);
    EXPECT_EQ(core::connect(context, &id), camsim::already_started);
    EXPECT_EQ(retrieve(context, &never_made), camsim::not_initialized);
    EXPECT_EQ(retrieve(context, nullptr), camsim::invalid_parameter);
    ASSERT_EQ(retrieve(context, &image), 0);
    EXPECT_EQ(core::save_image(&image, unsaved.c_str(), 3), camsim::unsupported_format);
    image_record forged_tag = image; // the record's number, another tag
    forged_tag.opaque[0] ^= 1;
    EXPECT_EQ(core::save_image(&forged_tag, unsaved.c_str(), FILE_FORMAT_BMP),
              camsim::not_initialized);
    // A frame, and the grey made of it, refused once the context streaming it is destroyed.
    ASSERT_EQ(core::convert_image(PIXEL_FORMAT_MONO8, &image, &grey), 0);
    ASSERT_EQ(core::destroy_context(context), 0);
    EXPECT_EQ(core::convert_image(PIXEL_FORMAT_MONO8, &image, &grey), camsim::invalid_context);
    EXPECT_EQ(core::save_image(&grey, unsaved.c_str(), FILE_FORMAT_BMP), camsim::invalid_context);
    EXPECT_NE(access(unsaved.c_str(), F_OK), 0);
    EXPECT_EQ(core::destroy_context(fresh), 0);
    ASSERT_EQ(core::create_context(simulator, &context), 0); // for TearDown
}

TEST_F(SimulatedCamera, FrameNumbersStartAtZeroAtEachStartOfCapture)
{
    image_record raw{};
    ASSERT_EQ(core::create_image(&raw), 0);
    std::vector<uint64_t> numbers;
    for (int capture = 0; capture < 2; ++capture) {
        ASSERT_EQ(core::start_capture(context), 0);
        for (int frame = 0; frame < 3; ++frame) {
            core::Delivery delivery;
            ASSERT_EQ(
                core::retrieve_buffer(context, &raw, 0, std::chrono::steady_clock::now(), delivery),
                0);
            numbers.push_back(delivery.frame);
            EXPECT_EQ(delivery.time_ms, 0.0); // unpaced
        }
        ASSERT_EQ(core::stop_capture(context), 0);
    }
    EXPECT_EQ(numbers, (std::vector<uint64_t>{0, 1, 2, 0, 1, 2}));
}

TEST_F(SimulatedCamera, OneContextStreamsTheCameraAtATimeAndTheOthersStillReadAndWrite)
{
    camera_context other = connected(simulator);
    camera_property gain = read(PROPERTY_GAIN);
    const std::pair<camera_error, camera_error> steps[] = {
        {core::start_capture(context), camsim::ok},
        {core::start_capture(other), camsim::camera_busy},
        {core::get_property(other, &gain), camsim::ok},
        {core::set_property(other, &gain), camsim::ok},
        {core::stop_capture(context), camsim::ok},
        {core::start_capture(other), camsim::ok},
        {core::destroy_context(other), camsim::ok},
        {core::start_capture(context), camsim::ok},
        {core::stop_capture(context), camsim::ok},
    };
    for (size_t step = 0; step < std::size(steps); ++step)
        EXPECT_EQ(steps[step].first, steps[step].second) << "step " << step;
    // Stopping lets go of the lock's descriptor only: one opened since, which may have its
    // number, stays open through another start and stop.
    const int unrelated = open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(core::start_capture(context), 0);
    ASSERT_EQ(core::stop_capture(context), 0);
    EXPECT_NE(fcntl(unrelated, F_GETFD), -1);
    close(unrelated);
    // A stream lock others could open is refused, so none of them holds the camera.
    const std::string lock = camsim::stream_lock_path(simulator.config.state, 0);
    ASSERT_EQ(chmod(lock.c_str(), 0640), 0);
    other = connected(simulator);
    harness::capture_output(stderr, [&] {
        EXPECT_EQ(core::start_capture(context), 0);
        EXPECT_EQ(core::start_capture(other), 0); // the stream left unowned, as refused
    });
    EXPECT_EQ(core::destroy_context(other), 0);
}

TEST_F(SimulatedCamera, ASceneIsReadWhenCaptureStartsNotAtTheFirstFrame)
{
    camsim::Config config = small_camera(directory);
    config.scene_path = directory; // no image in it
    camsim::Simulator camera(config);
    camera_context viewer = connected(camera);
    EXPECT_EQ(harness::capture_output(stderr, [&] { EXPECT_EQ(core::start_capture(viewer), 0); }),
              "camsim: ignoring CAMSIM_SCENE='" + directory + "': no readable PGM or PNG image\n");
    EXPECT_EQ(core::destroy_context(viewer), 0);
}

TEST_F(SimulatedCamera, APulledCameraBreaksItsConnectionUntilTheProgramConnectsAgain)
{
    camsim::Config config = small_camera(directory);
    config.unplug = {true, 0, true, 0}; // pulled as the program connects, back at once
    camsim::Simulator unplugged(config);
    camera_context pulled = connected(unplugged);
    image_record raw{};
    camera_property gain{};
    gain.type = PROPERTY_GAIN;
    unsigned int count = 0;
    ASSERT_EQ(core::create_image(&raw), 0);
    const std::pair<camera_error, camera_error> steps[] = {
        {core::get_property(pulled, &gain), camsim::not_connected},
        {core::set_property(pulled, &gain), camsim::not_connected},
        {core::start_capture(pulled), camsim::not_connected},
        {retrieve(pulled, &raw), camsim::not_connected},
        {core::stop_capture(pulled), camsim::not_connected},
        {core::count_cameras(pulled, &count), camsim::ok},
        {core::connect(pulled, &id), camsim::ok}, // a new connection, after the pull
        {core::start_capture(pulled), camsim::ok},
        {retrieve(pulled, &raw), camsim::ok},
    };
    for (size_t step = 0; step < std::size(steps); ++step)
        EXPECT_EQ(steps[step].first, steps[step].second) << "step " << step;
    EXPECT_EQ(count, 1u); // counted again
    EXPECT_EQ(core::destroy_context(pulled), 0);
}

// A stream whose cable is pulled still holds the camera until its program calls again.
TEST_F(SimulatedCamera, APulledStreamHoldsTheCameraUntilItsProgramCallsAgain)
{
    camsim::Config config = small_camera(directory);
    config.unplug = {true, 300, false, 0}; // pulled 300 ms after connecting, for good
    camsim::Simulator unplugged(config);
    camera_context pulled = connected(unplugged);
    image_record raw{};
    ASSERT_EQ(core::create_image(&raw), 0);
    ASSERT_EQ(core::start_capture(pulled), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    EXPECT_EQ(core::start_capture(context), camsim::camera_busy);
    EXPECT_EQ(retrieve(pulled, &raw), camsim::not_connected); // its stream ends here
    EXPECT_EQ(core::start_capture(context), camsim::ok);
    EXPECT_EQ(core::destroy_context(pulled), 0);
}

TEST_F(SimulatedCamera, AFailedRetrievalLosesTheFrameDueWhenItsDelayIsOver)
{
    camsim::Config config = small_camera(directory);
    config.fps = 100;
    ASSERT_EQ(camsim::parse_knob("CAMSIM_FAIL", "fc2RetrieveBuffer@3=-9/50", config), "");
    camsim::Simulator camera(config);
    camera_context paced = connected(camera);
    image_record raw{};
    ASSERT_EQ(core::create_image(&raw), 0);
    ASSERT_EQ(core::start_capture(paced), 0);
    core::CallCounts counts;
    std::vector<int32_t> codes;
    std::vector<uint64_t> frames;
    std::vector<double> times;
    for (int call = 0; call < 4; ++call) {
        const core::Call retrieval(core::Operation::retrieve_buffer, camera.call_layer(), counts);
        core::Delivery delivery;
        codes.push_back(core::retrieve_buffer(paced, &raw, retrieval.injected(),
                                              retrieval.injected_until(), delivery));
        frames.push_back(delivery.frame);
        times.push_back(delivery.time_ms);
    }
    // The third call, begun just after frame 1 (ready at 20 ms), fails 50 ms later: the frame
    // due then is lost, and the next call takes the one after it.
    EXPECT_EQ(codes, (std::vector<int32_t>{0, 0, -9, 0}));
    EXPECT_EQ(frames, (std::vector<uint64_t>{0, 1, 6, 7}));
    EXPECT_EQ(times, (std::vector<double>{10, 20, 70, 80}));
    EXPECT_EQ(core::destroy_context(paced), 0);
}

TEST_F(SimulatedCamera, AFrameIsSavedAsAGreyBmpWithItsNumberAtTheTopLeft)
{
    image_record raw{}, grey{};
    ASSERT_EQ(core::create_image(&raw), 0);
    ASSERT_EQ(core::create_image(&grey), 0);
    ASSERT_EQ(core::start_capture(context), 0);
    ASSERT_EQ(retrieve(context, &raw), 0);
    ASSERT_EQ(core::convert_image(PIXEL_FORMAT_MONO8, &raw, &grey), 0);
    const std::string path = directory + "/frame.bmp";
    ASSERT_EQ(core::save_image(&grey, path.c_str(), FILE_FORMAT_BMP), 0);
    const std::string bytes = harness::read_file(path);
    ASSERT_EQ(bytes.size(), 1398u); // 18 pixels a row pad to 20 bytes; 16 rows
    const harness::Grey frame = harness::decode_bmp(bytes);
    EXPECT_EQ(frame.error, "");
    // The frame number box sits at the top left, in black.
    EXPECT_EQ(frame.pixels[0], 0);
    // Frame 0 at factory settings, as it has always been made (FNV-1a of its bytes).
    uint64_t hash = 14695981039346656037u;
    for (unsigned char byte : bytes)
        hash = (hash ^ byte) * 1099511628211u;
    EXPECT_EQ(hash, 9744686827236102059u);
}

} // namespace
