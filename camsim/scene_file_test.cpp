// Scene files read in process: samples above a PGM's maxval, PNG transparency, each file
// read through the one descriptor it was checked on, and a scene directory's files.
#include "harness.h"
#include "scene_file.h"

#include <cstring>
#include <gtest/gtest.h>
#include <png.h>
#include <sys/inotify.h>
#include <unistd.h>

using namespace harness;

namespace
{

// A 4x4 PNG written by libpng: grey 107 at alpha 100.
void write_transparent_png(const std::string &path)
{
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    png.width = png.height = 4;
    png.format = PNG_FORMAT_GA;
    uint8_t pixels[32];
    for (int i = 0; i < 32; ++i)
        pixels[i] = i % 2 == 0 ? 107 : 100;
    ASSERT_NE(png_image_write_to_file(&png, path.c_str(), 0, pixels, 0, nullptr), 0);
}

TEST(SceneFile, ReadsEachKindOnceThroughItsDescriptor)
{
    struct Case {
        const char *what;
        std::function<void(const std::string &path)> write;
        unsigned white, value;
    };
    const Case cases[] = {
        {"samples above the maxval, clamped",
         [](const std::string &path) { write_file(path, "P5 4 4 1\n" + std::string(16, '\xff')); },
         1, 1},
        {"PNG with transparency, dropped", write_transparent_png, 255, 107},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const std::string dir = temporary_directory("camkit-scene");
        c.write(dir + "/scene");
        const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        ASSERT_GE(inotify_add_watch(watch, (dir + "/scene").c_str(), IN_OPEN | IN_ACCESS), 0);
        camsim::GreyImage image;
        EXPECT_EQ(camsim::read_grey_image(dir + "/scene", image), "");
        EXPECT_EQ(image.white, c.white);
        EXPECT_EQ(image.pixels, std::vector<uint16_t>(16, c.value));
        // Opened once: reads between opens keep the kernel from merging them into one event.
        alignas(inotify_event) char events[4096];
        const ssize_t size = read(watch, events, sizeof events);
        int opens = 0;
        for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= size;) {
            const auto *event = reinterpret_cast<const inotify_event *>(events + at);
            opens += (event->mask & IN_OPEN) != 0;
            at += static_cast<ssize_t>(sizeof *event + event->len);
        }
        EXPECT_EQ(opens, 1);
        close(watch);
        remove_tree(dir);
    }
}

TEST(SceneFile, ADirectoryListsItsPgmAndPngFilesInNameOrderAndRefusesLinksInIt)
{
    const std::string dir = temporary_directory("camkit-scene");
    for (const char *name : {"b.png", "a.PGM", "c.txt", ".png", "pgm", "d.pgm"})
        write_file(dir + "/" + name, "P5 1 1 255\n\x80");
    ASSERT_EQ(symlink("a.PGM", (dir + "/e.pgm").c_str()), 0);
    std::vector<std::string> names;
    ASSERT_TRUE(camsim::list_scene_directory(dir, names));
    EXPECT_EQ(names, (std::vector<std::string>{"a.PGM", "b.png", "d.pgm", "e.pgm"}));
    camsim::GreyImage image;
    EXPECT_EQ(camsim::read_grey_image(dir + "/e.pgm", image, false), "a symbolic link");
    EXPECT_EQ(camsim::read_grey_image(dir + "/e.pgm", image), ""); // a file named by the user
    remove_tree(dir);
}

} // namespace
