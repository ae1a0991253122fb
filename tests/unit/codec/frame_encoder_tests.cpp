// FrameEncoder: which frames become key, difference or empty samples (keyframe rate, frames
// changed to all four edges, identical frames, new sizes, resets), short frames, the
// difference content, and failures that must not overrun the output or keep the reference.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "codec/frame_encoder.h"
#include "codec/frame_format.h"
#include "codec_test_support.h"

namespace {

using codec::EncodedSample;
using codec::FrameEncoder;
using codec::FrameRect;
using codec_test::Pixels;

struct Coded {
  HRESULT result = E_FAIL;
  std::vector<uint8_t> bytes;
  bool syncPoint = false;
};

constexpr uint8_t kGuard = 0xA5;

class FrameEncoderTest : public ::testing::Test {
 protected:
  static constexpr int32_t kWidth = 6;
  static constexpr int32_t kHeight = 5;

  Coded encode(const Pixels& frame, size_t length, size_t capacity, int32_t width = kWidth,
               int32_t height = kHeight) {
    std::vector<uint8_t> out(capacity + 16, kGuard);
    EncodedSample sample;
    Coded coded;
    coded.result = encoder_.encode(std::make_unique<codec_test::VectorFrame>(frame, length), width,
                                   height, out.data(), capacity, &sample);
    for (size_t i = capacity; i < out.size(); ++i) EXPECT_EQ(out[i], kGuard) << i;
    if (coded.result == S_OK) {
      coded.bytes.assign(out.begin(), out.begin() + sample.length);
      coded.syncPoint = sample.syncPoint;
    }
    return coded;
  }

  Coded encode(const Pixels& frame) {
    return encode(frame, frame.size() * 4, codec::sampleCapacity(frame.size() * 4));
  }

  static bool isKey(const Coded& coded, FrameRect rect) {
    return coded.result == S_OK && coded.syncPoint && coded.bytes.size() > 22 &&
           coded.bytes[0] == codec::kClearMarker && coded.bytes[1] == codec::kRawRectangle &&
           codec::loadRecordHeader(coded.bytes.data() + 1).rect == rect;
  }

  static bool isKey(const Coded& coded) { return isKey(coded, {0, 0, kWidth, kHeight}); }

  static bool isEmpty(const Coded& coded) {
    return coded.result == S_OK && !coded.syncPoint && coded.bytes.empty();
  }

  static Pixels frameOf(uint32_t variant) {
    Pixels frame(kWidth * kHeight);
    for (size_t i = 0; i < frame.size(); ++i) frame[i] = (variant * 0x9E3779B9u + i * 77) & 0xFFFFFF;
    return frame;
  }

  FrameEncoder encoder_;
};

TEST_F(FrameEncoderTest, IdenticalFrameGivesAnEmptySample) {
  const Pixels frame = frameOf(1);
  ASSERT_TRUE(isKey(encode(frame)));
  EXPECT_TRUE(isEmpty(encode(frame)));
  EXPECT_TRUE(isEmpty(encode(frame)));
}

TEST_F(FrameEncoderTest, OneChangedPixelGivesAOnePixelDifference) {
  Pixels frame = frameOf(2);
  ASSERT_TRUE(isKey(encode(frame)));
  frame[3 * kWidth + 4] = 0;  // to black: must still read as changed
  const Coded coded = encode(frame);
  ASSERT_EQ(coded.result, S_OK);
  EXPECT_FALSE(coded.syncPoint);
  const codec::RecordHeader header = codec::loadRecordHeader(coded.bytes.data());
  EXPECT_EQ(header.type, codec::kDifferenceRectangle);
  EXPECT_EQ(header.rect, (FrameRect{4, 3, 5, 4}));
  EXPECT_EQ(coded.bytes.size(), 21u + header.compressedBytes);
  EXPECT_EQ(codec_test::inflatedContent(coded.bytes.data()), Pixels{codec::kChangedMark});
}

TEST_F(FrameEncoderTest, DifferenceContentMarksChangedPixelsOnly) {
  Pixels frame = frameOf(3);
  ASSERT_TRUE(isKey(encode(frame)));
  const Pixels before = frame;
  frame[1 * kWidth + 1] = 0x123456;
  frame[2 * kWidth + 3] = 0xFF654321;  // the top byte is cleared before comparing
  const Coded coded = encode(frame);
  ASSERT_EQ(codec::loadRecordHeader(coded.bytes.data()).rect, (FrameRect{1, 1, 4, 3}));
  const Pixels expected{0xFF123456, 0, 0, 0, 0, 0xFF654321};
  EXPECT_EQ(codec_test::inflatedContent(coded.bytes.data()), expected);
}

TEST_F(FrameEncoderTest, ChangesTouchingAllEdgesGiveAKeySampleAndCount) {
  encoder_.setKeyframeRate(3);
  Pixels frame = frameOf(4);
  ASSERT_TRUE(isKey(encode(frame)));  // counted 0
  frame[0] ^= 1;                      // top row, left column
  frame[kWidth * kHeight - 1] ^= 1;   // bottom row, right column
  EXPECT_TRUE(isKey(encode(frame)));  // counted 1
  EXPECT_TRUE(isEmpty(encode(frame)));
  EXPECT_TRUE(isKey(encode(frame)));  // counted 3: the count was not restarted by the promotion

  // Three edges only stay a difference.
  frame[0] ^= 1;
  frame[(kHeight - 1) * kWidth + 3] ^= 1;
  const Coded threeEdges = encode(frame);
  EXPECT_FALSE(threeEdges.syncPoint);
  EXPECT_EQ(codec::loadRecordHeader(threeEdges.bytes.data()).rect, (FrameRect{0, 0, 4, kHeight}));
}

TEST_F(FrameEncoderTest, KeyframeRateOneMakesEveryFrameKey) {
  encoder_.setKeyframeRate(1);
  const Pixels frame = frameOf(5);
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(isKey(encode(frame))) << i;
}

TEST_F(FrameEncoderTest, KeyframeRateZeroKeysOnlyAfterAReset) {
  for (int32_t rate : {0, -5}) {
    encoder_.reset();
    encoder_.setKeyframeRate(rate);
    const Pixels frame = frameOf(6);
    EXPECT_TRUE(isKey(encode(frame)));
    for (int i = 0; i < 70; ++i) EXPECT_TRUE(isEmpty(encode(frame))) << rate << " " << i;
    encoder_.reset();
    EXPECT_TRUE(isKey(encode(frame)));
  }
}

TEST_F(FrameEncoderTest, DefaultRateKeysEveryThirtyFrames) {
  const Pixels frame = frameOf(7);
  for (int i = 0; i < 61; ++i) {
    const Coded coded = encode(frame);
    EXPECT_EQ(coded.syncPoint, i % 30 == 0) << i;
  }
}

TEST_F(FrameEncoderTest, LoweredKeyframeRateTakesEffectAtOnce) {
  // The counter may already be past the new rate; it must not run on without keys.
  encoder_.setKeyframeRate(10);
  const Pixels frame = frameOf(13);
  for (int i = 0; i < 6; ++i) encode(frame);
  encoder_.setKeyframeRate(3);
  EXPECT_TRUE(isEmpty(encode(frame)));
  EXPECT_TRUE(isKey(encode(frame)));
}

TEST_F(FrameEncoderTest, ShortFrameCodesOnlyCompleteRows) {
  const Pixels frame = frameOf(8);
  const size_t threeRowsAndABit = 3 * kWidth * 4 + 5;
  const Coded shortKey = encode(frame, threeRowsAndABit, 1000);
  EXPECT_TRUE(isKey(shortKey, {0, 0, kWidth, 3}));
  EXPECT_EQ(codec_test::inflatedContent(shortKey.bytes.data() + 1),
            Pixels(frame.begin(), frame.begin() + 3 * kWidth));

  // The reference is short too: only its rows are compared, and all of them are equal.
  EXPECT_TRUE(isEmpty(encode(frame)));

  // Less than one row: a key sample of the clear marker alone.
  encoder_.reset();
  const Coded nothing = encode(frame, kWidth * 4 - 1, 1000);
  EXPECT_EQ(nothing.bytes, std::vector<uint8_t>{codec::kClearMarker});
  EXPECT_TRUE(nothing.syncPoint);
}

TEST_F(FrameEncoderTest, TopBytesAreClearedInTheFrame) {
  Pixels frame = frameOf(9);
  for (uint32_t& pixel : frame) pixel |= 0x7F000000;
  const Coded coded = encode(frame);
  Pixels cleared = frame;
  for (uint32_t& pixel : cleared) pixel &= 0xFFFFFF;
  EXPECT_EQ(codec_test::inflatedContent(coded.bytes.data() + 1), cleared);
}

TEST_F(FrameEncoderTest, NewFrameSizeGivesAKeySample) {
  const Pixels frame = frameOf(10);
  ASSERT_TRUE(isKey(encode(frame)));
  const Coded wider = encode(frame, frame.size() * 4, 1000, kHeight, kWidth);
  EXPECT_TRUE(isKey(wider, {0, 0, kHeight, kWidth}));
}

TEST(FrameEncoderOneByOne, KeySampleSize) {
  FrameEncoder encoder;
  std::vector<uint8_t> out(codec::sampleCapacity(4));
  EncodedSample sample;
  ASSERT_EQ(encoder.encode(codec_test::frameOf(Pixels{0x00ABCDEF}), 1, 1, out.data(), out.size(),
                           &sample),
            S_OK);
  const codec::RecordHeader header = codec::loadRecordHeader(out.data() + 1);
  EXPECT_TRUE(sample.syncPoint);
  EXPECT_EQ(sample.length, 1u + 21u + header.compressedBytes);
  EXPECT_EQ(header.rect.contentBytes(), 4u);
  EXPECT_EQ(codec_test::inflatedContent(out.data() + 1), Pixels{0x00ABCDEF});

  // In a 1 x 1 frame any change touches all four edges.
  ASSERT_EQ(encoder.encode(codec_test::frameOf(Pixels{0}), 1, 1, out.data(), out.size(), &sample),
            S_OK);
  EXPECT_TRUE(sample.syncPoint);
}

TEST_F(FrameEncoderTest, FailedWriteKeepsNoReference) {
  encoder_.setKeyframeRate(4);
  Pixels frame = frameOf(11);
  ASSERT_TRUE(isKey(encode(frame)));  // counted 0
  frame[7] ^= 0x10;
  const Coded tooSmall = encode(frame, frame.size() * 4, 22);
  EXPECT_EQ(tooSmall.result, E_FAIL);
  // Without a reference the next frame is a key sample; the counter did not advance, so the
  // regular key still comes at the frame counted 4.
  EXPECT_TRUE(isKey(encode(frame)));  // counted 1
  EXPECT_TRUE(isEmpty(encode(frame)));
  EXPECT_TRUE(isEmpty(encode(frame)));
  EXPECT_TRUE(isKey(encode(frame)));  // counted 4

  encoder_.reset();
  encoder_.setLevel(10);
  EXPECT_EQ(encode(frame).result, E_FAIL);
  encoder_.setLevel(-1);  // zlib's default level
  EXPECT_TRUE(isKey(encode(frame)));
}

TEST_F(FrameEncoderTest, KeySamplesOfNoiseFitTheRecordCapacity) {
  // Noise does not compress: the record takes all the capacity the format gives it.
  const int32_t side = 64;
  Pixels frame(side * side);
  uint32_t state = 99;
  for (uint32_t& pixel : frame) pixel = (state = state * 1664525u + 1013904223u) >> 8;
  const size_t bytes = frame.size() * 4;
  for (int32_t level = 0; level <= 9; ++level) {
    encoder_.setLevel(level);
    encoder_.reset();
    const Coded coded = encode(
        frame, bytes, 1 + codec::kRecordHeaderBytes + codec::compressedCapacity(bytes), side, side);
    EXPECT_TRUE(isKey(coded, {0, 0, side, side})) << level;
  }
}

TEST_F(FrameEncoderTest, BadArgumentsChangeNothing) {
  const Pixels frame = frameOf(12);
  ASSERT_TRUE(isKey(encode(frame)));
  std::vector<uint8_t> out(1000);
  EncodedSample sample;
  EXPECT_EQ(encoder_.encode(nullptr, kWidth, kHeight, out.data(), out.size(), &sample), E_POINTER);
  EXPECT_EQ(encoder_.encode(codec_test::frameOf(frame), kWidth, kHeight, nullptr, 0, &sample),
            E_POINTER);
  EXPECT_EQ(
      encoder_.encode(codec_test::frameOf(frame), 0, kHeight, out.data(), out.size(), &sample),
      E_INVALIDARG);
  EXPECT_TRUE(isEmpty(encode(frame)));
}

}  // namespace
