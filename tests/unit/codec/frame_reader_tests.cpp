// FrameReader: what each item does to the picture (clear, raw, difference, type bytes by their
// low four bits), and that malformed records are skipped or end the reading without touching
// the picture: rectangles outside the frame, bad counts, zlib data of the wrong size.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "codec/frame_reader.h"
#include "codec/frame_format.h"
#include "codec_test_support.h"

namespace {

using codec::FrameReader;
using codec::FrameRect;
using codec_test::appendRecord;
using codec_test::Pixels;

constexpr int32_t kWidth = 4;
constexpr int32_t kHeight = 3;

Pixels picture(const FrameReader& reader) {
  return Pixels(reader.pixels(), reader.pixels() + reader.width() * reader.height());
}

Pixels filled(uint32_t value) { return Pixels(kWidth * kHeight, value); }

// A reader holding a picture of distinct colours, set by one raw record.
class FrameReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(reader_.setSize(kWidth, kHeight), S_OK);
    for (size_t i = 0; i < start_.size(); ++i) start_[i] = 0x00102030u + static_cast<uint32_t>(i);
    std::vector<uint8_t> sample;
    appendRecord(sample, codec::kRawRectangle, {0, 0, kWidth, kHeight}, start_);
    apply(sample, true);
    ASSERT_EQ(picture(reader_), start_);
  }

  void apply(const std::vector<uint8_t>& sample, bool syncPoint = false) {
    reader_.applySample(sample.data(), sample.size(), syncPoint);
  }

  FrameReader reader_;
  Pixels start_ = Pixels(kWidth * kHeight);
};

TEST_F(FrameReaderTest, ZeroLengthSampleKeepsThePicture) {
  reader_.applySample(nullptr, 0, false);
  EXPECT_EQ(picture(reader_), start_);
  apply({});
  EXPECT_EQ(picture(reader_), start_);
}

TEST_F(FrameReaderTest, ClearMarkerOrSyncPointGivesBlack) {
  apply({codec::kClearMarker});
  EXPECT_EQ(picture(reader_), filled(0));

  SetUp();
  reader_.applySample(nullptr, 0, true);
  EXPECT_EQ(picture(reader_), filled(0));
}

TEST_F(FrameReaderTest, RawRectangleReplacesItsPixels) {
  std::vector<uint8_t> sample;
  appendRecord(sample, codec::kRawRectangle, {1, 1, 3, 3}, Pixels{0xA, 0xB, 0xC, 0xD});
  apply(sample);
  Pixels expected = start_;
  expected[1 * kWidth + 1] = 0xA;
  expected[1 * kWidth + 2] = 0xB;
  expected[2 * kWidth + 1] = 0xC;
  expected[2 * kWidth + 2] = 0xD;
  EXPECT_EQ(picture(reader_), expected);
}

TEST_F(FrameReaderTest, DifferenceRectangleChangesMarkedPixelsOnly) {
  std::vector<uint8_t> sample;
  // Unchanged, changed to black, changed to a colour (top byte cleared), any top byte marks.
  appendRecord(sample, codec::kDifferenceRectangle, {0, 2, 4, 3},
               Pixels{0x00000000, 0xFF000000, 0xFF123456, 0x01ABCDEF});
  apply(sample);
  Pixels expected = start_;
  expected[2 * kWidth + 1] = 0;
  expected[2 * kWidth + 2] = 0x123456;
  expected[2 * kWidth + 3] = 0xABCDEF;
  EXPECT_EQ(picture(reader_), expected);

  std::vector<uint8_t> unchanged;
  appendRecord(unchanged, codec::kDifferenceRectangle, {0, 0, kWidth, kHeight}, filled(0));
  apply(unchanged);
  EXPECT_EQ(picture(reader_), expected);
}

TEST_F(FrameReaderTest, TypesAreReadByTheirLowFourBits) {
  std::vector<uint8_t> sample;
  appendRecord(sample, 0x21, {0, 0, 1, 1}, Pixels{0x111111});
  appendRecord(sample, 0x31, {1, 0, 2, 1}, Pixels{0xFF222222});
  apply(sample);
  Pixels expected = start_;
  expected[0] = 0x111111;
  expected[1] = 0x222222;
  EXPECT_EQ(picture(reader_), expected);

  apply({0x12});
  EXPECT_EQ(picture(reader_), filled(0));
}

TEST_F(FrameReaderTest, UnknownTypeBytesAreSkippedOneAtATime) {
  // Each unknown byte is followed by a record one byte later, so a reader that skipped more
  // than one byte, or stopped, would miss it.
  for (uint8_t type : {0x00, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E,
                       0x0F, 0xF0, 0x4F}) {
    std::vector<uint8_t> sample{type};
    appendRecord(sample, codec::kRawRectangle, {3, 2, 4, 3}, Pixels{type + 0x100u});
    apply(sample);
    EXPECT_EQ(picture(reader_)[2 * kWidth + 3], type + 0x100u) << int(type);
  }
}

TEST_F(FrameReaderTest, SeveralItemsApplyInOrder) {
  std::vector<uint8_t> sample{codec::kClearMarker};
  appendRecord(sample, codec::kRawRectangle, {0, 0, 2, 1}, Pixels{1, 2});
  appendRecord(sample, codec::kDifferenceRectangle, {1, 0, 3, 1}, Pixels{0xFF000009, 0xFF000008});
  sample.push_back(0x07);
  apply(sample);
  Pixels expected = filled(0);
  expected[0] = 1;
  expected[1] = 9;
  expected[2] = 8;
  EXPECT_EQ(picture(reader_), expected);
}

TEST_F(FrameReaderTest, RecordReachingPastTheEndEndsTheSample) {
  // The record's N covers the valid clear marker and record behind it, and one byte more.
  // Every header byte after the type is an unknown item byte, so neither a reader that steps
  // over the header nor one that skips byte by byte may reach the tail.
  std::vector<uint8_t> tail{codec::kClearMarker};
  appendRecord(tail, codec::kRawRectangle, {0, 0, 1, 1}, Pixels{0x999999});
  while ((tail.size() + 1) % 16 != 0) tail.push_back(0x00);
  std::vector<uint8_t> sample;
  appendRecord(sample, codec::kRawRectangle, {0, 0, 3, 3}, std::vector<uint8_t>(tail.size() + 1));
  sample.resize(codec::kRecordHeaderBytes);
  sample.insert(sample.end(), tail.begin(), tail.end());
  apply(sample);
  EXPECT_EQ(picture(reader_), start_);

  // A header cut short behind a valid record: the record stays applied.
  std::vector<uint8_t> cut;
  appendRecord(cut, codec::kRawRectangle, {0, 0, 1, 1}, Pixels{0x777777});
  cut.insert(cut.end(), {codec::kRawRectangle, 0, 0, 0, 0});
  apply(cut);
  EXPECT_EQ(picture(reader_)[0], 0x777777u);
}

TEST_F(FrameReaderTest, NegativeCountEndsTheSample) {
  std::vector<uint8_t> sample;
  appendRecord(sample, codec::kRawRectangle, {0, 0, 1, 1}, std::vector<uint8_t>{});
  sample[17] = sample[18] = sample[19] = sample[20] = 0xFF;  // N = -1
  sample.push_back(codec::kClearMarker);
  apply(sample);
  EXPECT_EQ(picture(reader_), start_);
}

TEST_F(FrameReaderTest, RectanglesOutsideTheFrameAreSkipped) {
  const std::vector<FrameRect> bad{{-1, 0, 1, 1},
                                   {0, -1, 1, 1},
                                   {3, 0, 5, 1},
                                   {0, 2, 1, 4},
                                   {2, 0, 2, 1},
                                   {2, 1, 1, 2},
                                   {0, 1, 1, 1},
                                   {0, 2, 1, 0},
                                   {INT32_MIN, 0, INT32_MAX, 1},
                                   {0, INT32_MIN, 1, INT32_MAX}};
  for (const FrameRect& rect : bad) {
    std::vector<uint8_t> sample;
    appendRecord(sample, codec::kRawRectangle, rect, Pixels(4, 0x555555));
    appendRecord(sample, codec::kDifferenceRectangle, rect, Pixels(4, 0xFF555555));
    apply(sample);
    EXPECT_EQ(picture(reader_), start_)
        << rect.left << "," << rect.top << "," << rect.right << "," << rect.bottom;
  }

  // Reading goes on behind a skipped record.
  std::vector<uint8_t> sample;
  appendRecord(sample, codec::kRawRectangle, {0, 0, 5, 1}, Pixels(5, 0x555555));
  sample.push_back(codec::kClearMarker);
  apply(sample);
  EXPECT_EQ(picture(reader_), filled(0));
}

TEST_F(FrameReaderTest, ContentOfTheWrongSizeIsNotApplied) {
  std::vector<uint8_t> zlibCut = codec_test::deflated(Pixels(4, 0x555555));
  zlibCut.resize(zlibCut.size() - 3);  // cut inside the Adler-32 trailer
  std::vector<uint8_t> garbage(12, 0x42);

  std::vector<uint8_t> sample;
  appendRecord(sample, codec::kRawRectangle, {0, 0, 2, 2}, Pixels(3, 0x555555));  // too few
  appendRecord(sample, codec::kRawRectangle, {0, 0, 2, 2}, Pixels(5, 0x555555));  // too many
  appendRecord(sample, codec::kRawRectangle, {0, 0, 2, 2}, zlibCut);
  appendRecord(sample, codec::kRawRectangle, {0, 0, 2, 2}, garbage);
  appendRecord(sample, codec::kDifferenceRectangle, {0, 0, 2, 2}, Pixels(3, 0xFF555555));
  appendRecord(sample, codec::kRawRectangle, {0, 0, 2, 2}, std::vector<uint8_t>{});
  appendRecord(sample, codec::kRawRectangle, {3, 2, 4, 3}, Pixels{0x010203});  // still read
  apply(sample);
  Pixels expected = start_;
  expected[2 * kWidth + 3] = 0x010203;
  EXPECT_EQ(picture(reader_), expected);
}

TEST(FrameReaderSize, NewSizeStartsBlackSameSizeKeeps) {
  FrameReader reader;
  EXPECT_EQ(reader.pixels(), nullptr);
  const std::vector<uint8_t> clear{codec::kClearMarker};
  reader.applySample(clear.data(), clear.size(), true);  // no picture yet: nothing happens

  ASSERT_EQ(reader.setSize(2, 1), S_OK);
  std::vector<uint8_t> sample;
  appendRecord(sample, codec::kRawRectangle, {0, 0, 2, 1}, Pixels{5, 6});
  reader.applySample(sample.data(), sample.size(), false);
  EXPECT_EQ(reader.setSize(2, 1), S_OK);
  EXPECT_EQ(picture(reader), (Pixels{5, 6}));

  ASSERT_EQ(reader.setSize(1, 2), S_OK);
  EXPECT_EQ(picture(reader), (Pixels{0, 0}));

  EXPECT_EQ(reader.setSize(0, 2), E_INVALIDARG);
  EXPECT_EQ(reader.setSize(2, -1), E_INVALIDARG);
  EXPECT_EQ(reader.width(), 1);
  EXPECT_EQ(reader.height(), 2);
}

}  // namespace
