// Frames in process: the BMP bytes of a saved frame and the demosaicing to grey.
#include "bmp.h"
#include "image.h"
#include "simulated_camera_test.h"

#include <string>
#include <unistd.h>

using namespace camsim_test;
using harness::decode_bmp;
using harness::Grey;
using process::read_file;

namespace
{

TEST_F(SimulatedCamera, SavedFramesAreGreyBmpsWithPaddedBottomUpRows)
{
    image_record raw{}, grey{};
    ASSERT_EQ(camsim::create_image(&raw), 0);
    ASSERT_EQ(camsim::create_image(&grey), 0);
    ASSERT_EQ(camsim::start_capture(context), 0);
    ASSERT_EQ(retrieve(context, &raw), 0);
    ASSERT_EQ(camsim::convert_image(PIXEL_FORMAT_MONO8, &raw, &grey), 0);
    const std::string path = directory + "/frame.bmp";
    ASSERT_EQ(camsim::save_image(&grey, path.c_str(), FILE_FORMAT_BMP), 0);
    const std::string bytes = read_file(path);
    unlink(path.c_str());

    // 18 pixels a row pad to 20 bytes; 16 rows.
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
    EXPECT_EQ(frame.width, 18u);
    EXPECT_EQ(frame.height, 16u);
    // The frame number box sits at the top left, in black.
    EXPECT_EQ(frame.pixels[0], 0);
}

TEST_F(SimulatedCamera, AFrameWrittenInSeveralSlicesHoldsTheHeaderThenEveryConvertedRow)
{
    // Rows of 1032 bytes: each slice carries a different part of a row to the next write.
    camsim::Image raw;
    raw.layout = camsim::PixelLayout::bayer_rggb;
    raw.width = raw.stride = 1030;
    raw.height = 700;
    raw.pixels.resize(static_cast<size_t>(raw.stride) * raw.height);
    for (size_t i = 0; i < raw.pixels.size(); ++i)
        raw.pixels[i] = static_cast<uint8_t>(i * 7 + i / 1030);
    camsim::Image grey;
    ASSERT_EQ(camsim::convert_to_mono8(raw, grey), camsim::ok);
    const std::vector<uint8_t> header = camsim::bmp_header(raw.width, raw.height);
    ASSERT_EQ(camsim::save_bmp(raw, directory + "/frame.bmp"), camsim::ok);
    EXPECT_EQ(read_file(directory + "/frame.bmp"),
              std::string(header.begin(), header.end()) +
                  std::string(grey.pixels.begin(), grey.pixels.end()));
}

TEST(Conversion, EachGreyPixelIsTheMeanOfTheTwoByTwoBlockAtIt)
{
    camsim::Image raw;
    raw.layout = camsim::PixelLayout::bayer_rggb;
    raw.width = raw.stride = 4;
    raw.height = 2;
    raw.pixels = {100, 200, 100, 200, //
                  0,   40,  0,   40};
    camsim::Image grey;
    ASSERT_EQ(camsim::convert_to_mono8(raw, grey), camsim::ok);
    EXPECT_EQ(grey.stride, 4u);
    // Bottom-up rows; the last row and column take the block before them.
    const std::vector<uint8_t> row = {85, 85, 85, 85};
    EXPECT_EQ(std::vector<uint8_t>(grey.pixels.begin(), grey.pixels.begin() + 4), row);
    EXPECT_EQ(std::vector<uint8_t>(grey.pixels.begin() + 4, grey.pixels.end()), row);
    camsim::Image empty;
    EXPECT_EQ(camsim::convert_to_mono8(empty, grey), camsim::not_initialized);
}

} // namespace
