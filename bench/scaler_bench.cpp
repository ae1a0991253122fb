// Scaler throughput, natively: our nearest and linear modes (the processor's widest path, and
// the SSE2 path) beside libyuv's unfiltered and bilinear ARGB scaling and libswscale's point
// and bilinear scalers, single thread, on the same 1920x1080 32-bit picture, in output
// megapixels per second (the median of five runs taken in turn), with the ratios to libyuv.
extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}
#include <libyuv/scale_argb.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
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

using Scale = std::function<void()>;

// Each scaler runs for a fifth of a second, in turn with the others, five times over, and the
// median counts: the machine's other work moves a single run by up to a fifth, and taking turns
// spreads a drift over all alike. Output megapixels per second, in the order given.
std::vector<double> megapixelsPerSecond(int width, int height, const std::vector<Scale>& scales) {
  constexpr int kRounds = 5;
  std::vector<std::vector<double>> rates(scales.size());
  for (const Scale& scale : scales) scale();  // warm up tables and caches
  for (int round = 0; round < kRounds; ++round) {
    for (size_t k = 0; k < scales.size(); ++k) {
      int runs = 0;
      const auto start = std::chrono::steady_clock::now();
      std::chrono::duration<double> elapsed{};
      do {
        scales[k]();
        ++runs;
        elapsed = std::chrono::steady_clock::now() - start;
      } while (elapsed.count() < 0.2);
      rates[k].push_back(static_cast<double>(width) * height * runs / elapsed.count() / 1e6);
    }
  }
  std::vector<double> medians;
  for (std::vector<double>& values : rates) {
    std::sort(values.begin(), values.end());
    medians.push_back(values[values.size() / 2]);
  }
  return medians;
}

Scale ours(const std::vector<uint8_t>& source, int width, int height, int mode, ScalerPath path) {
  auto scaler = std::make_shared<FrameScaler>();
  scaler->usePath(path);
  if (FAILED(scaler->prepare(kSourceWidth, kSourceHeight, width, height, 4, mode))) {
    std::fprintf(stderr, "scaler_bench: FrameScaler::prepare failed\n");
    std::exit(1);
  }
  auto target =
      std::make_shared<std::vector<uint8_t>>(static_cast<size_t>(scaler->workStride()) * height);
  return [&source, scaler, target] { scaler->run(target->data(), source.data(), 0); };
}

Scale yuv(const std::vector<uint8_t>& source, int width, int height, libyuv::FilterMode filter) {
  auto target = std::make_shared<std::vector<uint8_t>>(static_cast<size_t>(width) * height * 4);
  return [&source, target, width, height, filter] {
    libyuv::ARGBScale(source.data(), kSourceWidth * 4, kSourceWidth, kSourceHeight, target->data(),
                      width * 4, width, height, filter);
  };
}

Scale swscale(const std::vector<uint8_t>& source, int width, int height, int flags) {
  std::shared_ptr<SwsContext> context(
      sws_getContext(kSourceWidth, kSourceHeight, AV_PIX_FMT_BGR0, width, height, AV_PIX_FMT_BGR0,
                     flags, nullptr, nullptr, nullptr),
      sws_freeContext);
  if (!context) {
    std::fprintf(stderr, "scaler_bench: sws_getContext failed\n");
    std::exit(1);
  }
  auto target = std::make_shared<std::vector<uint8_t>>(static_cast<size_t>(width) * height * 4);
  return [&source, context, target, width] {
    const uint8_t* sourcePlanes[] = {source.data()};
    const int sourceStrides[] = {kSourceWidth * 4};
    uint8_t* targetPlanes[] = {target->data()};
    const int targetStrides[] = {width * 4};
    sws_scale(context.get(), sourcePlanes, sourceStrides, 0, kSourceHeight, targetPlanes,
              targetStrides);
  };
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
  // Each of our modes beside the peers' scalers that do the same job.
  struct Contest {
    int mode;
    const char* name;
    libyuv::FilterMode yuvFilter;
    const char* yuvName;
    int swsFlags;
    const char* swsName;
  };
  const Contest contests[] = {
      {FrameScaler::Nearest, "nearest", libyuv::kFilterNone, "kFilterNone", SWS_POINT, "SWS_POINT"},
      {FrameScaler::Linear, "linear ", libyuv::kFilterBilinear, "kFilterBilinear", SWS_BILINEAR,
       "SWS_BILINEAR"},
  };
  for (const auto& [width, height] : {std::pair{1280, 720}, std::pair{640, 360}}) {
    for (const Contest& contest : contests) {
      const std::vector<double> rates =
          megapixelsPerSecond(width, height,
                              {ours(source, width, height, contest.mode, widest),
                               ours(source, width, height, contest.mode, ScalerPath::Sse2),
                               yuv(source, width, height, contest.yuvFilter),
                               swscale(source, width, height, contest.swsFlags)});
      std::printf("%4dx%-4d %s %7.1f (%7.1f) vs libyuv %s %7.1f: ratio %.2f (%s %6.1f)\n", width,
                  height, contest.name, rates[0], rates[1], contest.yuvName, rates[2],
                  rates[0] / rates[2], contest.swsName, rates[3]);
    }
  }
  return 0;
}
