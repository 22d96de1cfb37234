// A frame's way through the core in process: conversion from every pixel format it knows to
// grey, on a few bytes, then the BMP file of a grey frame, its rows bottom-up and padded.
#include "bmp_file.h"
#include "conversion.h"
#include "harness.h"

#include <gtest/gtest.h>
#include <string>
#include <tuple>

using harness::read_file;

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
        core::Pixels grey; // rows padded to 4 bytes
        core::Error expected = core::ok;
    };
    const Case cases[] = {
        {"mono8, odd width, a stride past it",
         frame_of(F::mono8, 3, 4, {1, 2, 3, 99, 4, 5, 6, 99}),
         {1, 2, 3, 0, 4, 5, 6, 0}},
        {"mono10 scaled, past its range white",
         frame_of(F::mono10, 2, 4, {0xff, 0x03, 0x04, 0x00, 0x00, 0x10, 0x80, 0x01}),
         {255, 1, 0, 0, 255, 96, 0, 0}},
        {"mono12", frame_of(F::mono12, 1, 2, {0xff, 0x0f}), {255, 0, 0, 0}},
        {"mono16", frame_of(F::mono16, 1, 2, {0xff, 0x7f}), {127, 0, 0, 0}},
        // The last row and column take the block before them, whatever the mosaic's order.
        {"bayer rg8, odd width",
         frame_of(F::bayer_rg8, 3, 3, {100, 200, 100, 0, 40, 0}),
         {85, 85, 85, 0, 85, 85, 85, 0}},
        {"bayer gr8", frame_of(F::bayer_gr8, 2, 2, {10, 20, 30, 40}), {25, 25, 0, 0, 25, 25, 0, 0}},
        {"bayer gb8", frame_of(F::bayer_gb8, 2, 2, {0, 0, 0, 1}), {1, 1, 0, 0, 1, 1, 0, 0}},
        {"bayer bg8",
         frame_of(F::bayer_bg8, 2, 2, {255, 255, 255, 255}),
         {255, 255, 0, 0, 255, 255, 0, 0}},
        {"rgb8: red, green, blue, white, rounded",
         frame_of(F::rgb8, 5, 15, {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255, 1, 1, 1}),
         {76, 150, 29, 255, 1, 0, 0, 0}},
        {"bgr8", frame_of(F::bgr8, 1, 3, {255, 0, 0}), {29, 0, 0, 0}},
        {"a format no conversion knows",
         frame_of(F::other, 1, 1, {7}),
         {},
         core::unsupported_format},
        {"a mosaic without a 2x2 block",
         frame_of(F::bayer_rg8, 1, 1, {7, 7}),
         {},
         core::unsupported_format},
        {"a stride shorter than a row",
         frame_of(F::mono16, 3, 2, {1, 2}),
         {},
         core::unsupported_format},
        {"no frame", core::Image{}, {}, core::not_initialized},
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

TEST(SaveBmp, AGreyFrameIsItsHeaderThenEveryRowBottomUpPaddedToFourBytes)
{
    // An 18x16 frame's: a file of 1398 bytes, its rows at 1078; 18x16, 8 bits, uncompressed,
    // 320 bytes of rows; 2835 pixels a metre; a palette of 256 greys.
    const unsigned char header_18x16[54] = {
        'B', 'M', 0x76, 0x05, 0,  0, 0,    0,    0, 0, 0x36, 0x04, 0, 0, 40, 0, 0,    0,
        18,  0,   0,    0,    16, 0, 0,    0,    1, 0, 8,    0,    0, 0, 0,  0, 0x40, 0x01,
        0,   0,   0x13, 0x0b, 0,  0, 0x13, 0x0b, 0, 0, 0,    1,    0, 0, 0,  1, 0,    0};
    std::string header(reinterpret_cast<const char *>(header_18x16), 54);
    for (int i = 0; i < 256; ++i)
        header += {char(i), char(i), char(i), '\0'};
    const std::vector<uint8_t> made = core::bmp_header(18, 16);
    EXPECT_EQ(std::string(made.begin(), made.end()), header);
    // 18 pixels a row, one after the other, pad to 20 bytes; a frame of more rows than one
    // write takes, its rows 1032 bytes apart, writes 1030 of them and pads with zeros.
    const std::tuple<unsigned, unsigned, size_t> sizes[] = {{18, 16, 18}, {1030, 700, 1032}};
    const std::string dir = harness::temporary_directory("core-bmp");
    for (const auto &[width, height, stride] : sizes) {
        core::Image grey =
            frame_of(core::PixelFormat::mono8, width, stride, core::Pixels(stride * height));
        for (size_t i = 0; i < grey.pixels.size(); ++i)
            grey.pixels[i] = static_cast<uint8_t>(i * 7 + i / stride);
        ASSERT_EQ(core::save_bmp(grey, dir + "/frame.bmp"), core::ok);
        const std::vector<uint8_t> bytes = core::bmp_header(width, height);
        std::string expected(bytes.begin(), bytes.end());
        for (unsigned y = height; y-- > 0;)
            expected += std::string(&grey.pixels[y * stride], &grey.pixels[y * stride] + width) +
                        std::string((4 - width % 4) % 4, '\0');
        EXPECT_EQ(read_file(dir + "/frame.bmp"), expected);
    }
    harness::remove_tree(dir);
}

} // namespace
