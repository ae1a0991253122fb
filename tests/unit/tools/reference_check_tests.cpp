// The frame-by-frame comparison with a reference recording, natively: identical frames, the
// first differing pixel and both colours, a size difference, frame counts, and a reference
// frame too short for a picture.
#include <gtest/gtest.h>

#include "tests/unit/tools/avi_test_file.h"
#include "tools/zelkrec/reference_check.h"

namespace {

using avi_test::Bytes;

// A 2 x 2 bottom-up RGB32 frame of one colour, with (x, y) (top-down) in another.
Bytes frameWith(std::uint8_t red, int x = -1, int y = -1, std::uint8_t otherRed = 0) {
  Bytes bits(16, 0);
  for (int row = 0; row < 2; ++row) {
    for (int column = 0; column < 2; ++column) {
      const bool other = column == x && row == y;
      bits[((1 - row) * 2 + column) * 4 + 2] = other ? otherRed : red;
    }
  }
  return bits;
}

class ReferenceCheckTest : public ::testing::Test {
 protected:
  void useReference(const std::vector<Bytes>& frames) {
    avi_test::File recipe;
    for (const Bytes& frame : frames) recipe.frames.push_back({frame, true});
    file_ = recipe.build();
    const AviReadResult read = readAvi(file_);
    ASSERT_TRUE(read.ok()) << read.error;
    contents_ = read.contents;
    const BitmapLayoutResult layout = bitmapLayout(contents_.video.header);
    ASSERT_TRUE(layout.ok()) << layout.error;
    layout_ = layout.layout;
  }

  RgbPicture picture(const Bytes& bits) {
    RgbPicture result;
    EXPECT_TRUE(convertToRgb(layout_, bits, &result));
    return result;
  }

  Bytes file_;
  AviContents contents_;
  BitmapLayout layout_;
};

TEST_F(ReferenceCheckTest, IdenticalFramesMatch) {
  useReference({frameWith(10), frameWith(20)});
  ReferenceCheck check(file_, contents_, layout_);
  EXPECT_EQ(check.consume(picture(frameWith(10))), S_OK);
  EXPECT_FALSE(check.identical());  // one frame short so far
  EXPECT_EQ(check.consume(picture(frameWith(20))), S_OK);
  EXPECT_TRUE(check.identical());
  EXPECT_EQ(check.summary(), "2 frames of 2 x 2, all identical");
}

TEST_F(ReferenceCheckTest, NamesTheFirstDifferingPixelInReadingOrder) {
  useReference({frameWith(10), frameWith(20), frameWith(30)});
  ReferenceCheck check(file_, contents_, layout_);
  EXPECT_EQ(check.consume(picture(frameWith(10))), S_OK);
  EXPECT_EQ(check.consume(picture(frameWith(20, 1, 0, 99))), S_OK);
  EXPECT_EQ(check.consume(picture(frameWith(31))), S_OK);
  EXPECT_FALSE(check.identical());
  EXPECT_EQ(check.summary(),
            "frame 1 differs at pixel (1, 0): (99, 0, 0) here, (20, 0, 0) in the reference; 2 of "
            "3 frames differ");
}

TEST_F(ReferenceCheckTest, ASizeDifferenceIsADifference) {
  useReference({frameWith(10)});
  ReferenceCheck check(file_, contents_, layout_);
  RgbPicture wide;
  wide.width = 3;
  wide.height = 2;
  wide.pixels.assign(18, 0);
  EXPECT_EQ(check.consume(wide), S_OK);
  EXPECT_EQ(check.summary(), "frame 0 is 3 x 2, the reference's 2 x 2; 1 of 1 frame differs");
}

TEST_F(ReferenceCheckTest, FrameCountsMustAgree) {
  useReference({frameWith(10), frameWith(20)});
  ReferenceCheck fewer(file_, contents_, layout_);
  EXPECT_EQ(fewer.consume(picture(frameWith(10))), S_OK);
  EXPECT_FALSE(fewer.identical());
  EXPECT_EQ(fewer.summary(),
            "the frame counts differ (1 frame here, 2 frames in the reference); the first frame "
            "is identical");

  ReferenceCheck more(file_, contents_, layout_);
  for (std::uint8_t red : {10, 20, 30}) EXPECT_EQ(more.consume(picture(frameWith(red))), S_OK);
  EXPECT_FALSE(more.identical());
  EXPECT_EQ(more.framesPlayed(), 3);
  EXPECT_EQ(more.summary(),
            "the frame counts differ (3 frames here, 2 frames in the reference); the first 2 "
            "frames are identical");
}

TEST_F(ReferenceCheckTest, AShortReferenceFrameFailsTheCheck) {
  useReference({frameWith(10), Bytes(5, 0)});
  ReferenceCheck check(file_, contents_, layout_);
  EXPECT_EQ(check.consume(picture(frameWith(10))), S_OK);
  EXPECT_EQ(check.consume(picture(frameWith(10))), E_FAIL);
  EXPECT_EQ(check.failure(),
            "frame 1 of the reference holds 5 bytes, less than a picture of 2 x 2 needs (16)");
}

}  // namespace
