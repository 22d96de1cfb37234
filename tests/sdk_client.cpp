// A client of the SDK's declarations that is not one of the kit's programs: it calls all
// 13 operations and prints each one's code ("series"), writes a property many times over
// ("hammer TYPE COUNT FIRST STEP"), or streams: at its own pace ("stream ..."), from
// several threads ("threads ..."), across a change of shutter made through another context
// ("retime ..."), or with a retrieval cut short by another thread ("interrupt ...").
#include "sdk.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

static camera_error report(const char *operation, camera_error code)
{
    printf("%s %d\n", operation, code);
    return code;
}

static bool open_camera(camera_context *context, bool quiet)
{
    unsigned int count = 0;
    camera_id id = {};
    camera_error codes[] = {fc2CreateContext(context), fc2GetNumOfCameras(*context, &count),
                            fc2GetCameraFromIndex(*context, 0, &id), fc2Connect(*context, &id)};
    const char *names[] = {"fc2CreateContext", "fc2GetNumOfCameras", "fc2GetCameraFromIndex",
                           "fc2Connect"};
    bool ok = true;
    for (int i = 0; i < 4; ++i) {
        if (!quiet)
            report(names[i], codes[i]);
        ok = ok && codes[i] == 0;
    }
    return ok;
}

static int series()
{
    camera_context context = nullptr;
    open_camera(&context, false);
    camera_property property = {};
    property.type = PROPERTY_SHUTTER;
    report("fc2GetProperty", fc2GetProperty(context, &property));
    report("fc2SetProperty", fc2SetProperty(context, &property));
    report("fc2StartCapture", fc2StartCapture(context));
    image_record raw = {}, grey = {};
    report("fc2CreateImage", fc2CreateImage(&raw));
    fc2CreateImage(&grey);
    for (int i = 0; i < 10; ++i) {
        char name[16];
        snprintf(name, sizeof name, "%04d.bmp", i);
        report("fc2RetrieveBuffer", fc2RetrieveBuffer(context, &raw));
        report("fc2ConvertImageTo", fc2ConvertImageTo(PIXEL_FORMAT_MONO8, &raw, &grey));
        report("fc2SaveImage", fc2SaveImage(&grey, name, FILE_FORMAT_BMP));
    }
    report("fc2StopCapture", fc2StopCapture(context));
    report("fc2DestroyContext", fc2DestroyContext(context));
    return 0;
}

static int hammer(int type, int count, float first, float step)
{
    camera_context context = nullptr;
    if (!open_camera(&context, true))
        return 1;
    int failures = 0;
    for (int i = 0; i < count; ++i) {
        camera_property property = {};
        property.type = type;
        failures += fc2GetProperty(context, &property) != 0;
        property.absolute_control = 1;
        property.auto_manual_mode = 0;
        property.absolute_value = first + step * static_cast<float>(i);
        failures += fc2SetProperty(context, &property) != 0;
    }
    printf("failures %d\n", failures);
    return 0;
}

static double milliseconds_since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

// Opens camera 0 and, when shutter_ms > 0, sets the shutter to it in manual mode.
static bool open_with_shutter(camera_context *context, float shutter_ms)
{
    if (!open_camera(context, true))
        return false;
    if (shutter_ms <= 0)
        return true;
    camera_property property = {};
    property.type = PROPERTY_SHUTTER;
    property.absolute_control = 1;
    property.absolute_value = shutter_ms;
    return fc2SetProperty(*context, &property) == 0;
}

// `captures` starts of capture, each retrieving `count` frames with a pause of pause_us
// after each; prints how many retrievals failed and when the last returned.
static int stream(int captures, int count, int pause_us, float shutter_ms)
{
    camera_context context = nullptr;
    image_record raw = {};
    if (!open_with_shutter(&context, shutter_ms) || fc2CreateImage(&raw) != 0)
        return 1;
    for (int capture = 0; capture < captures; ++capture) {
        const auto start = std::chrono::steady_clock::now();
        if (fc2StartCapture(context) != 0)
            return 1;
        int failures = 0;
        double last_ms = 0;
        for (int i = 0; i < count; ++i) {
            failures += fc2RetrieveBuffer(context, &raw) != 0;
            last_ms = milliseconds_since(start);
            std::this_thread::sleep_for(std::chrono::microseconds(pause_us));
        }
        printf("capture %d failures %d last %.3f\n", capture, failures, last_ms);
        fc2StopCapture(context);
    }
    return fc2DestroyContext(context) == 0 ? 0 : 1;
}

// `workers` threads on one context, each retrieving `count` frames into its own record.
static int threads(int workers, int count, float shutter_ms)
{
    camera_context context = nullptr;
    if (!open_with_shutter(&context, shutter_ms))
        return 1;
    const auto start = std::chrono::steady_clock::now();
    if (fc2StartCapture(context) != 0)
        return 1;
    std::vector<int> failures(workers, 0);
    std::vector<std::thread> running;
    for (int w = 0; w < workers; ++w)
        running.emplace_back([&context, &failures, w, count] {
            image_record raw = {};
            failures[w] += fc2CreateImage(&raw) != 0;
            for (int i = 0; i < count; ++i)
                failures[w] += fc2RetrieveBuffer(context, &raw) != 0;
        });
    for (std::thread &worker : running)
        worker.join();
    int total = 0;
    for (int f : failures)
        total += f;
    printf("failures %d last %.3f\n", total, milliseconds_since(start));
    fc2StopCapture(context);
    return fc2DestroyContext(context) == 0 ? 0 : 1;
}

// Streams `count` frames with shutter_ms, then has a second context set the shutter to
// new_ms and streams `count` more.
static int retime(int count, float shutter_ms, float new_ms)
{
    camera_context context = nullptr, other = nullptr;
    image_record raw = {};
    if (!open_with_shutter(&context, shutter_ms) || fc2CreateImage(&raw) != 0 ||
        fc2StartCapture(context) != 0)
        return 1;
    int failures = 0;
    for (int i = 0; i < count; ++i)
        failures += fc2RetrieveBuffer(context, &raw) != 0;
    if (!open_with_shutter(&other, new_ms))
        return 1;
    for (int i = 0; i < count; ++i)
        failures += fc2RetrieveBuffer(context, &raw) != 0;
    printf("failures %d\n", failures);
    fc2StopCapture(context);
    return fc2DestroyContext(context) == 0 && fc2DestroyContext(other) == 0 ? 0 : 1;
}

// Takes frame 0, leaves a second thread waiting for frame 1, then stops capture or
// destroys the context; prints what the waiting retrieval returned and how long after.
static int interrupt(const char *how, float shutter_ms)
{
    camera_context context = nullptr;
    image_record first = {}, second = {};
    if (!open_with_shutter(&context, shutter_ms) || fc2CreateImage(&first) != 0 ||
        fc2CreateImage(&second) != 0 || fc2StartCapture(context) != 0 ||
        fc2RetrieveBuffer(context, &first) != 0)
        return 1;
    camera_error waited = 0;
    std::chrono::steady_clock::time_point returned;
    std::thread waiting([&] {
        waited = fc2RetrieveBuffer(context, &second);
        returned = std::chrono::steady_clock::now();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto cut = std::chrono::steady_clock::now();
    camera_error code =
        strcmp(how, "stop") == 0 ? fc2StopCapture(context) : fc2DestroyContext(context);
    waiting.join();
    printf("%s %d retrieval %d after %s\n", how, code, waited,
           returned - cut < std::chrono::seconds(1) ? "less than a second" : "a second or more");
    return 0;
}

int main(int argc, char **argv)
{
    if (argc == 2 && strcmp(argv[1], "series") == 0)
        return series();
    if (argc == 6 && strcmp(argv[1], "hammer") == 0)
        return hammer(atoi(argv[2]), atoi(argv[3]), strtof(argv[4], nullptr),
                      strtof(argv[5], nullptr));
    if (argc == 6 && strcmp(argv[1], "stream") == 0)
        return stream(atoi(argv[2]), atoi(argv[3]), atoi(argv[4]), strtof(argv[5], nullptr));
    if (argc == 5 && strcmp(argv[1], "threads") == 0)
        return threads(atoi(argv[2]), atoi(argv[3]), strtof(argv[4], nullptr));
    if (argc == 5 && strcmp(argv[1], "retime") == 0)
        return retime(atoi(argv[2]), strtof(argv[3], nullptr), strtof(argv[4], nullptr));
    if (argc == 4 && strcmp(argv[1], "interrupt") == 0)
        return interrupt(argv[2], strtof(argv[3], nullptr));
    fprintf(stderr, "usage: sdk_client series | hammer TYPE COUNT FIRST STEP\n"
                    "       | stream CAPTURES COUNT PAUSE_US SHUTTER_MS\n"
                    "       | threads WORKERS COUNT SHUTTER_MS | retime COUNT SHUTTER_MS NEW_MS\n"
                    "       | interrupt stop|destroy SHUTTER_MS\n");
    return 2;
}
