// The built-in scene in process: its layout, the runs of prepared rows each row is made of.
#include "scene.h"

#include <gtest/gtest.h>

namespace
{

TEST(BuiltInScene, RunsCoverEachRowOnceLeftToRightTheLastShapeOnTop)
{
    // So tall a sensor that the disc spans it and the square, laid after it, lies on it.
    camsim::Config config = camsim::default_config("");
    config.width = 16;
    config.height = 64;
    const camsim::SceneLayout layout = *camsim::Scene(config).expose(1.0, 0.0, 0)->layout;
    ASSERT_EQ(layout.first.size(), 65u);
    for (unsigned y = 0; y < 64; ++y) {
        unsigned x = 0;
        for (size_t i = layout.first[y]; i < layout.first[y + 1]; x = layout.runs[i++].end)
            ASSERT_TRUE(layout.runs[i].begin == x && x < layout.runs[i].end) << "row " << y;
        ASSERT_EQ(x, 16u) << "row " << y;
    }
    EXPECT_EQ(layout.runs[layout.first[28] + 1].row, camsim::square); // columns 3 to 5
}

} // namespace
