// FrameWriter: the byte layout of the clear marker and the record header, the zlib stream
// behind it, and that a full buffer fails the item instead of being overrun.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "codec/frame_writer.h"
#include "codec/frame_format.h"
#include "codec_test_support.h"

namespace {

using codec::FrameRect;
using codec::FrameWriter;
using codec_test::Pixels;

constexpr uint8_t kGuard = 0xA5;

const uint8_t* bytesOf(const Pixels& pixels) {
  return reinterpret_cast<const uint8_t*>(pixels.data());
}

TEST(FrameWriter, RecordHeaderLayout) {
  const Pixels content{0x00010203, 0x00040506};
  std::vector<uint8_t> out(200, kGuard);
  FrameWriter writer(out.data(), out.size());
  ASSERT_EQ(writer.addClearMarker(), S_OK);
  ASSERT_EQ(writer.addRectangle(codec::kDifferenceRectangle, {0x102, 0x304, 0x104, 0x305},
                                bytesOf(content), 9),
            S_OK);

  const std::vector<uint8_t> header(out.begin(), out.begin() + 18);
  EXPECT_EQ(header, (std::vector<uint8_t>{0x02, 0x11, 0x02, 0x01, 0, 0, 0x04, 0x03, 0, 0, 0x04,
                                          0x01, 0, 0, 0x05, 0x03, 0, 0}));
  const size_t compressed = out[18] | out[19] << 8 | out[20] << 16 | out[21] << 24;
  EXPECT_EQ(writer.length(), 1 + 21 + compressed);
  // A zlib header with a 32 KB window, then content that inflates back.
  EXPECT_EQ(out[22], 0x78);
  EXPECT_EQ(codec_test::inflatedContent(out.data() + 1), content);
  EXPECT_EQ(out[writer.length()], kGuard);
}

TEST(FrameWriter, LevelZeroStoresAndBadLevelsFail) {
  const Pixels content(16, 0x00ABCDEF);
  std::vector<uint8_t> out(200);
  FrameWriter stored(out.data(), out.size());
  ASSERT_EQ(stored.addRectangle(codec::kRawRectangle, {0, 0, 4, 4}, bytesOf(content), 0), S_OK);
  EXPECT_GT(stored.length(), 21 + content.size() * 4);  // stored blocks are no smaller
  EXPECT_EQ(codec_test::inflatedContent(out.data()), content);

  for (int level : {-2, 10}) {
    FrameWriter writer(out.data(), out.size());
    EXPECT_EQ(writer.addRectangle(codec::kRawRectangle, {0, 0, 4, 4}, bytesOf(content), level),
              E_FAIL);
    EXPECT_EQ(writer.length(), 0u);
  }
}

TEST(FrameWriter, NeverWritesPastItsCapacity) {
  // Noise does not compress, so every capacity below the full record must fail.
  Pixels noise(64);
  uint32_t state = 12345;
  for (uint32_t& pixel : noise) pixel = (state = state * 1103515245u + 12345u) & 0xFFFFFF;

  std::vector<uint8_t> roomy(1000);
  FrameWriter full(roomy.data(), roomy.size());
  ASSERT_EQ(full.addRectangle(codec::kRawRectangle, {0, 0, 8, 8}, bytesOf(noise), 9), S_OK);
  const size_t needed = full.length();

  for (size_t capacity = 0; capacity < needed; ++capacity) {
    std::vector<uint8_t> out(needed + 16, kGuard);
    FrameWriter writer(out.data(), capacity);
    EXPECT_EQ(writer.addRectangle(codec::kRawRectangle, {0, 0, 8, 8}, bytesOf(noise), 9), E_FAIL)
        << capacity;
    EXPECT_EQ(writer.length(), 0u);
    for (size_t i = capacity; i < out.size(); ++i) ASSERT_EQ(out[i], kGuard) << capacity;
  }

  uint8_t one = kGuard;
  FrameWriter tiny(&one, 1);
  EXPECT_EQ(tiny.addClearMarker(), S_OK);
  EXPECT_EQ(tiny.addClearMarker(), E_FAIL);
  EXPECT_EQ(tiny.length(), 1u);
}

TEST(FrameWriter, RejectsWhatItNeverWrites) {
  const Pixels content(4);
  std::vector<uint8_t> out(100);
  FrameWriter writer(out.data(), out.size());
  EXPECT_EQ(writer.addRectangle(codec::kRawRectangle, {1, 0, 1, 1}, bytesOf(content), 9),
            E_INVALIDARG);
  EXPECT_EQ(writer.addRectangle(codec::kRawRectangle, {0, 1, 1, 1}, bytesOf(content), 9),
            E_INVALIDARG);
  EXPECT_EQ(writer.addRectangle(codec::kClearMarker, {0, 0, 1, 1}, bytesOf(content), 9),
            E_INVALIDARG);
  EXPECT_EQ(writer.addRectangle(codec::kRawRectangle, {0, 0, 1, 1}, nullptr, 9), E_POINTER);
  FrameWriter nowhere(nullptr, 0);
  EXPECT_EQ(nowhere.addClearMarker(), E_POINTER);
  EXPECT_EQ(writer.length(), 0u);
}

TEST(FrameFormat, CapacityRules) {
  EXPECT_EQ(codec::compressedCapacity(0), 12u);
  EXPECT_EQ(codec::compressedCapacity(4000), 4016u);
  // A key sample of a full frame always fits the sample capacity.
  for (size_t frame : {4u, 4000u, 8294400u}) {
    EXPECT_GE(codec::sampleCapacity(frame),
              1 + codec::kRecordHeaderBytes + codec::compressedCapacity(frame));
  }
}

}  // namespace
