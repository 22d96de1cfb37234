// A client of the SDK's declarations that is not one of the kit's programs: it calls all
// 13 operations and prints each one's code ("series"), or writes a property many times
// over ("hammer TYPE COUNT FIRST STEP").
#include "sdk.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

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

int main(int argc, char **argv)
{
    if (argc == 2 && strcmp(argv[1], "series") == 0)
        return series();
    if (argc == 6 && strcmp(argv[1], "hammer") == 0)
        return hammer(atoi(argv[2]), atoi(argv[3]), strtof(argv[4], nullptr),
                      strtof(argv[5], nullptr));
    fprintf(stderr, "usage: sdk_client series | hammer TYPE COUNT FIRST STEP\n");
    return 2;
}
