// Conversion in process: every pixel format the core knows, on a few bytes, to grey.
#include "conversion.h"

#include <gtest/gtest.h>
#include <vector>

namespace
{

// A frame of the format with the given rows of bytes, `stride` apart.
core::Image frame_of(core::PixelFormat format, unsigned width, size_t stride, core::Pixels pixels)
{
    core::Image image;
    image.format = format;
    image.width = width;
    image.stride = stride;
    image.height = static_cast<unsigned>(pixels.size() / stride);
    image.pixels = std::move(pixels);
    return image;
}

TEST(Conversion, EveryFormatTheCoreKnowsBecomesGreyAndAnyOtherIsRefused)
{
    using F = core::PixelFormat;
    struct Case {
        const char *what;
        core::Image source;
        core::Error expected;
        core::Pixels grey; // rows padded to 4 bytes
    };
    const Case cases[] = {
        {"mono8, odd width, a stride past it",
         frame_of(F::mono8, 3, 4, {1, 2, 3, 99, 4, 5, 6, 99}),
         core::ok,
         {1, 2, 3, 0, 4, 5, 6, 0}},
        {"mono10 scaled, past its range white",
         frame_of(F::mono10, 2, 4, {0xff, 0x03, 0x04, 0x00, 0x00, 0x10, 0x80, 0x01}),
         core::ok,
         {255, 1, 0, 0, 255, 96, 0, 0}},
        {"mono12", frame_of(F::mono12, 1, 2, {0xff, 0x0f}), core::ok, {255, 0, 0, 0}},
        {"mono16", frame_of(F::mono16, 1, 2, {0xff, 0x7f}), core::ok, {127, 0, 0, 0}},
        // The last row and column take the block before them, whatever the mosaic's order.
        {"bayer rg8, odd width",
         frame_of(F::bayer_rg8, 3, 3, {100, 200, 100, 0, 40, 0}),
         core::ok,
         {85, 85, 85, 0, 85, 85, 85, 0}},
        {"bayer gr8",
         frame_of(F::bayer_gr8, 2, 2, {10, 20, 30, 40}),
         core::ok,
         {25, 25, 0, 0, 25, 25, 0, 0}},
        {"bayer gb8",
         frame_of(F::bayer_gb8, 2, 2, {0, 0, 0, 1}),
         core::ok,
         {1, 1, 0, 0, 1, 1, 0, 0}},
        {"bayer bg8",
         frame_of(F::bayer_bg8, 2, 2, {255, 255, 255, 255}),
         core::ok,
         {255, 255, 0, 0, 255, 255, 0, 0}},
        {"rgb8: red, green, blue, white, rounded",
         frame_of(F::rgb8, 5, 15, {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255, 1, 1, 1}),
         core::ok,
         {76, 150, 29, 255, 1, 0, 0, 0}},
        {"bgr8", frame_of(F::bgr8, 1, 3, {255, 0, 0}), core::ok, {29, 0, 0, 0}},
        {"a format no conversion knows",
         frame_of(F::other, 1, 1, {7}),
         core::unsupported_format,
         {}},
        {"a mosaic without a 2x2 block",
         frame_of(F::bayer_rg8, 1, 1, {7, 7}),
         core::unsupported_format,
         {}},
        {"a stride shorter than a row",
         frame_of(F::mono16, 3, 2, {1, 2}),
         core::unsupported_format,
         {}},
        {"no frame", core::Image{}, core::not_initialized, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        core::Image grey;
        grey.pixels = {42};
        ASSERT_EQ(core::convert_to_mono8(c.source, grey), c.expected);
        if (c.expected != core::ok) {
            EXPECT_EQ(grey.pixels, core::Pixels{42}) << "left as it was";
            continue;
        }
        EXPECT_EQ(grey.format, F::mono8);
        EXPECT_EQ(grey.width, c.source.width);
        EXPECT_EQ(grey.height, c.source.height);
        EXPECT_EQ(grey.stride, (c.source.width + 3u) / 4 * 4);
        EXPECT_EQ(grey.pixels, c.grey);
    }
}

} // namespace
