// FrameScaler: argument checks, mode choice, nearest and linear tables through their output,
// stride padding, and the linear run against a plain re-implementation of its formulas.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "capture/frame_scaler.h"

namespace {

constexpr uint8_t kUntouched = 0xAB;

int stride4(int width, int bytesPerPixel) { return (width * bytesPerPixel + 3) & ~3; }

std::vector<uint8_t> randomImage(std::mt19937& rng, size_t bytes) {
  std::uniform_int_distribution<int> byte(0, 255);
  std::vector<uint8_t> image(bytes);
  for (uint8_t& b : image) b = static_cast<uint8_t>(byte(rng));
  return image;
}

// The linear formulas written out directly: absolute source positions, no difference tables.
std::vector<uint8_t> referenceLinear(const std::vector<uint8_t>& src, int sw, int sh, int dw,
                                     int dh, int dstStride) {
  const int srcStride = stride4(sw, 4);
  const int workStride = stride4(dw, 4);
  std::vector<int> xs(dw), xw(dw), ys(dh), yw(dh);
  for (int i = 0; i < dw - 1; ++i) {
    const double f = i * (sw - 1) / static_cast<double>(dw - 1);
    xs[i] = static_cast<int>(f);
    xw[i] = static_cast<int>((f - xs[i]) * 255) & 0xFF;
  }
  xs[dw - 1] = sw - 2;
  xw[dw - 1] = 255;
  for (int j = 0; j < dh - 1; ++j) {
    const double f = j * (sh - 1) / static_cast<double>(dh - 1);
    ys[j] = static_cast<int>(f);
    yw[j] = static_cast<int>((f - ys[j]) * 255) & 0xFF;
  }
  ys[dh - 1] = sh - 2;
  yw[dh - 1] = 255;

  std::vector<uint8_t> work(static_cast<size_t>(workStride) * sh);
  for (int y = 0; y < sh; ++y) {
    for (int i = 0; i < dw; ++i) {
      for (int c = 0; c < 4; ++c) {
        const int a = src[y * srcStride + 4 * xs[i] + c];
        const int b = src[y * srcStride + 4 * (xs[i] + 1) + c];
        work[y * workStride + 4 * i + c] =
            static_cast<uint8_t>((a * (255 - xw[i]) + b * xw[i]) >> 8);
      }
    }
  }
  std::vector<uint8_t> dst(static_cast<size_t>(dstStride) * dh, kUntouched);
  for (int j = 0; j < dh; ++j) {
    for (int x = 0; x < 4 * dw; ++x) {
      const int a = work[ys[j] * workStride + x];
      const int b = work[(ys[j] + 1) * workStride + x];
      dst[j * dstStride + x] = static_cast<uint8_t>((a * (255 - yw[j]) + b * yw[j]) >> 8);
    }
  }
  return dst;
}

TEST(FrameScalerPrepare, RejectsBadArguments) {
  FrameScaler scaler;
  EXPECT_EQ(scaler.prepare(1, 10, 10, 10, 4, FrameScaler::Linear), E_INVALIDARG);
  EXPECT_EQ(scaler.prepare(10, 1, 10, 10, 4, FrameScaler::Linear), E_INVALIDARG);
  EXPECT_EQ(scaler.prepare(10, 10, 1, 10, 4, FrameScaler::Linear), E_INVALIDARG);
  EXPECT_EQ(scaler.prepare(10, 10, 10, 1, 4, FrameScaler::Linear), E_INVALIDARG);
  EXPECT_EQ(scaler.prepare(10, 10, 5, 5, 0, FrameScaler::Nearest), E_INVALIDARG);
  EXPECT_EQ(scaler.prepare(10, 10, 5, 5, 5, FrameScaler::Nearest), E_INVALIDARG);
  EXPECT_EQ(scaler.prepare(2, 2, 2, 2, 1, FrameScaler::Copy), S_OK);
}

TEST(FrameScalerPrepare, UnchangedPrepareIsSFalse) {
  FrameScaler scaler;
  ASSERT_EQ(scaler.prepare(20, 10, 7, 5, 4, FrameScaler::Linear), S_OK);
  EXPECT_EQ(scaler.prepare(20, 10, 7, 5, 4, FrameScaler::Linear), S_FALSE);
  EXPECT_EQ(scaler.prepare(20, 10, 7, 5, 4, FrameScaler::Nearest), S_OK);
  EXPECT_EQ(scaler.prepare(20, 10, 7, 5, 4, FrameScaler::Nearest), S_FALSE);
  EXPECT_EQ(scaler.prepare(20, 10, 7, 6, 4, FrameScaler::Nearest), S_OK);
  EXPECT_EQ(scaler.prepare(20, 10, 7, 6, 3, FrameScaler::Nearest), S_OK);
  // A rejected call keeps the prepared state.
  EXPECT_EQ(scaler.prepare(20, 10, 7, 1, 3, FrameScaler::Nearest), E_INVALIDARG);
  EXPECT_EQ(scaler.prepare(20, 10, 7, 6, 3, FrameScaler::Nearest), S_FALSE);
}

TEST(FrameScalerPrepare, ModeAndStrides) {
  FrameScaler scaler;
  ASSERT_EQ(scaler.prepare(30, 20, 30, 20, 4, FrameScaler::Linear), S_OK);
  EXPECT_EQ(scaler.mode(), FrameScaler::Copy);
  ASSERT_EQ(scaler.prepare(30, 20, 15, 10, 2, FrameScaler::Linear), S_OK);
  EXPECT_EQ(scaler.mode(), FrameScaler::Nearest);
  ASSERT_EQ(scaler.prepare(30, 20, 15, 10, 3, FrameScaler::Linear), S_OK);
  EXPECT_EQ(scaler.mode(), FrameScaler::Nearest);
  EXPECT_EQ(scaler.srcStride(), 92);   // 90 bytes padded to 4
  EXPECT_EQ(scaler.workStride(), 48);  // 45 bytes padded to 4
  ASSERT_EQ(scaler.prepare(30, 20, 15, 10, 4, FrameScaler::Linear), S_OK);
#if defined(__x86_64__) || defined(_M_X64)
  EXPECT_EQ(scaler.mode(), FrameScaler::Linear);
#endif
  EXPECT_EQ(scaler.srcStride(), 120);
  EXPECT_EQ(scaler.workStride(), 60);
}

TEST(FrameScalerPrepare, LargeFrameRuns) {
  FrameScaler scaler;
  ASSERT_EQ(scaler.prepare(800, 600, 320, 240, 4, FrameScaler::Linear), S_OK);
  std::vector<uint8_t> src(static_cast<size_t>(scaler.srcStride()) * 600, 0x40);
  std::vector<uint8_t> dst(static_cast<size_t>(scaler.workStride()) * 240);
  EXPECT_EQ(scaler.run(dst.data(), src.data(), 0), S_OK);
  ASSERT_EQ(scaler.prepare(800, 600, 320, 240, 3, FrameScaler::Linear), S_OK);
  EXPECT_EQ(scaler.run(dst.data(), src.data(), 0), S_OK);
}

TEST(FrameScalerRun, RejectsNullAndUnprepared) {
  FrameScaler scaler;
  uint8_t buffer[64] = {};
  EXPECT_EQ(scaler.run(buffer, buffer, 0), E_UNEXPECTED);
  ASSERT_EQ(scaler.prepare(4, 4, 2, 2, 4, FrameScaler::Nearest), S_OK);
  EXPECT_EQ(scaler.run(nullptr, buffer, 0), E_POINTER);
  EXPECT_EQ(scaler.run(buffer, nullptr, 0), E_POINTER);
  // A fresh scaler has nothing to run.
  EXPECT_EQ(FrameScaler().run(buffer, buffer, 0), E_UNEXPECTED);
}

TEST(FrameScalerRun, CopyCopiesRows) {
  FrameScaler scaler;
  ASSERT_EQ(scaler.prepare(3, 2, 3, 2, 3, FrameScaler::Linear), S_OK);
  ASSERT_EQ(scaler.mode(), FrameScaler::Copy);
  std::mt19937 rng(7);
  const std::vector<uint8_t> src = randomImage(rng, 12 * 2);
  std::vector<uint8_t> dst(20 * 2, kUntouched);
  ASSERT_EQ(scaler.run(dst.data(), src.data(), 20), S_OK);
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 20; ++x) {
      EXPECT_EQ(dst[y * 20 + x], x < 9 ? src[y * 12 + x] : kUntouched) << x << "," << y;
    }
  }
}

TEST(FrameScalerRun, NearestPicksEndsAndMiddle) {
  // Pixel (x, y) of a 5x5 picture holds x + 10 * y in its first byte.
  for (int bpp = 1; bpp <= 4; ++bpp) {
    FrameScaler scaler;
    ASSERT_EQ(scaler.prepare(5, 5, 3, 3, bpp, FrameScaler::Nearest), S_OK);
    const int ss = scaler.srcStride();
    std::vector<uint8_t> src(static_cast<size_t>(ss) * 5, 0);
    for (int y = 0; y < 5; ++y) {
      for (int x = 0; x < 5; ++x) {
        for (int c = 0; c < bpp; ++c)
          src[y * ss + x * bpp + c] = static_cast<uint8_t>(x + 10 * y + 50 * c);
      }
    }
    const int ds = scaler.workStride();
    std::vector<uint8_t> dst(static_cast<size_t>(ds) * 3, kUntouched);
    ASSERT_EQ(scaler.run(dst.data(), src.data(), 0), S_OK);
    const int cols[3] = {0, 2, 4};
    for (int j = 0; j < 3; ++j) {
      for (int i = 0; i < 3; ++i) {
        for (int c = 0; c < bpp; ++c) {
          EXPECT_EQ(dst[j * ds + i * bpp + c], cols[i] + 10 * cols[j] + 50 * c)
              << "bpp " << bpp << " i " << i << " j " << j;
        }
      }
    }
  }
  // Upscaling rounds to the nearest source row: 2 -> 5 maps to 0, 0, 1, 1, 1 (0.5 rounds up).
  FrameScaler up;
  ASSERT_EQ(up.prepare(2, 2, 5, 5, 1, FrameScaler::Nearest), S_OK);
  const uint8_t src[8] = {1, 2, 0, 0, 3, 4, 0, 0};
  std::vector<uint8_t> dst(8 * 5, kUntouched);
  ASSERT_EQ(up.run(dst.data(), src, 0), S_OK);
  const uint8_t rowFirst[5] = {1, 1, 2, 2, 2};
  const uint8_t rowLast[5] = {3, 3, 4, 4, 4};
  for (int j = 0; j < 5; ++j) {
    for (int i = 0; i < 5; ++i) EXPECT_EQ(dst[j * 8 + i], j < 2 ? rowFirst[i] : rowLast[i]);
  }
}

TEST(FrameScalerRun, WideDestinationStrideKeepsPadding) {
  std::mt19937 rng(11);
  for (int bpp = 1; bpp <= 4; ++bpp) {
    for (int mode : {FrameScaler::Copy, FrameScaler::Nearest, FrameScaler::Linear}) {
      FrameScaler scaler;
      const int dw = mode == FrameScaler::Copy ? 9 : 7;
      const int dh = mode == FrameScaler::Copy ? 6 : 4;
      ASSERT_EQ(scaler.prepare(9, 6, dw, dh, bpp, mode), S_OK);
      const int stride = scaler.workStride() + 12;
      const std::vector<uint8_t> src =
          randomImage(rng, static_cast<size_t>(scaler.srcStride()) * 6);
      std::vector<uint8_t> dst(static_cast<size_t>(stride) * dh, kUntouched);
      ASSERT_EQ(scaler.run(dst.data(), src.data(), stride), S_OK);
      for (int j = 0; j < dh; ++j) {
        for (int x = bpp * dw; x < stride; ++x) {
          EXPECT_EQ(dst[j * stride + x], kUntouched) << "bpp " << bpp << " mode " << mode;
        }
      }
    }
  }
}

TEST(FrameScalerLinear, EndWeightsLoseOneStepPerPass) {
  // Weights 0 and 255 scale by 255/256, so each pass takes a uniform 255 to 254 and the two
  // passes together to 253; 0 stays 0.
  FrameScaler scaler;
  ASSERT_EQ(scaler.prepare(4, 4, 2, 2, 4, FrameScaler::Linear), S_OK);
  if (scaler.mode() != FrameScaler::Linear) GTEST_SKIP() << "no vector unit";
  std::vector<uint8_t> src(16 * 4, 255);
  std::vector<uint8_t> dst(8 * 2, 0);
  ASSERT_EQ(scaler.run(dst.data(), src.data(), 0), S_OK);
  for (uint8_t b : dst) EXPECT_EQ(b, 253);

  // One pass alone, through the scalar reference and the fast version.
  namespace fsi = frame_scaler_internal;
  const int32_t steps[2] = {0, 8};
  const uint32_t weights[2] = {0, 0xFFFFFFFFu};
  const std::vector<uint8_t> row(16, 255);
  std::vector<uint8_t> out(8, 0);
  fsi::horizontalScalar(out.data(), 8, row.data(), 16, 1, steps, weights, 2);
  for (uint8_t b : out) EXPECT_EQ(b, 254);
  std::fill(out.begin(), out.end(), 0);
  fsi::horizontalFast(out.data(), 8, row.data(), 16, 1, steps, weights, 2);
  for (uint8_t b : out) EXPECT_EQ(b, 254);
}

TEST(FrameScalerLinear, MatchesReferenceOnRandomImages) {
  std::mt19937 rng(20240607);
  std::uniform_int_distribution<int> size(2, 70);
  for (int round = 0; round < 300; ++round) {
    const int sw = size(rng), sh = size(rng), dw = size(rng), dh = size(rng);
    FrameScaler scaler;
    ASSERT_EQ(scaler.prepare(sw, sh, dw, dh, 4, FrameScaler::Linear), S_OK);
    if (sw == dw && sh == dh) {
      EXPECT_EQ(scaler.mode(), FrameScaler::Copy);
      continue;
    }
    if (scaler.mode() != FrameScaler::Linear) GTEST_SKIP() << "no vector unit";
    const int extra = 4 * (round % 3);
    const int stride = scaler.workStride() + extra;
    // Exactly sized buffers so the sanitizer sees any read or write past the ends.
    const std::vector<uint8_t> src = randomImage(rng, static_cast<size_t>(scaler.srcStride()) * sh);
    std::vector<uint8_t> dst(static_cast<size_t>(stride) * dh, kUntouched);
    ASSERT_EQ(scaler.run(dst.data(), src.data(), extra ? stride : 0), S_OK);
    ASSERT_EQ(dst, referenceLinear(src, sw, sh, dw, dh, stride))
        << sw << "x" << sh << " -> " << dw << "x" << dh;
  }
}

TEST(FrameScalerLinear, ScalarAndFastPassesAgree) {
  // The scalar reference and the fast passes on the same absolute tables, odd and even widths.
  namespace fsi = frame_scaler_internal;
  std::mt19937 rng(99);
  std::uniform_int_distribution<int> size(2, 70);
  for (int round = 0; round < 200; ++round) {
    const int sw = size(rng), rows = size(rng), dw = size(rng);
    std::vector<int32_t> steps(dw);
    std::vector<uint32_t> weights(dw);
    std::uniform_int_distribution<int> pos(0, sw - 2), w(0, 255);
    int last = 0;
    for (int i = 0; i < dw; ++i) {
      const int at = 4 * pos(rng);
      steps[i] = at - last;
      last = at;
      const uint32_t b = static_cast<uint32_t>(w(rng));
      weights[i] = b | b << 8 | b << 16 | b << 24;
    }
    const int ss = 4 * sw, ws = 4 * dw;
    const std::vector<uint8_t> src = randomImage(rng, static_cast<size_t>(ss) * rows);
    std::vector<uint8_t> a(static_cast<size_t>(ws) * rows), b(a.size());
    fsi::horizontalScalar(a.data(), ws, src.data(), ss, rows, steps.data(), weights.data(), dw);
    fsi::horizontalFast(b.data(), ws, src.data(), ss, rows, steps.data(), weights.data(), dw);
    ASSERT_EQ(a, b) << "horizontal round " << round;

    std::vector<int32_t> ySteps(rows);
    std::vector<uint32_t> yWeights(rows);
    std::uniform_int_distribution<int> row(0, rows - 2);
    last = 0;
    for (int j = 0; j < rows; ++j) {
      const int at = rows > 1 ? row(rng) : 0;
      ySteps[j] = at - last;
      last = at;
      yWeights[j] = static_cast<uint32_t>(w(rng)) * 0x01010101u;
    }
    std::vector<uint8_t> c(a.size()), d(a.size());
    fsi::verticalScalar(c.data(), ws, a.data(), ws, rows, ySteps.data(), yWeights.data(), dw);
    fsi::verticalFast(d.data(), ws, a.data(), ws, rows, ySteps.data(), yWeights.data(), dw);
    ASSERT_EQ(c, d) << "vertical round " << round;
  }
}

}  // namespace
