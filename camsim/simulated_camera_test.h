// A simulated camera in process for the tests of the simulator's parts: a configuration of
// the test's own, a context connected to camera 0, and the state file in a temporary
// directory removed after the test.
#pragma once

#include "contexts.h"
#include "image_records.h"
#include "simulator.h"
#include "process.h"

#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

namespace camsim_test
{

// A small sensor with an odd stride (so BMP rows need padding), unpaced, its state file in
// `directory`.
inline camsim::Config small_camera(const std::string &directory)
{
    camsim::Config config = camsim::default_config("");
    config.state.path = directory + "/camera.state";
    config.width = 18;
    config.height = 16;
    config.fps = 0;
    return config;
}

// A retrieval with no fault injected.
inline int32_t retrieve(camera_context context, image_record *image)
{
    core::Delivery delivery;
    return core::retrieve_buffer(context, image, 0, std::chrono::steady_clock::now(), delivery);
}

class SimulatedCamera : public ::testing::Test
{
  protected:
    ~SimulatedCamera() override
    {
        process::remove_tree(directory);
    }

    void SetUp() override
    {
        unlink(state_path.c_str());
        ASSERT_EQ(core::create_context(simulator, &context), 0);
        unsigned int count = 0;
        ASSERT_EQ(core::count_cameras(context, &count), 0);
        ASSERT_EQ(count, 1u);
        ASSERT_EQ(core::camera_from_index(context, 0, &id), 0);
        ASSERT_EQ(core::connect(context, &id), 0);
    }
    void TearDown() override
    {
        core::destroy_context(context);
        unlink(state_path.c_str());
        unlink((state_path + ".lock").c_str());
    }

    // A context of `camera` connected to its camera 0, which the test destroys.
    camera_context connected(camsim::Simulator &camera)
    {
        camera_context made = nullptr;
        EXPECT_EQ(core::create_context(camera, &made), 0);
        EXPECT_EQ(core::connect(made, &id), 0);
        return made;
    }

    camera_property read(property_type type)
    {
        camera_property property{};
        property.type = type;
        EXPECT_EQ(core::get_property(context, &property), 0);
        return property;
    }

    int32_t write_absolute(property_type type, float value)
    {
        camera_property property = read(type);
        property.absolute_control = 1;
        property.auto_manual_mode = 0;
        property.absolute_value = value;
        return core::set_property(context, &property);
    }

    // A capture of `frames` frames, long enough for auto exposure to settle; the camera keeps
    // what it chose when capture stops, or when the context ends instead (`stop` false).
    void stream_frames(int frames = 16, bool stop = true)
    {
        image_record raw{};
        ASSERT_EQ(core::create_image(&raw), 0);
        ASSERT_EQ(core::start_capture(context), 0);
        for (int frame = 0; frame < frames; ++frame)
            ASSERT_EQ(retrieve(context, &raw), 0);
        ASSERT_EQ(stop ? core::stop_capture(context) : core::destroy_context(context), 0);
    }

    const std::string directory = process::temporary_directory("camsim-test");
    camsim::Simulator simulator{small_camera(directory)};
    const std::string state_path = simulator.config.state.path;
    camera_context context = nullptr;
    camera_id id{};
};

} // namespace camsim_test
