// Scaler throughput, natively: our nearest and linear modes (the processor's widest path, and
// the SSE2 path) beside libyuv's unfiltered and bilinear ARGB scaling and libswscale's point
// and bilinear scalers, single thread, on the same 1920x1080 32-bit picture, in output
// megapixels per second, with the ratios to libyuv.
extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}
#include <libyuv/scale_argb.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <random>
#include <vector>

#include "capture/frame_scaler.h"

namespace {

constexpr int kSourceWidth = 1920;
constexpr int kSourceHeight = 1080;

// Screen-like content: flat areas with edges, so neither scaler is flattered by noise.
std::vector<uint8_t> makePicture() {
  std::vector<uint8_t> picture(static_cast<size_t>(kSourceWidth) * kSourceHeight * 4);
  std::mt19937 random(7);
  for (int y = 0; y < kSourceHeight; ++y) {
    for (int x = 0; x < kSourceWidth; ++x) {
      uint8_t* pixel = &picture[(static_cast<size_t>(y) * kSourceWidth + x) * 4];
      const bool text = ((x / 7) + (y / 13)) % 5 == 0;
      pixel[0] = text ? 20 : static_cast<uint8_t>(x * 255 / kSourceWidth);
      pixel[1] = text ? 20 : static_cast<uint8_t>(y * 255 / kSourceHeight);
      pixel[2] = text ? 20 : static_cast<uint8_t>((random() & 0x0F) + 200);
      pixel[3] = 0;
    }
  }
  return picture;
}

template <class Scale>
double megapixelsPerSecond(int width, int height, Scale scale) {
  scale();  // warm up tables and caches
  int runs = 0;
  const auto start = std::chrono::steady_clock::now();
  std::chrono::duration<double> elapsed{};
  do {
    scale();
    ++runs;
    elapsed = std::chrono::steady_clock::now() - start;
  } while (elapsed.count() < 1.0);
  return static_cast<double>(width) * height * runs / elapsed.count() / 1e6;
}

double ours(const std::vector<uint8_t>& source, int width, int height, int mode, ScalerPath path) {
  FrameScaler scaler;
  scaler.usePath(path);
  if (FAILED(scaler.prepare(kSourceWidth, kSourceHeight, width, height, 4, mode))) return 0;
  std::vector<uint8_t> target(static_cast<size_t>(scaler.workStride()) * height);
  return megapixelsPerSecond(width, height, [&] { scaler.run(target.data(), source.data(), 0); });
}

double yuv(const std::vector<uint8_t>& source, int width, int height, libyuv::FilterMode filter) {
  std::vector<uint8_t> target(static_cast<size_t>(width) * height * 4);
  return megapixelsPerSecond(width, height, [&] {
    libyuv::ARGBScale(source.data(), kSourceWidth * 4, kSourceWidth, kSourceHeight, target.data(),
                      width * 4, width, height, filter);
  });
}

double swscale(const std::vector<uint8_t>& source, int width, int height, int flags) {
  SwsContext* context = sws_getContext(kSourceWidth, kSourceHeight, AV_PIX_FMT_BGR0, width, height,
                                       AV_PIX_FMT_BGR0, flags, nullptr, nullptr, nullptr);
  if (!context) return 0;
  std::vector<uint8_t> target(static_cast<size_t>(width) * height * 4);
  const uint8_t* sourcePlanes[] = {source.data()};
  const int sourceStrides[] = {kSourceWidth * 4};
  uint8_t* targetPlanes[] = {target.data()};
  const int targetStrides[] = {width * 4};
  const double rate = megapixelsPerSecond(width, height, [&] {
    sws_scale(context, sourcePlanes, sourceStrides, 0, kSourceHeight, targetPlanes, targetStrides);
  });
  sws_freeContext(context);
  return rate;
}

}  // namespace

const char* pathName(ScalerPath path) {
  switch (path) {
    case ScalerPath::Avx2:
      return "AVX2";
    case ScalerPath::Sse2:
      return "SSE2";
    default:
      return "reference";
  }
}

int main() {
  const std::vector<uint8_t> source = makePicture();
  const ScalerPath widest = scaler_rows::widestPath();
  std::printf(
      "scaler throughput from %dx%d, 32-bit, output Mpixel/s (single thread); ours on "
      "the %s path, and on SSE2 in brackets\n",
      kSourceWidth, kSourceHeight, pathName(widest));
  for (const auto [width, height] : {std::pair{1280, 720}, std::pair{640, 360}}) {
    const double nearest = ours(source, width, height, FrameScaler::Nearest, widest);
    const double nearestSse2 = ours(source, width, height, FrameScaler::Nearest, ScalerPath::Sse2);
    const double none = yuv(source, width, height, libyuv::kFilterNone);
    const double point = swscale(source, width, height, SWS_POINT);
    const double linear = ours(source, width, height, FrameScaler::Linear, widest);
    const double linearSse2 = ours(source, width, height, FrameScaler::Linear, ScalerPath::Sse2);
    const double bilinear = yuv(source, width, height, libyuv::kFilterBilinear);
    const double swsBilinear = swscale(source, width, height, SWS_BILINEAR);
    std::printf(
        "%4dx%-4d nearest %7.1f (%7.1f) vs libyuv kFilterNone %7.1f: ratio %.2f "
        "(SWS_POINT %6.1f)\n",
        width, height, nearest, nearestSse2, none, none > 0 ? nearest / none : 0, point);
    std::printf(
        "%4dx%-4d linear  %7.1f (%7.1f) vs libyuv kFilterBilinear %7.1f: ratio %.2f "
        "(SWS_BILINEAR %6.1f)\n",
        width, height, linear, linearSse2, bilinear, bilinear > 0 ? linear / bilinear : 0,
        swsBilinear);
  }
  return 0;
}
