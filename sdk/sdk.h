/* Declarations of the camera SDK's flat C operations that the kit uses. */
#ifndef CAMERA_SDK_H
#define CAMERA_SDK_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef void *camera_context;
typedef int32_t camera_error;
typedef int32_t property_type;
typedef uint32_t pixel_format;
typedef int32_t image_file_format;

enum {
    PROPERTY_AUTO_EXPOSURE = 1,
    PROPERTY_SHUTTER = 12, /* exposure time, ms */
    PROPERTY_GAIN = 13     /* dB */
};

#define PIXEL_FORMAT_MONO8 ((pixel_format)0x80000000u)
#define FILE_FORMAT_BMP ((image_file_format)2)

typedef struct {
    uint32_t words[4];
} camera_id;

typedef struct {
    property_type type;
    int32_t present;
    int32_t absolute_control;
    int32_t one_push;
    int32_t on_off;
    int32_t auto_manual_mode; /* 0 is manual */
    uint32_t integer_value_a;
    uint32_t integer_value_b;
    float absolute_value;
    uint32_t reserved[16];
} camera_property;

/* Filled and read by the SDK only; larger than any SDK's own record. */
typedef struct {
    uint64_t opaque[32];
} image_record;

camera_error fc2CreateContext(camera_context *context);
camera_error fc2GetNumOfCameras(camera_context context, unsigned int *count);
camera_error fc2GetCameraFromIndex(camera_context context, unsigned int index, camera_id *id);
camera_error fc2Connect(camera_context context, camera_id *id);
camera_error fc2GetProperty(camera_context context, camera_property *property);
camera_error fc2SetProperty(camera_context context, camera_property *property);
camera_error fc2StartCapture(camera_context context);
camera_error fc2CreateImage(image_record *image);
camera_error fc2RetrieveBuffer(camera_context context, image_record *image);
camera_error fc2ConvertImageTo(pixel_format format, image_record *source,
                               image_record *destination);
camera_error fc2SaveImage(image_record *image, const char *file_name, image_file_format format);
camera_error fc2StopCapture(camera_context context);
camera_error fc2DestroyContext(camera_context context);

#ifdef __cplusplus
}
#endif

#endif
