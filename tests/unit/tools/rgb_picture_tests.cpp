// Bitmap layouts and their conversion to top-down RGB, natively: both row orders, row padding,
// the 16-bit formats at full intensity, and the bitmaps the player refuses.
#include <gtest/gtest.h>

#include "tests/unit/tools/avi_test_file.h"
#include "tools/zelkrec/rgb_picture.h"

namespace {

using avi_test::bitmapHeader;
using avi_test::Bytes;

Bytes masks(std::uint32_t red, std::uint32_t green, std::uint32_t blue) {
  Bytes out;
  avi_test::putWord(&out, red);
  avi_test::putWord(&out, green);
  avi_test::putWord(&out, blue);
  return out;
}

BitmapLayout layoutOf(const Bytes& header) {
  const BitmapLayoutResult result = bitmapLayout(header);
  EXPECT_TRUE(result.ok()) << result.error;
  return result.layout;
}

std::vector<int> rgb(const RgbPicture& picture, int x, int y) {
  const std::uint8_t* p = picture.at(x, y);
  return {p[0], p[1], p[2]};
}

TEST(RgbPictureTest, BottomUpRowsComeOutTopDown) {
  const BitmapLayout layout = layoutOf(bitmapHeader(2, 2, 32, 0));
  EXPECT_FALSE(layout.topDown);
  EXPECT_EQ(layout.stride, 8u);
  // Memory order: the bottom row first; each pixel blue, green, red, unused.
  const Bytes bits = {1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0, 10, 11, 12, 0};
  RgbPicture picture;
  ASSERT_TRUE(convertToRgb(layout, bits, &picture));
  EXPECT_EQ(picture.width, 2);
  EXPECT_EQ(picture.height, 2);
  EXPECT_EQ(rgb(picture, 0, 0), (std::vector<int>{9, 8, 7}));
  EXPECT_EQ(rgb(picture, 1, 0), (std::vector<int>{12, 11, 10}));
  EXPECT_EQ(rgb(picture, 0, 1), (std::vector<int>{3, 2, 1}));

  const BitmapLayout topDown = layoutOf(bitmapHeader(2, -2, 32, 0));
  EXPECT_TRUE(topDown.topDown);
  ASSERT_TRUE(convertToRgb(topDown, bits, &picture));
  EXPECT_EQ(rgb(picture, 0, 0), (std::vector<int>{3, 2, 1}));
}

TEST(RgbPictureTest, TwentyFourBitRowsArePaddedToFourBytes) {
  const BitmapLayout layout = layoutOf(bitmapHeader(3, 2, 24, 0));
  EXPECT_EQ(layout.stride, 12u);
  EXPECT_EQ(layout.imageBytes(), 24u);
  Bytes bits(24, 0);
  bits[12 + 6] = 200;  // top row (second in memory), third pixel, blue
  RgbPicture picture;
  ASSERT_TRUE(convertToRgb(layout, bits, &picture));
  EXPECT_EQ(rgb(picture, 2, 0), (std::vector<int>{0, 0, 200}));
  EXPECT_FALSE(convertToRgb(layout, Bytes(23), &picture));
}

TEST(RgbPictureTest, SixteenBitFormatsReachFullIntensity) {
  RgbPicture picture;
  const BitmapLayout rgb565 = layoutOf(bitmapHeader(2, 1, 16, 3, masks(0xF800, 0x07E0, 0x001F)));
  ASSERT_TRUE(convertToRgb(rgb565, Bytes{0x00, 0xF8, 0xFF, 0xFF}, &picture));
  EXPECT_EQ(rgb(picture, 0, 0), (std::vector<int>{255, 0, 0}));
  EXPECT_EQ(rgb(picture, 1, 0), (std::vector<int>{255, 255, 255}));

  const BitmapLayout plain = layoutOf(bitmapHeader(2, 1, 16, 0));  // BI_RGB 16 is 555
  const BitmapLayout rgb555 = layoutOf(bitmapHeader(2, 1, 16, 3, masks(0x7C00, 0x03E0, 0x001F)));
  for (const BitmapLayout& layout : {plain, rgb555}) {
    ASSERT_TRUE(convertToRgb(layout, Bytes{0xE0, 0x03, 0x1F, 0x00}, &picture));
    EXPECT_EQ(rgb(picture, 0, 0), (std::vector<int>{0, 255, 0}));
    EXPECT_EQ(rgb(picture, 1, 0), (std::vector<int>{0, 0, 255}));
  }
  const BitmapLayout bitfields32 =
      layoutOf(bitmapHeader(1, 1, 32, 3, masks(0xFF0000, 0xFF00, 0xFF)));
  EXPECT_EQ(bitfields32.pixels, BitmapLayout::Pixels::Bgr32);
}

TEST(RgbPictureTest, RefusesWhatItCannotShow) {
  struct Case {
    Bytes header;
    const char* error;
  };
  const Case cases[] = {
      {Bytes(39), "the bitmap header is only 39 bytes"},
      {bitmapHeader(0, 2, 32, 0), "the picture size 0 x 2 is outside 1 to 16384 pixels a side"},
      {bitmapHeader(2, -16385, 32, 0),
       "the picture size 2 x -16385 is outside 1 to 16384 pixels a side"},
      {bitmapHeader(2, 2, 8, 0),
       "bitmaps of 8 bits with these masks or a palette are not read (16, 24 and 32-bit RGB are)"},
      {bitmapHeader(2, 2, 16, 3, masks(0xF00, 0xF0, 0xF)),
       "bitmaps of 16 bits with these masks or a palette are not read (16, 24 and 32-bit RGB "
       "are)"},
      // Masks named but missing.
      {bitmapHeader(2, 2, 16, 3),
       "bitmaps of 16 bits with these masks or a palette are not read (16, 24 and 32-bit RGB "
       "are)"},
      {bitmapHeader(2, 2, 32, 0x434B4C5A), "the bitmap is compressed"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(bitmapLayout(c.header).error, c.error);
  }
}

}  // namespace
