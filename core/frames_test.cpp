// A frame's way through the core in process: conversion from every pixel format it knows to
// grey, on a few bytes, then the BMP file of a grey frame, its rows bottom-up and padded.
#include "bmp.h"
#include "bmp_file.h"
#include "conversion.h"
#include "harness.h"

#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

using harness::decode_bmp;
using harness::Grey;
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

TEST(SaveBmp, AGreyFrameIsAGreyBmpWithPaddedBottomUpRows)
{
    // 18 pixels a row pad to 20 bytes; 16 rows.
    core::Image grey = frame_of(core::PixelFormat::mono8, 18, 18, core::Pixels(18 * 16));
    for (size_t i = 0; i < grey.pixels.size(); ++i)
        grey.pixels[i] = static_cast<uint8_t>(i);
    const std::string dir = harness::temporary_directory("core-bmp");
    ASSERT_EQ(core::save_bmp(grey, dir + "/frame.bmp"), core::ok);
    const std::string bytes = read_file(dir + "/frame.bmp");
    harness::remove_tree(dir);
    const unsigned char expected_header[54] = {
        'B', 'M', 0x76, 0x05, 0, 0, 0, 0, 0, 0, 0x36, 0x04, 0, 0, // file: 1398 bytes, at
                                                                  // 1078
        40, 0, 0, 0, 18, 0, 0, 0, 16, 0, 0, 0, 1, 0, 8,
        0,                            // info: 18x16, 8 bits
        0, 0, 0, 0, 0x40, 0x01, 0, 0, // uncompressed, 320 bytes
        0x13, 0x0b, 0, 0, 0x13, 0x0b, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0};
    ASSERT_EQ(bytes.size(), 1398u);
    EXPECT_EQ(bytes.substr(0, 54),
              std::string(reinterpret_cast<const char *>(expected_header), 54));
    Grey frame = decode_bmp(bytes);
    EXPECT_EQ(frame.error, "");
    EXPECT_EQ(core::Pixels(frame.pixels.begin(), frame.pixels.end()), grey.pixels);
}

TEST(SaveBmp, AFrameOfManyRowsHoldsTheHeaderThenEveryRowBottomUp)
{
    // More rows than one write takes: 1030 pixels pad to 1032 bytes.
    core::Image raw = frame_of(core::PixelFormat::bayer_rg8, 1030, 1030, core::Pixels(1030 * 700));
    for (size_t i = 0; i < raw.pixels.size(); ++i)
        raw.pixels[i] = static_cast<uint8_t>(i * 7 + i / 1030);
    core::Image grey;
    ASSERT_EQ(core::convert_to_mono8(raw, grey), core::ok);
    const std::vector<uint8_t> header = core::bmp_header(raw.width, raw.height);
    std::string expected(header.begin(), header.end());
    for (unsigned y = raw.height; y-- > 0;)
        expected.append(reinterpret_cast<const char *>(&grey.pixels[y * grey.stride]), 1032);
    const std::string dir = harness::temporary_directory("core-bmp");
    ASSERT_EQ(core::save_bmp(grey, dir + "/frame.bmp"), core::ok);
    EXPECT_EQ(read_file(dir + "/frame.bmp"), expected);
    harness::remove_tree(dir);
}

} // namespace
