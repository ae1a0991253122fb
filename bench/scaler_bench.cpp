// Scaler throughput, natively: our nearest and linear modes beside libswscale's point and
// bilinear scalers (single thread) on the same 1920x1080 32-bit picture, in output megapixels
// per second, with the ratios.
extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

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

double ours(const std::vector<uint8_t>& source, int width, int height, int mode) {
  FrameScaler scaler;
  if (FAILED(scaler.prepare(kSourceWidth, kSourceHeight, width, height, 4, mode))) return 0;
  std::vector<uint8_t> target(static_cast<size_t>(scaler.workStride()) * height);
  return megapixelsPerSecond(width, height, [&] { scaler.run(target.data(), source.data(), 0); });
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

int main() {
  const std::vector<uint8_t> source = makePicture();
  std::printf("scaler throughput from %dx%d, 32-bit, output Mpixel/s (single thread)\n",
              kSourceWidth, kSourceHeight);
  for (const auto [width, height] : {std::pair{1280, 720}, std::pair{640, 360}}) {
    const double nearest = ours(source, width, height, FrameScaler::Nearest);
    const double point = swscale(source, width, height, SWS_POINT);
    const double linear = ours(source, width, height, FrameScaler::Linear);
    const double bilinear = swscale(source, width, height, SWS_BILINEAR);
    std::printf(
        "%4dx%-4d nearest %8.1f vs SWS_POINT %8.1f (ratio %.2f); linear %8.1f vs "
        "SWS_BILINEAR %8.1f (ratio %.2f)\n",
        width, height, nearest, point, point > 0 ? nearest / point : 0, linear, bilinear,
        bilinear > 0 ? linear / bilinear : 0);
  }
  return 0;
}
