// Encoder and reader together: random frame sequences (random sizes, random rectangles
// repainted, identical frames, size changes, resets, all keyframe rates and levels) decode
// back to every frame exactly, with the top bytes cleared.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "codec/frame_encoder.h"
#include "codec/frame_format.h"
#include "codec/frame_reader.h"
#include "codec_test_support.h"

namespace {

using codec_test::Pixels;

class RandomScreen {
 public:
  explicit RandomScreen(uint32_t variant) : rng_(variant) {}

  int32_t between(int32_t low, int32_t high) {
    return std::uniform_int_distribution<int32_t>(low, high)(rng_);
  }

  // Repaints a random rectangle: one colour (often black), noise, or random top bytes only.
  void repaint(Pixels& frame, int32_t width, int32_t height) {
    const int32_t left = between(0, width - 1), right = between(left + 1, width);
    const int32_t top = between(0, height - 1), bottom = between(top + 1, height);
    const int style = between(0, 3);
    const uint32_t colour = style == 0 ? 0 : rng_() & 0xFFFFFF;
    for (int32_t y = top; y < bottom; ++y) {
      for (int32_t x = left; x < right; ++x) {
        uint32_t& pixel = frame[y * width + x];
        if (style == 1) {
          pixel = colour;
        } else if (style == 2) {
          pixel = rng_();
        } else {
          pixel = (pixel & 0xFFFFFF) | (rng_() & 0xFF000000);
        }
      }
    }
  }

  Pixels noise(size_t count) {
    Pixels frame(count);
    for (uint32_t& pixel : frame) pixel = rng_();
    return frame;
  }

 private:
  std::mt19937 rng_;
};

Pixels withoutTopBytes(Pixels frame) {
  for (uint32_t& pixel : frame) pixel &= 0xFFFFFF;
  return frame;
}

TEST(CodecRoundTrip, RandomSequencesDecodeToEveryFrame) {
  int differences = 0;
  for (uint32_t variant = 1; variant <= 60; ++variant) {
    RandomScreen screen(variant);
    codec::FrameEncoder encoder;
    codec::FrameReader reader;
    encoder.setKeyframeRate(screen.between(-1, 8));
    encoder.setLevel(screen.between(0, 9));

    int32_t width = screen.between(1, 40), height = screen.between(1, 40);
    Pixels frame = screen.noise(static_cast<size_t>(width) * height);
    std::vector<uint8_t> out;
    for (int index = 0; index < 40; ++index) {
      const int event = screen.between(0, 19);
      if (event == 0) {
        width = screen.between(1, 40);
        height = screen.between(1, 40);
        frame = screen.noise(static_cast<size_t>(width) * height);
      } else if (event == 1) {
        encoder.reset();
      } else if (event < 15) {
        for (int n = screen.between(1, 3); n > 0; --n) screen.repaint(frame, width, height);
      }  // otherwise the frame stays as it was

      const size_t bytes = frame.size() * 4;
      out.assign(codec::sampleCapacity(bytes), 0);
      codec::EncodedSample sample;
      ASSERT_EQ(encoder.encode(codec_test::frameOf(frame), width, height, out.data(), out.size(),
                               &sample),
                S_OK)
          << variant << " " << index;
      ASSERT_LE(sample.length, out.size());
      differences += !sample.syncPoint && sample.length > 0;

      ASSERT_EQ(reader.setSize(width, height), S_OK);
      reader.applySample(out.data(), sample.length, sample.syncPoint);
      const Pixels decoded(reader.pixels(), reader.pixels() + frame.size());
      ASSERT_EQ(decoded, withoutTopBytes(frame)) << "variant " << variant << " frame " << index;
    }
  }
  EXPECT_GT(differences, 500);  // the sequences did exercise the difference path
}

}  // namespace
