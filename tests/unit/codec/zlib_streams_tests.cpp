// The zlib streams kept between samples write and read exactly what one-shot zlib calls do,
// and the parallel compression of a large record is one valid zlib stream of nearly the same
// size. Also large records through the encoder and the reader.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "codec/frame_encoder.h"
#include "codec/frame_format.h"
#include "codec/frame_reader.h"
#include "codec/parallel_deflate.h"
#include "codec/zlib_streams.h"
#include "codec_test_support.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes compressedOnce(const Bytes& data, int level) {
  Bytes out(compressBound(static_cast<uLong>(data.size())));
  uLongf length = static_cast<uLongf>(out.size());
  EXPECT_EQ(compress2(out.data(), &length, data.data(), static_cast<uLong>(data.size()), level),
            Z_OK);
  out.resize(length);
  return out;
}

// Screen-like bytes: rows of a few colours with runs and repeats, and some noise.
Bytes screenLike(size_t pixels, uint32_t variant) {
  std::mt19937 random(variant);
  Bytes bytes(pixels * 4);
  uint32_t colour = 0x00303030;
  for (size_t i = 0; i < pixels; ++i) {
    if (random() % 23 == 0) colour = random() % 4 == 0 ? (random() & 0xFFFFFF) : 0x00F0F0F0;
    codec::storePixel(bytes.data() + 4 * i, colour);
  }
  return bytes;
}

TEST(ZlibStreams, AKeptDeflateStreamWritesWhatCompress2Writes) {
  codec::Deflater deflater;
  for (int round = 0; round < 3; ++round) {
    for (int level : {9, 9, 0, 1, 6, 6, 9}) {
      const Bytes data = screenLike(5000 + round * 777, static_cast<uint32_t>(level + round));
      Bytes out(data.size() * 2 + 64);
      size_t length = out.size();
      ASSERT_TRUE(deflater.compress(data.data(), data.size(), out.data(), &length, level));
      out.resize(length);
      EXPECT_EQ(out, compressedOnce(data, level)) << "level " << level << " round " << round;
    }
  }
  const Bytes data = screenLike(1000, 1);
  Bytes small(10);
  size_t length = small.size();
  EXPECT_FALSE(deflater.compress(data.data(), data.size(), small.data(), &length, 9));
  EXPECT_FALSE(deflater.compress(data.data(), data.size(), small.data(), &length, 10));
}

TEST(ZlibStreams, AKeptInflateStreamReadsInPiecesAndEndsExactly) {
  const Bytes data = screenLike(300, 2);
  const Bytes packed = compressedOnce(data, 6);
  codec::Inflater inflater;
  for (int round = 0; round < 2; ++round) {
    ASSERT_TRUE(inflater.start(packed.data(), packed.size()));
    Bytes back(data.size());
    for (size_t offset = 0; offset < back.size(); offset += 400) {
      ASSERT_TRUE(inflater.read(back.data() + offset, std::min<size_t>(400, back.size() - offset)));
    }
    EXPECT_TRUE(inflater.finished());
    EXPECT_EQ(back, data);
  }
  // Asked for less than there is, for more, or with the trailer cut.
  Bytes part(data.size() - 4);
  ASSERT_TRUE(inflater.start(packed.data(), packed.size()));
  ASSERT_TRUE(inflater.read(part.data(), part.size()));
  EXPECT_FALSE(inflater.finished());
  Bytes more(data.size() + 4);
  ASSERT_TRUE(inflater.start(packed.data(), packed.size()));
  EXPECT_FALSE(inflater.read(more.data(), more.size()));
  Bytes whole(data.size());
  ASSERT_TRUE(inflater.start(packed.data(), packed.size() - 2));
  const bool read = inflater.read(whole.data(), whole.size());
  EXPECT_FALSE(read && inflater.finished());
}

TEST(ParallelDeflate, PiecesJoinIntoOneStreamOfNearlyTheSameSize) {
  codec::ParallelDeflater parallel(2);
  for (int level : {1, 6, 9}) {
    // Not a multiple of the pieces, and past the size the encoder uses it from.
    const Bytes data = screenLike((codec::ParallelDeflater::kMinimumBytes >> 2) + 3, 7);
    Bytes out(data.size() + data.size() / 100 + 64);
    size_t length = out.size();
    ASSERT_TRUE(parallel.compress(data.data(), data.size(), out.data(), &length, level));
    out.resize(length);
    const Bytes single = compressedOnce(data, level);
    EXPECT_EQ(out[0], single[0]);
    EXPECT_EQ(out[1], single[1]) << "the header deflateInit writes at level " << level;
    Bytes back(data.size());
    uLongf backLength = static_cast<uLongf>(back.size());
    ASSERT_EQ(uncompress(back.data(), &backLength, out.data(), static_cast<uLong>(out.size())),
              Z_OK);
    EXPECT_EQ(back, data);
    EXPECT_LE(static_cast<double>(out.size()), static_cast<double>(single.size()) * 1.01)
        << "level " << level;
  }
  const Bytes data = screenLike(codec::ParallelDeflater::kMinimumBytes / 4, 8);
  Bytes small(100);
  size_t length = small.size();
  EXPECT_FALSE(parallel.compress(data.data(), data.size(), small.data(), &length, 9));
}

TEST(ParallelDeflate, LargeRecordsDecodeToTheirFrames) {
  // 2 MB frames: the key sample and a difference of 1.3 MB are compressed in pieces on two
  // cores.
  constexpr int32_t kWidth = 1024, kHeight = 512;
  Bytes frame = screenLike(static_cast<size_t>(kWidth) * kHeight, 9);
  codec::FrameEncoder encoder;
  codec::FrameReader reader;
  ASSERT_EQ(reader.setSize(kWidth, kHeight), S_OK);
  Bytes out(codec::sampleCapacity(frame.size()));
  for (int index = 0; index < 2; ++index) {
    if (index == 1) {
      const Bytes block = screenLike(800 * 400, 10);
      for (int row = 0; row < 400; ++row) {
        std::memcpy(frame.data() + (static_cast<size_t>(row + 50) * kWidth + 100) * 4,
                    block.data() + static_cast<size_t>(row) * 800 * 4, 800 * 4);
      }
    }
    const auto* words = reinterpret_cast<const uint32_t*>(frame.data());
    codec::EncodedSample sample;
    ASSERT_EQ(encoder.encode(codec_test::frameOf(codec_test::Pixels(words, words + frame.size() / 4)),
                             kWidth, kHeight, out.data(), out.size(), &sample),
              S_OK);
    EXPECT_EQ(sample.syncPoint, index == 0);
    reader.applySample(out.data(), sample.length, sample.syncPoint);
    EXPECT_EQ(0, std::memcmp(reader.pixels(), frame.data(), frame.size())) << index;
  }
}

}  // namespace
