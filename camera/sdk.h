/* Declarations of the camera SDK's flat C operations that the kit uses. */
#ifndef CAMERA_SDK_H
#define CAMERA_SDK_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef void *fc2Context;
typedef int32_t fc2Error;
typedef int32_t fc2PropertyType;
typedef uint32_t fc2PixelFormat;
typedef int32_t fc2ImageFileFormat;

enum {
    FC2_AUTO_EXPOSURE = 1,
    FC2_SHUTTER = 12, /* exposure time, ms */
    FC2_GAIN = 13     /* dB */
};

#define FC2_PIXEL_FORMAT_MONO8 ((fc2PixelFormat)0x80000000u)
#define FC2_BMP ((fc2ImageFileFormat)2)

typedef struct {
    uint32_t value[4];
} fc2PGRGuid;

typedef struct {
    fc2PropertyType type;
    int32_t present;
    int32_t absControl;
    int32_t onePush;
    int32_t onOff;
    int32_t autoManualMode; /* 0 is manual */
    uint32_t valueA;
    uint32_t valueB;
    float absValue;
    uint32_t reserved[16];
} fc2Property;

/* Filled and read by the SDK only; larger than any SDK's own record. */
typedef struct {
    uint64_t opaque[32];
} fc2Image;

fc2Error fc2CreateContext(fc2Context *context);
fc2Error fc2GetNumOfCameras(fc2Context context, unsigned int *count);
fc2Error fc2GetCameraFromIndex(fc2Context context, unsigned int index, fc2PGRGuid *guid);
fc2Error fc2Connect(fc2Context context, fc2PGRGuid *guid);
fc2Error fc2GetProperty(fc2Context context, fc2Property *property);
fc2Error fc2SetProperty(fc2Context context, fc2Property *property);
fc2Error fc2StartCapture(fc2Context context);
fc2Error fc2CreateImage(fc2Image *image);
fc2Error fc2RetrieveBuffer(fc2Context context, fc2Image *image);
fc2Error fc2ConvertImageTo(fc2PixelFormat format, fc2Image *source, fc2Image *destination);
fc2Error fc2SaveImage(fc2Image *image, const char *file_name, fc2ImageFileFormat format);
fc2Error fc2StopCapture(fc2Context context);
fc2Error fc2DestroyContext(fc2Context context);

#ifdef __cplusplus
}
#endif

#endif
