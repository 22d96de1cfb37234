// The scene in process: the built-in one's layout, the runs of prepared rows each row is made
// of; the files of a scene directory read or left out.
#include "harness.h"
#include "scene.h"

#include <gtest/gtest.h>
#include <unistd.h>

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
    // Column 0 is the background, its gradient reversed below 0.8 of the height; the
    // checkerboard's cells alternate at the top right.
    EXPECT_EQ(layout.runs[layout.first[50]].row, camsim::gradient);
    EXPECT_EQ(layout.runs[layout.first[51]].row, camsim::reverse_gradient);
    EXPECT_EQ(layout.runs[layout.first[0] + 2].row, camsim::light_cell); // column 14
    EXPECT_EQ(layout.runs[layout.first[1] + 2].row, camsim::dark_cell);
}

TEST(SceneDirectory, EveryFileLookedAtCountsTowardTheCapAndHeadersAloneAreNotRead)
{
    // At 1024x1024 a sequence looks at 128 files: a.pgm, the link b.pgm, and 126 of 300
    // headers of 8192x8192 16-bit images without their samples.
    const std::string dir = harness::temporary_directory("camkit-scene");
    const std::string said = "camsim: CAMSIM_SCENE='" + dir + "': leaving out '";
    harness::write_file(dir + "/a.pgm", "P5 1 1 255\n\x80");
    ASSERT_EQ(symlink("a.pgm", (dir + "/b.pgm").c_str()), 0);
    std::string expected = said + "b.pgm': a symbolic link\n";
    for (int i = 0; i < 300; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "h%03d.pgm", i);
        harness::write_file(dir + "/" + name, "P5\n8192 8192\n65535\n");
        if (i < 126)
            expected += said + name + "': too short for the 8192x8192 image its header gives\n";
    }
    expected += said + "h126.pgm' and later files: a sequence looks at 128 files at most at "
                       "this sensor size\n";
    camsim::Config config = camsim::default_config("");
    config.width = config.height = 1024;
    config.scene_path = dir;
    const camsim::Scene scene(config);
    EXPECT_EQ(harness::capture_output(stderr, [&] { scene.metering_factor(); }), expected);
    harness::remove_tree(dir);
}

} // namespace
