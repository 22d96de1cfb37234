// Properties on GenICam features: which feature serves each property, in which units, and
// what the camera is given and reports.
#include "properties.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace camaravis
{
namespace
{

// A property held in a floating-point feature: the standard name, then the older one some
// cameras have instead; the enumeration of its automatic mode; feature units per SDK unit.
struct Feature {
    property_type type;
    const char *names[2];
    const char *automatic;
    double per_unit;
};

constexpr Feature features[] = {
    {PROPERTY_SHUTTER, {"ExposureTime", "ExposureTimeAbs"}, "ExposureAuto", 1000.0}, // µs per ms
    {PROPERTY_GAIN, {"Gain", "GainAbs"}, "GainAuto", 1.0},                           // dB
};

const Feature *feature_of(property_type type)
{
    for (const Feature &feature : features)
        if (feature.type == type)
            return &feature;
    return nullptr;
}

ArvGcNode *node(ArvCamera *camera, const char *name)
{
    if (!arv_camera_is_feature_available(camera, name, nullptr))
        return nullptr;
    return arv_device_get_feature(arv_camera_get_device(camera), name);
}

// The name of the floating-point feature that holds the property, or null.
const char *value_name(ArvCamera *camera, const Feature &feature)
{
    for (const char *name : feature.names)
        if (ArvGcNode *found = node(camera, name); found != nullptr && ARV_IS_GC_FLOAT(found))
            return name;
    return nullptr;
}

bool is_enumeration(ArvCamera *camera, const char *name)
{
    ArvGcNode *found = node(camera, name);
    return found != nullptr && ARV_IS_GC_ENUMERATION(found);
}

// Whether an automatic mode runs (any mode but Off), when the camera has it.
bool automatic(ArvCamera *camera, const char *name, GError **error)
{
    if (!is_enumeration(camera, name))
        return false;
    const char *mode = arv_camera_get_string(camera, name, error);
    return mode != nullptr && std::strcmp(mode, "Off") != 0;
}

void set_automatic(ArvCamera *camera, const char *name, bool on, GError **error)
{
    arv_camera_set_string(camera, name, on ? "Continuous" : "Off", error);
}

// The value the feature takes for `wanted`: within its bounds, on its steps.
double clamped(ArvCamera *camera, const char *name, double wanted, GError **error)
{
    double min = 0, max = 0;
    arv_camera_get_float_bounds(camera, name, &min, &max, error);
    double value = std::clamp(wanted, min, max);
    const double step = arv_camera_get_float_increment(camera, name, nullptr);
    if (step > G_MINDOUBLE && std::isfinite(step))
        value = std::min(max, min + std::round((value - min) / step) * step);
    return value;
}

} // namespace

bool has_property(ArvCamera *camera, property_type type)
{
    if (type == PROPERTY_AUTO_EXPOSURE)
        return is_enumeration(camera, "ExposureAuto");
    const Feature *feature = feature_of(type);
    return feature != nullptr && value_name(camera, *feature) != nullptr;
}

// Auto exposure is on/off only. The shutter and the gain are absolute values, in auto mode
// while their automatic feature runs; there are no raw values (the integers read 0).
Error read_property(ArvCamera *camera, camera_property &property)
{
    const property_type type = property.type;
    property = camera_property{};
    property.type = type;
    property.present = 1;
    GError *error = nullptr;
    if (type == PROPERTY_AUTO_EXPOSURE) {
        property.on_off = automatic(camera, "ExposureAuto", &error);
        return code_of(error);
    }
    const Feature &feature = *feature_of(type);
    property.absolute_control = 1;
    property.on_off = 1;
    property.auto_manual_mode = automatic(camera, feature.automatic, &error);
    if (error == nullptr) {
        const double value = arv_camera_get_float(camera, value_name(camera, feature), &error);
        property.absolute_value = static_cast<float>(value / feature.per_unit);
    }
    return code_of(error);
}

Error write_property(ArvCamera *camera, const camera_property &property)
{
    GError *error = nullptr;
    if (property.type == PROPERTY_AUTO_EXPOSURE) {
        set_automatic(camera, "ExposureAuto", property.on_off, &error);
        return code_of(error);
    }
    const Feature &feature = *feature_of(property.type);
    // The automatic mode first: a camera may refuse a value while it chooses its own.
    if (is_enumeration(camera, feature.automatic))
        set_automatic(camera, feature.automatic, property.auto_manual_mode, &error);
    if (error == nullptr && !property.auto_manual_mode && property.absolute_control) {
        const char *name = value_name(camera, feature);
        const double value =
            clamped(camera, name, property.absolute_value * feature.per_unit, &error);
        if (error == nullptr)
            arv_camera_set_float(camera, name, value, &error);
    }
    return code_of(error);
}

double exposure_us(ArvCamera *camera)
{
    const char *name = value_name(camera, *feature_of(PROPERTY_SHUTTER));
    return name == nullptr ? 0 : arv_camera_get_float(camera, name, nullptr);
}

Error code_of(GError *error)
{
    if (error == nullptr)
        return ok;
    Error code = failed;
    if (error->domain == ARV_DEVICE_ERROR)
        switch (error->code) {
        case ARV_DEVICE_ERROR_TIMEOUT:
        case ARV_DEVICE_ERROR_NOT_CONNECTED:
        case ARV_DEVICE_ERROR_TRANSFER_ERROR:
            code = not_connected;
            break;
        case ARV_DEVICE_ERROR_NOT_CONTROLLER:
        case ARV_DEVICE_ERROR_PROTOCOL_ERROR_ACCESS_DENIED:
        case ARV_DEVICE_ERROR_PROTOCOL_ERROR_BUSY:
            code = camera_busy;
            break;
        default:
            break;
        }
    g_error_free(error);
    return code;
}

} // namespace camaravis
