// The camera over Aravis in process, over Aravis's Fake camera (the GigE Vision and USB3
// Vision interfaces disabled: nothing goes on any network): which feature serves each
// property, the values clamped to its bounds, finding the camera and taking its frames, and
// the codes Aravis's errors get.
#include "aravis_camera.h"
#include "properties.h"

#include <gtest/gtest.h>

using namespace camaravis;

namespace
{

// Aravis's Fake camera, described by `xml` (null: Aravis's own description, whose gain is
// GainRaw only and whose exposure is ExposureTimeAbs).
Ref<ArvCamera> fake_camera(const char *xml)
{
    arv_enable_interface("Fake");
    arv_disable_interface("GigEVision");
    arv_disable_interface("USB3Vision");
    arv_set_fake_camera_genicam_filename(xml);
    return Ref<ArvCamera>(arv_camera_new("Fake_1", nullptr));
}

struct PropertyCase {
    const char *name;
    const char *xml;
    property_type type;
    bool present;
    // The record written over the one read: its value, automatic mode and on/off flag; the
    // camera reports the mode and the flag as written, and the value it holds.
    float value;
    int automatic;
    int on_off;
    float held;
};

TEST(CamaravisProperties, EachPropertyOnItsFeatureClampedToTheCamerasBounds)
{
    const char *ours = CAMARAVIS_FAKE_XML;
    const PropertyCase cases[] = {
        {"shutter in ms on ExposureTime in us", ours, PROPERTY_SHUTTER, true, 12.5f, 0, 1, 12.5f},
        {"a shutter over the longest", ours, PROPERTY_SHUTTER, true, 5000, 0, 1, 1000},
        {"a shutter under the shortest", ours, PROPERTY_SHUTTER, true, 0.001f, 0, 1, 0.01f},
        {"a shutter in auto mode keeps its value", ours, PROPERTY_SHUTTER, true, 3, 1, 1, 10},
        {"gain in dB on Gain", ours, PROPERTY_GAIN, true, 6.5f, 0, 1, 6.5f},
        {"a gain over the highest", ours, PROPERTY_GAIN, true, 30, 0, 1, 24},
        {"a gain under the lowest", ours, PROPERTY_GAIN, true, -3, 0, 1, 0},
        {"auto exposure off", ours, PROPERTY_AUTO_EXPOSURE, true, 0, 0, 0, 0},
        {"auto exposure on", ours, PROPERTY_AUTO_EXPOSURE, true, 0, 0, 1, 0},
        {"a property no feature serves", ours, 2, false, 0, 0, 0, 0},
        {"shutter on ExposureTimeAbs", nullptr, PROPERTY_SHUTTER, true, 12.5f, 0, 1, 12.5f},
        {"a gain in raw steps only is no gain", nullptr, PROPERTY_GAIN, false, 0, 0, 0, 0},
        {"no ExposureAuto, no auto exposure", nullptr, PROPERTY_AUTO_EXPOSURE, false, 0, 0, 0, 0},
    };
    for (const PropertyCase &c : cases) {
        SCOPED_TRACE(c.name);
        Ref<ArvCamera> camera = fake_camera(c.xml);
        ASSERT_NE(camera, nullptr);
        EXPECT_EQ(has_property(camera.get(), c.type), c.present);
        if (!c.present)
            continue;
        camera_property record{};
        record.type = c.type;
        ASSERT_EQ(read_property(camera.get(), record), ok);
        record.absolute_value = c.value;
        record.auto_manual_mode = c.automatic;
        record.on_off = c.on_off;
        ASSERT_EQ(write_property(camera.get(), record), ok);
        camera_property held{};
        held.type = c.type;
        ASSERT_EQ(read_property(camera.get(), held), ok);
        EXPECT_EQ(held.present, 1);
        EXPECT_FLOAT_EQ(held.absolute_value, c.held);
        EXPECT_EQ(held.auto_manual_mode, c.automatic);
        EXPECT_EQ(held.on_off, c.on_off);
        EXPECT_EQ(held.integer_value_a, 0u); // no raw value passed off as one
    }
}

// A context's device over the Fake interface: the camera found by discovery, first or by its
// device id, connected, and its frames taken as the core asks for them.
TEST(CamaravisDevice, FindsTheCameraByDiscoveryAndTakesItsFrames)
{
    ASSERT_NE(fake_camera(CAMARAVIS_FAKE_XML), nullptr);
    const std::pair<const char *, unsigned> choices[] = {{"", 1}, {"Fake_1", 1}, {"Fake_2", 0}};
    for (const auto &[knob, cameras] : choices) {
        AravisCamera process(choose_camera(knob), core::CallLayer());
        core::ContextState state;
        std::unique_ptr<core::Device> device = process.open(state);
        std::unique_lock<std::mutex> lock(state.mutex);
        unsigned count = 9;
        camera_id id{};
        EXPECT_EQ(device->count(count), ok);
        EXPECT_EQ(count, cameras) << knob;
        if (cameras == 0) {
            EXPECT_EQ(device->identify(0, id), not_found);
            continue;
        }
        ASSERT_EQ(device->identify(0, id), ok);
        ASSERT_EQ(device->connect(id), ok);
        state.connected = true;
        ASSERT_EQ(device->start(), ok);
        state.capturing = true;
        state.captures = 1;
        core::Image image;
        core::Delivery delivery;
        // A failed retrieval is allowed (the series goes on), not three in a row.
        Error taken = failed;
        for (int attempt = 0; attempt < 3 && taken == failed; ++attempt)
            taken = device->next_frame(lock, core::Clock::now(), &image, delivery);
        EXPECT_EQ(taken, ok);
        EXPECT_TRUE(delivery.taken);
        EXPECT_EQ(image.format, core::PixelFormat::mono8);
        EXPECT_EQ(image.width * image.height, 512u * 512u);
        EXPECT_EQ(image.pixels.size(), image.stride * image.height);
        EXPECT_EQ(device->stop(), ok);
    }
}

TEST(CamaravisProperties, AravisErrorsSayLostBusyOrFailed)
{
    const std::pair<GError *, Error> cases[] = {
        {nullptr, ok},
        {g_error_new(ARV_DEVICE_ERROR, ARV_DEVICE_ERROR_TIMEOUT, "no answer"), not_connected},
        {g_error_new(ARV_DEVICE_ERROR, ARV_DEVICE_ERROR_NOT_CONTROLLER, "held"), camera_busy},
        {g_error_new(ARV_DEVICE_ERROR, ARV_DEVICE_ERROR_PROTOCOL_ERROR_ACCESS_DENIED, "held"),
         camera_busy},
        {g_error_new(ARV_GC_ERROR, ARV_GC_ERROR_OUT_OF_RANGE, "no such entry"), failed},
    };
    for (const auto &[error, code] : cases)
        EXPECT_EQ(code_of(error), code);
}

} // namespace
