// A client of the SDK's declarations that is not one of the kit's programs: it calls all
// 13 operations and prints each one's code ("series"), or writes a property many times
// over ("hammer TYPE COUNT FIRST STEP").
#include "sdk.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

static fc2Error report(const char *operation, fc2Error code)
{
    printf("%s %d\n", operation, code);
    return code;
}

static bool open_camera(fc2Context *context, bool quiet)
{
    unsigned int count = 0;
    fc2PGRGuid guid = {};
    fc2Error codes[] = {fc2CreateContext(context), fc2GetNumOfCameras(*context, &count),
                        fc2GetCameraFromIndex(*context, 0, &guid), fc2Connect(*context, &guid)};
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
    fc2Context context = nullptr;
    open_camera(&context, false);
    fc2Property property = {};
    property.type = FC2_SHUTTER;
    report("fc2GetProperty", fc2GetProperty(context, &property));
    report("fc2SetProperty", fc2SetProperty(context, &property));
    report("fc2StartCapture", fc2StartCapture(context));
    fc2Image raw = {}, grey = {};
    report("fc2CreateImage", fc2CreateImage(&raw));
    fc2CreateImage(&grey);
    for (int i = 0; i < 10; ++i) {
        char name[16];
        snprintf(name, sizeof name, "%04d.bmp", i);
        report("fc2RetrieveBuffer", fc2RetrieveBuffer(context, &raw));
        report("fc2ConvertImageTo", fc2ConvertImageTo(FC2_PIXEL_FORMAT_MONO8, &raw, &grey));
        report("fc2SaveImage", fc2SaveImage(&grey, name, FC2_BMP));
    }
    report("fc2StopCapture", fc2StopCapture(context));
    report("fc2DestroyContext", fc2DestroyContext(context));
    return 0;
}

static int hammer(int type, int count, float first, float step)
{
    fc2Context context = nullptr;
    if (!open_camera(&context, true))
        return 1;
    int failures = 0;
    for (int i = 0; i < count; ++i) {
        fc2Property property = {};
        property.type = type;
        failures += fc2GetProperty(context, &property) != 0;
        property.absControl = 1;
        property.autoManualMode = 0;
        property.absValue = first + step * static_cast<float>(i);
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
