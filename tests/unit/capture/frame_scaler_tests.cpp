// FrameScaler: argument checks, mode choice, nearest and linear tables through their output,
// stride padding, the linear run against a plain re-implementation of its formulas, and every
// fast path (the processor's widest and the SSE2 one forced on) against the reference path.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <random>
#include <vector>

#include "capture/frame_scaler.h"

namespace {

constexpr uint8_t kUntouched = 0xAB;

// The fast paths this processor runs, the widest among them.
std::vector<ScalerPath> pathsHere() {
  std::vector<ScalerPath> paths;
  for (ScalerPath path : {ScalerPath::Sse2, ScalerPath::Avx2}) {
    if (path <= scaler_rows::widestPath()) paths.push_back(path);
  }
  return paths;
}

int stride4(int width, int bytesPerPixel) { return (width * bytesPerPixel + 3) & ~3; }

std::vector<uint8_t> randomImage(std::mt19937& generator, size_t bytes) {
  std::uniform_int_distribution<int> byte(0, 255);
  std::vector<uint8_t> image(bytes);
  for (uint8_t& b : image) b = static_cast<uint8_t>(byte(generator));
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
  std::mt19937 generator(7);
  const std::vector<uint8_t> src = randomImage(generator, 12 * 2);
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
  std::mt19937 generator(11);
  for (int bpp = 1; bpp <= 4; ++bpp) {
    for (int mode : {FrameScaler::Copy, FrameScaler::Nearest, FrameScaler::Linear}) {
      FrameScaler scaler;
      const int dw = mode == FrameScaler::Copy ? 9 : 7;
      const int dh = mode == FrameScaler::Copy ? 6 : 4;
      ASSERT_EQ(scaler.prepare(9, 6, dw, dh, bpp, mode), S_OK);
      const int stride = scaler.workStride() + 12;
      const std::vector<uint8_t> src =
          randomImage(generator, static_cast<size_t>(scaler.srcStride()) * 6);
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

  // One pass alone, through the reference and each path's kernel.
  namespace fsi = frame_scaler_internal;
  const int32_t steps[2] = {0, 8};
  const uint32_t weights[2] = {0, 0xFFFFFFFFu};
  const std::vector<uint8_t> row(16, 255);
  std::vector<uint8_t> out(8, 0);
  fsi::horizontalScalar(out.data(), 8, row.data(), 16, 1, steps, weights, 2);
  for (uint8_t b : out) EXPECT_EQ(b, 254);
  for (ScalerPath path : pathsHere()) {
    std::fill(out.begin(), out.end(), 0);
    scaler_rows::horizontal(path, out.data(), row.data(), steps, weights, 2);
    for (uint8_t b : out) EXPECT_EQ(b, 254);
  }
}

TEST(FrameScalerLinear, MatchesReferenceOnRandomImages) {
  std::mt19937 generator(20240607);
  std::uniform_int_distribution<int> size(2, 70);
  for (int round = 0; round < 300; ++round) {
    const int sw = size(generator), sh = size(generator), dw = size(generator),
              dh = size(generator);
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
    const std::vector<uint8_t> src =
        randomImage(generator, static_cast<size_t>(scaler.srcStride()) * sh);
    std::vector<uint8_t> dst(static_cast<size_t>(stride) * dh, kUntouched);
    ASSERT_EQ(scaler.run(dst.data(), src.data(), extra ? stride : 0), S_OK);
    ASSERT_EQ(dst, referenceLinear(src, sw, sh, dw, dh, stride))
        << sw << "x" << sh << " -> " << dw << "x" << dh;
  }
}

TEST(FrameScalerLinear, EachPathsKernelsAgreeWithTheReferencePasses) {
  // The reference passes on difference tables, each path's row kernels on the same positions
  // as byte offsets; odd and even widths, positions in any order.
  namespace fsi = frame_scaler_internal;
  std::mt19937 generator(99);
  std::uniform_int_distribution<int> size(2, 70);
  for (int round = 0; round < 200; ++round) {
    const int sw = size(generator), rows = size(generator), dw = size(generator);
    std::vector<int32_t> steps(dw), offsets(dw);
    std::vector<uint32_t> weights(dw);
    std::uniform_int_distribution<int> pos(0, sw - 2), w(0, 255);
    int last = 0;
    for (int i = 0; i < dw; ++i) {
      offsets[i] = 4 * pos(generator);
      steps[i] = offsets[i] - last;
      last = offsets[i];
      const uint32_t b = static_cast<uint32_t>(w(generator));
      weights[i] = b | b << 8 | b << 16 | b << 24;
    }
    const int ss = 4 * sw, ws = 4 * dw;
    const std::vector<uint8_t> src = randomImage(generator, static_cast<size_t>(ss) * rows);
    std::vector<uint8_t> a(static_cast<size_t>(ws) * rows);
    fsi::horizontalScalar(a.data(), ws, src.data(), ss, rows, steps.data(), weights.data(), dw);
    const int below = rows > 1 ? 1 : 0;
    const unsigned weight = static_cast<unsigned>(w(generator));
    std::vector<uint8_t> c(ws);
    const int32_t ySteps[1] = {0};
    const uint32_t yWeights[1] = {weight * 0x01010101u};
    if (below) fsi::verticalScalar(c.data(), ws, a.data(), ws, 1, ySteps, yWeights, dw);
    for (ScalerPath path : pathsHere()) {
      std::vector<uint8_t> b(a.size());
      for (int y = 0; y < rows; ++y) {
        scaler_rows::horizontal(path, b.data() + y * ws, src.data() + y * ss, offsets.data(),
                                weights.data(), dw);
      }
      ASSERT_EQ(a, b) << "horizontal round " << round << " path " << static_cast<int>(path);
      if (!below) continue;
      std::vector<uint8_t> d(ws);
      scaler_rows::vertical(path, d.data(), a.data(), a.data() + ws, weight, dw);
      ASSERT_EQ(c, d) << "vertical round " << round << " path " << static_cast<int>(path);
    }
  }
}

TEST(FrameScalerLinear, EachPathsBlendIsExactForEveryPairOfBytesAndEveryWeight) {
  // The vector blends compute A*(255-w) + B*w by other means than the formula (signed-byte
  // multiply-adds, wrapping sums); every byte pair at every weight pins them at the extremes.
  constexpr int kColumns = 256 * 256 / 4;  // four channels: four byte pairs per column
  std::vector<uint8_t> row(static_cast<size_t>(kColumns) * 8);
  std::vector<int32_t> offsets(kColumns);
  for (int i = 0; i < kColumns; ++i) {
    offsets[i] = 8 * i;
    for (int c = 0; c < 4; ++c) {
      const int pair = 4 * i + c;
      row[8 * i + c] = static_cast<uint8_t>(pair >> 8);
      row[8 * i + 4 + c] = static_cast<uint8_t>(pair & 0xFF);
    }
  }
  std::vector<uint8_t> out(static_cast<size_t>(kColumns) * 4);
  for (ScalerPath path : pathsHere()) {
    for (unsigned w = 0; w < 256; ++w) {
      const std::vector<uint32_t> weights(kColumns, w * 0x01010101u);
      scaler_rows::horizontal(path, out.data(), row.data(), offsets.data(), weights.data(),
                              kColumns);
      for (int pair = 0; pair < 256 * 256; ++pair) {
        const unsigned a = static_cast<unsigned>(pair) >> 8, b = pair & 0xFF;
        ASSERT_EQ(out[pair], (a * (255 - w) + b * w) >> 8)
            << "A " << a << " B " << b << " w " << w << " path " << static_cast<int>(path);
      }
    }
  }
}

// The frame through the reference path and through `path`, into exactly sized buffers with a
// padded destination stride: equal in every byte, padding untouched.
void expectPathMatchesReference(ScalerPath path, int sw, int sh, int dw, int dh, int bpp, int mode,
                                std::mt19937& generator) {
  FrameScaler reference, fast;
  reference.usePath(ScalerPath::Reference);
  fast.usePath(path);
  ASSERT_EQ(fast.path(), path);
  ASSERT_EQ(reference.prepare(sw, sh, dw, dh, bpp, mode), S_OK);
  ASSERT_EQ(fast.prepare(sw, sh, dw, dh, bpp, mode), S_OK);
  const int stride = fast.workStride() + 4 * (sw % 3);
  const std::vector<uint8_t> src =
      randomImage(generator, static_cast<size_t>(fast.srcStride()) * sh);
  std::vector<uint8_t> expected(static_cast<size_t>(stride) * dh, kUntouched);
  std::vector<uint8_t> actual(expected);
  ASSERT_EQ(reference.run(expected.data(), src.data(), stride), S_OK);
  ASSERT_EQ(fast.run(actual.data(), src.data(), stride), S_OK);
  // A second frame through the same scaler: nothing of the first may linger.
  const std::vector<uint8_t> next = randomImage(generator, src.size());
  std::vector<uint8_t> expectedNext(expected), actualNext(actual);
  ASSERT_EQ(reference.run(expectedNext.data(), next.data(), stride), S_OK);
  ASSERT_EQ(fast.run(actualNext.data(), next.data(), stride), S_OK);
  EXPECT_TRUE(expected == actual && expectedNext == actualNext)
      << sw << "x" << sh << " -> " << dw << "x" << dh << " bpp " << bpp << " mode " << mode
      << " path " << static_cast<int>(path);
}

TEST(FrameScalerPaths, EveryPathGivesTheReferenceBytesOnRandomSizes) {
  std::mt19937 generator(31);
  std::uniform_int_distribution<int> size(2, 90);
  for (ScalerPath path : pathsHere()) {
    for (int round = 0; round < 150; ++round) {
      const int sw = size(generator), sh = size(generator), dw = size(generator),
                dh = size(generator);
      const int bpp = round % 5 == 0 ? 1 + round / 5 % 4 : 4;
      for (int mode : {FrameScaler::Nearest, FrameScaler::Linear}) {
        expectPathMatchesReference(path, sw, sh, dw, dh, bpp, mode, generator);
      }
    }
    // Screen sizes, down and up, with odd widths.
    for (const auto& [sw, sh, dw, dh] :
         {std::array{1920, 1080, 1280, 720}, std::array{1920, 1080, 640, 360},
          std::array{1366, 768, 1279, 719}, std::array{641, 361, 1921, 1081}}) {
      for (int mode : {FrameScaler::Nearest, FrameScaler::Linear}) {
        expectPathMatchesReference(path, sw, sh, dw, dh, 4, mode, generator);
      }
    }
  }
}

}  // namespace
