// The BMP file of a grey frame in process: its bytes, its rows bottom-up and padded.
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
