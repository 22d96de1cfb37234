// camaravis_fake: a GigE Vision camera for the tests and the benchmark, served by libaravis's
// fake camera on one address (loopback, in a private network namespace) and described by
// camkit's own GenICam file: ExposureTime (µs), Gain (dB), ExposureAuto and Mono8 frames
// whose brightness follows exposure × gain.
#include <arv.h>
#include <glib-unix.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace
{

// Registers of the fake camera's memory that camkit's GenICam file names.
constexpr guint32 gain_register = ARV_FAKE_CAMERA_REGISTER_GAIN_RAW; // hundredths of a dB
constexpr guint32 exposure_auto_register = 0x14c;                    // 0 Off, 2 Continuous

struct Options {
    std::string address = "127.0.0.1";
    std::string serial = "CK01";
    std::string xml = CAMARAVIS_FAKE_XML;
    unsigned width = 640, height = 480;
    double fps = 30;        // 0: unpaced, frames as fast as they can be sent
    long freeze_after = -1; // stop this process (SIGSTOP) instead of sending that frame
};

struct Scene {
    long freeze_after;
    std::atomic<long> frames{0};
};

// Fills a Mono8 frame: a diagonal ramp of grey levels 32 to 95 at 10 ms and 0 dB, scaled by
// exposure × gain and clipped at white.
void fill_frame(ArvBuffer *buffer, void *data, guint32 exposure_us, guint32 gain_hundredths,
                ArvPixelFormat)
{
    Scene &scene = *static_cast<Scene *>(data);
    if (scene.frames++ == scene.freeze_after)
        raise(SIGSTOP); // the camera hangs: no frame, no answer, until SIGCONT
    const double factor = exposure_us / 10000.0 * std::pow(10.0, gain_hundredths / 2000.0);
    std::array<guint8, 64> levels;
    for (unsigned i = 0; i < levels.size(); ++i)
        levels[i] = static_cast<guint8>(std::min(255.0, std::round((32 + i) * factor)));
    // The fake camera fills only a buffer that holds the payload, a Mono8 frame here.
    auto *pixels = static_cast<guint8 *>(const_cast<void *>(arv_buffer_get_data(buffer, nullptr)));
    const size_t width = static_cast<size_t>(arv_buffer_get_image_width(buffer));
    const size_t height = static_cast<size_t>(arv_buffer_get_image_height(buffer));
    for (size_t y = 0; y < height; ++y)
        for (size_t x = 0; x < width; ++x)
            pixels[y * width + x] = levels[(x + y) % levels.size()];
}

bool parse(int argc, char **argv, Options &options)
{
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i], value = argv[i + 1];
        if (name == "--address")
            options.address = value;
        else if (name == "--serial")
            options.serial = value;
        else if (name == "--xml")
            options.xml = value;
        else if (name == "--fps")
            options.fps = std::atof(value.c_str());
        else if (name == "--freeze-after")
            options.freeze_after = std::atol(value.c_str());
        else if (name != "--size" ||
                 std::sscanf(value.c_str(), "%ux%u", &options.width, &options.height) != 2)
            return false;
    }
    return argc % 2 == 1;
}

gboolean quit(gpointer loop)
{
    g_main_loop_quit(static_cast<GMainLoop *>(loop));
    return G_SOURCE_REMOVE;
}

} // namespace

int main(int argc, char **argv)
{
    Options options;
    if (!parse(argc, argv, options)) {
        std::fprintf(stderr, "usage: camaravis_fake [--address A] [--serial S] [--size WxH] "
                             "[--fps F] [--freeze-after N] [--xml FILE]\n");
        return 2;
    }
    // Made before the camera's threads, which read it.
    Scene scene{options.freeze_after};
    ArvGvFakeCamera *gv_camera = arv_gv_fake_camera_new_full(
        options.address.c_str(), options.serial.c_str(), options.xml.c_str());
    if (!arv_gv_fake_camera_is_running(gv_camera)) {
        std::fprintf(stderr, "camaravis_fake: cannot serve on %s\n", options.address.c_str());
        g_object_unref(gv_camera);
        return 1;
    }
    ArvFakeCamera *camera = arv_gv_fake_camera_get_fake_camera(gv_camera);
    arv_fake_camera_set_fill_pattern(camera, fill_frame, &scene);
    const guint32 period_us =
        options.fps > 0 ? static_cast<guint32>(std::lround(1e6 / options.fps)) : 1;
    const std::pair<guint32, guint32> registers[] = {
        {ARV_FAKE_CAMERA_REGISTER_SENSOR_WIDTH, options.width},
        {ARV_FAKE_CAMERA_REGISTER_SENSOR_HEIGHT, options.height},
        {ARV_FAKE_CAMERA_REGISTER_WIDTH, options.width},
        {ARV_FAKE_CAMERA_REGISTER_HEIGHT, options.height},
        {ARV_FAKE_CAMERA_REGISTER_PIXEL_FORMAT, ARV_PIXEL_FORMAT_MONO_8},
        {ARV_FAKE_CAMERA_REGISTER_ACQUISITION_FRAME_PERIOD_US, period_us},
        {ARV_FAKE_CAMERA_REGISTER_EXPOSURE_TIME_US, 10000},
        {gain_register, 0},
        {exposure_auto_register, 2}, // out of the box auto exposure runs, as on most cameras
    };
    for (const auto &[address, value] : registers)
        arv_fake_camera_write_register(camera, address, value);

    GMainLoop *loop = g_main_loop_new(nullptr, FALSE);
    g_unix_signal_add(SIGTERM, quit, loop);
    g_unix_signal_add(SIGINT, quit, loop);
    std::printf("ready\n");
    std::fflush(stdout);
    g_main_loop_run(loop);

    // What the camera holds at the end, for the tests to check.
    guint32 exposure = 0, gain = 0, exposure_auto = 0;
    arv_fake_camera_read_register(camera, ARV_FAKE_CAMERA_REGISTER_EXPOSURE_TIME_US, &exposure);
    arv_fake_camera_read_register(camera, gain_register, &gain);
    arv_fake_camera_read_register(camera, exposure_auto_register, &exposure_auto);
    std::printf("ExposureTime=%u Gain=%.2f ExposureAuto=%s frames=%ld\n", exposure, gain / 100.0,
                exposure_auto == 0 ? "Off" : "Continuous", scene.frames.load());
    g_main_loop_unref(loop);
    g_object_unref(gv_camera);
    return 0;
}
