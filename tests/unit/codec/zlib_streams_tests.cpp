// The zlib streams kept between samples write and read exactly what one-shot zlib calls do,
// and the parallel compression of a large record is one valid zlib stream of nearly the same
// size, which the reader inflates on two threads only when the cut proves sound. Also large
// records through the encoder and the reader.
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
#include "codec/parallel_inflate.h"
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

// What uncompress() makes of a stream when given exactly `length` bytes of room.
bool uncompressesTo(const Bytes& packed, size_t length, Bytes* out) {
  out->assign(length, 0);
  uLongf made = static_cast<uLongf>(length);
  return uncompress(out->data(), &made, packed.data(), static_cast<uLong>(packed.size())) == Z_OK &&
         made == length;
}

Bytes compressedWithWindow(const Bytes& data, int windowBits) {
  z_stream stream = {};
  EXPECT_EQ(deflateInit2(&stream, 6, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY), Z_OK);
  Bytes out(deflateBound(&stream, static_cast<uLong>(data.size())));
  stream.next_in = const_cast<Bytef*>(data.data());
  stream.avail_in = static_cast<uInt>(data.size());
  stream.next_out = out.data();
  stream.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

TEST(ZlibStreams, AKeptInflateStreamAcceptsExactlyWhatUncompressAccepts) {
  codec::Inflater inflater;
  const Bytes data = screenLike(3000, 2);
  // Every window size a header may declare, a stored stream, and bytes after the trailer.
  std::vector<Bytes> streams;
  for (int windowBits = 9; windowBits <= 15; ++windowBits) {
    streams.push_back(compressedWithWindow(data, windowBits));
  }
  streams.push_back(compressedOnce(data, 0));
  streams.push_back(compressedOnce(data, 9));
  streams.back().insert(streams.back().end(), {1, 2, 3});
  for (const Bytes& packed : streams) {
    for (int round = 0; round < 2; ++round) {
      Bytes back(data.size());
      ASSERT_TRUE(inflater.inflate(packed.data(), packed.size(), back.data(), back.size()));
      EXPECT_EQ(back, data);
    }
  }

  // Too little room, too much, the trailer cut or wrong, a preset dictionary asked for, and
  // random damage: the answer is uncompress()'s, and so is the content where both take it.
  const Bytes packed = compressedOnce(data, 6);
  std::vector<std::pair<Bytes, size_t>> cases = {
      {packed, data.size() - 4},
      {packed, data.size() + 4},
      {Bytes(packed.begin(), packed.end() - 2), data.size()}};
  Bytes wrongSum = packed;
  wrongSum.back() ^= 1;
  cases.push_back({wrongSum, data.size()});
  Bytes dictionary = packed;
  dictionary[1] = static_cast<uint8_t>((dictionary[1] & 0xC0) | 0x20);  // FDICT, check bits 0
  const int remainder = ((dictionary[0] << 8) | dictionary[1]) % 31;
  if (remainder != 0) dictionary[1] = static_cast<uint8_t>(dictionary[1] + 31 - remainder);
  cases.push_back({dictionary, data.size()});
  std::mt19937 random(5);
  for (int round = 0; round < 300; ++round) {
    Bytes damaged = packed;
    for (int flips = 1 + round % 3; flips > 0; --flips) {
      damaged[random() % damaged.size()] ^= static_cast<uint8_t>(1u << (random() % 8));
    }
    cases.push_back({damaged, data.size()});
  }
  int accepted = 0;
  for (const auto& [stream, length] : cases) {
    Bytes expected, actual(length);
    const bool zlibTakes = uncompressesTo(stream, length, &expected);
    ASSERT_EQ(inflater.inflate(stream.data(), stream.size(), actual.data(), length), zlibTakes);
    if (zlibTakes) {
      EXPECT_EQ(actual, expected);
      ++accepted;
    }
  }
  // Some damage lands where it changes nothing, or only the pictures' bytes; most does not.
  EXPECT_LT(accepted, static_cast<int>(cases.size()) / 2);
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
    ASSERT_EQ(
        encoder.encode(codec_test::frameOf(codec_test::Pixels(words, words + frame.size() / 4)),
                       kWidth, kHeight, out.data(), out.size(), &sample),
        S_OK);
    EXPECT_EQ(sample.syncPoint, index == 0);
    reader.applySample(out.data(), sample.length, sample.syncPoint);
    EXPECT_EQ(0, std::memcmp(reader.pixels(), frame.data(), frame.size())) << index;
  }
}

// One zlib stream of `data` at `level`, with `flush` after the first `cut` bytes.
Bytes deflatedWithACut(const Bytes& data, size_t cut, int flush, int level) {
  z_stream stream = {};
  EXPECT_EQ(deflateInit(&stream, level), Z_OK);
  Bytes out(compressBound(static_cast<uLong>(data.size())) + 64);
  stream.next_out = out.data();
  stream.avail_out = static_cast<uInt>(out.size());
  stream.next_in = const_cast<Bytef*>(data.data());
  stream.avail_in = static_cast<uInt>(cut);
  EXPECT_EQ(deflate(&stream, flush), Z_OK);
  stream.avail_in = static_cast<uInt>(data.size() - cut);
  EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

size_t halfOf(const Bytes& data) { return (data.size() / 2) & ~size_t{3}; }

TEST(ParallelInflate, TheWritersPiecesAreReadOnTwoThreadsExactly) {
  codec::ParallelDeflater parallel(2);
  codec::ParallelInflater inflater;
  const Bytes data = screenLike((codec::ParallelInflater::kMinimumBytes >> 2) + 5, 11);
  for (int level : {1, 6, 9}) {
    Bytes packed(data.size() + data.size() / 100 + 64);
    size_t length = packed.size();
    ASSERT_TRUE(parallel.compress(data.data(), data.size(), packed.data(), &length, level));
    Bytes back(data.size());
    EXPECT_TRUE(inflater.inflateAtTheCut(packed.data(), length, back.data(), back.size()));
    EXPECT_EQ(back, data) << "level " << level;
    std::fill(back.begin(), back.end(), 0);
    EXPECT_TRUE(inflater.inflate(packed.data(), length, back.data(), back.size()));
    EXPECT_EQ(back, data) << "level " << level;
    // Asked for a byte less, or with the joined check sum wrong, the stream is refused.
    back.pop_back();
    EXPECT_FALSE(inflater.inflate(packed.data(), length, back.data(), back.size()));
    back.push_back(0);
    packed[length - 1] ^= 1;
    EXPECT_FALSE(inflater.inflateAtTheCut(packed.data(), length, back.data(), back.size()));
    EXPECT_FALSE(inflater.inflate(packed.data(), length, back.data(), back.size()));
  }
}

TEST(ParallelInflate, AStreamWithNoSoundCutAtHalfIsReadAsOne) {
  // A pattern that repeats every 8 KB: past the first period, deflate refers back to it.
  Bytes repeating = screenLike(2048, 12);
  while (repeating.size() < codec::ParallelInflater::kMinimumBytes + 4096) {
    repeating.insert(repeating.end(), repeating.begin(), repeating.begin() + 8192);
  }
  const Bytes screen = screenLike((codec::ParallelInflater::kMinimumBytes >> 2) + 5, 13);
  struct Case {
    const char* what;
    Bytes data;
    Bytes packed;
  };
  const Case cases[] = {
      {"one stream", screen, compressedOnce(screen, 6)},
      // The marker is there, but the second half refers back across it.
      {"a sync flush at half", repeating,
       deflatedWithACut(repeating, halfOf(repeating), Z_SYNC_FLUSH, 6)},
      {"a full flush at a third", screen,
       deflatedWithACut(screen, screen.size() / 3, Z_FULL_FLUSH, 6)},
  };
  codec::ParallelInflater inflater;
  for (const Case& test : cases) {
    Bytes back(test.data.size());
    EXPECT_FALSE(
        inflater.inflateAtTheCut(test.packed.data(), test.packed.size(), back.data(), back.size()))
        << test.what;
    std::fill(back.begin(), back.end(), 0);
    EXPECT_TRUE(inflater.inflate(test.packed.data(), test.packed.size(), back.data(), back.size()))
        << test.what;
    EXPECT_EQ(back, test.data) << test.what;
  }
  // A full flush at half from any writer is as good as the pieces'.
  const Bytes packed = deflatedWithACut(screen, halfOf(screen), Z_FULL_FLUSH, 9);
  Bytes back(screen.size());
  EXPECT_TRUE(inflater.inflateAtTheCut(packed.data(), packed.size(), back.data(), back.size()));
  EXPECT_EQ(back, screen);
}

}  // namespace
