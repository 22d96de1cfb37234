// The simulated camera beneath the core: what the contexts of one configuration share, and
// the device each context has.
#pragma once

#include "cable.h"
#include "camera.h"
#include "config.h"
#include "scene.h"

#include <memory>
#include <utility>

namespace camsim
{

using namespace sdk;

// What the contexts made with it share: the configuration, the scene the cameras' sensors
// see and their cable. The SDK's operations make one from the process's environment; a test
// makes its own.
struct Simulator final : core::Camera {
    explicit Simulator(Config configuration)
        : config(std::move(configuration)), scene(config), cable(config)
    {
    }

    std::unique_ptr<core::Device> open(const core::ContextState &state) override;
    const core::CallLayer &call_layer() const override
    {
        return config.calls;
    }

    const Config config;
    const Scene scene;
    Cable cable;
};

} // namespace camsim
