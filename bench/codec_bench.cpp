// Screen codec throughput and size, natively: our encoder core at zlib levels 1, 6 and 9 and our
// reader on the level-6 stream, beside FFmpeg's ZMBV encoder and decoder and its LCL zlib encoder
// (libavcodec, one thread) on the same generated desktop sequence, with the ratios. Every stream
// of ours, and the ZMBV stream that is timed, is decoded and compared with the input first (that
// pass is the decoders' warm-up); a stream that does not decode to its input fails the run.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/pixdesc.h>
#include <libavutil/pixfmt.h>
#include <libavutil/version.h>
}

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/desktop_scene.h"
#include "bench/libav_codec_peer.h"
#include "codec/frame_encoder.h"
#include "codec/frame_format.h"
#include "codec/frame_reader.h"

namespace {

constexpr int32_t kFrameCount = 240;
constexpr int32_t kWarmUpFrames = 30;
constexpr int32_t kKeyframeRate = codec::FrameEncoder::kDefaultKeyframeRate;
constexpr int32_t kLevels[] = {1, 6, 9};
constexpr int32_t kDecodedLevel = 6;
// The decoders take a fifth of a second a pass, so that one pass moves by up to a fifth with
// the machine's other work; each is timed this many times, in turn with the other, and the
// median counts.
constexpr int kDecodeRounds = 7;

// The generated desktop, frames of 32-bit pixels back to back.
class Sequence {
 public:
  Sequence(int32_t width, int32_t height, int32_t count)
      : width_(width),
        height_(height),
        count_(count),
        pixels_(static_cast<size_t>(width) * static_cast<size_t>(height) *
                static_cast<size_t>(count)) {
    const DesktopScene scene(width, height);
    for (int32_t index = 0; index < count; ++index) scene.draw(index, words(index));
  }

  int32_t width() const { return width_; }
  int32_t height() const { return height_; }
  int32_t count() const { return count_; }
  size_t frameBytes() const { return static_cast<size_t>(width_) * height_ * 4; }
  size_t totalBytes() const { return frameBytes() * static_cast<size_t>(count_); }

  uint8_t* frame(int32_t index) { return reinterpret_cast<uint8_t*>(words(index)); }
  const uint8_t* frame(int32_t index) const {
    return reinterpret_cast<const uint8_t*>(pixels_.data() + wordOffset(index));
  }

  // The same pictures as 24-bit B, G, R, for an encoder that takes nothing wider.
  std::vector<uint8_t> toBgr24() const {
    std::vector<uint8_t> out(pixels_.size() * 3);
    for (size_t i = 0; i < pixels_.size(); ++i) {
      out[3 * i] = static_cast<uint8_t>(pixels_[i]);
      out[3 * i + 1] = static_cast<uint8_t>(pixels_[i] >> 8);
      out[3 * i + 2] = static_cast<uint8_t>(pixels_[i] >> 16);
    }
    return out;
  }

 private:
  size_t wordOffset(int32_t index) const {
    return static_cast<size_t>(index) * static_cast<size_t>(width_) * static_cast<size_t>(height_);
  }
  uint32_t* words(int32_t index) { return pixels_.data() + wordOffset(index); }

  int32_t width_;
  int32_t height_;
  int32_t count_;
  std::vector<uint32_t> pixels_;
};

// Hands the encoder a frame of the sequence in place, as the encoder filter hands it a media
// sample; the sequence outlives every encoder.
class SequenceFrame final : public codec::SourceFrame {
 public:
  SequenceFrame(uint8_t* data, size_t length) : data_(data), length_(length) {}
  uint8_t* data() override { return data_; }
  size_t length() const override { return length_; }

 private:
  uint8_t* data_;
  size_t length_;
};

struct OurStream {
  struct Sample {
    size_t offset;
    size_t length;
    bool syncPoint;
  };
  std::vector<uint8_t> bytes;
  std::vector<Sample> samples;

  int32_t syncPoints() const {
    int32_t count = 0;
    for (const Sample& sample : samples) count += sample.syncPoint ? 1 : 0;
    return count;
  }
};

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

bool encodeOurs(Sequence& sequence, int32_t count, int32_t level, OurStream* stream,
                double* seconds, double* keySeconds = nullptr) {
  codec::FrameEncoder encoder;
  encoder.setLevel(level);
  encoder.setKeyframeRate(kKeyframeRate);
  std::vector<uint8_t> out(codec::sampleCapacity(sequence.frameBytes()));
  // Address space only: pages are touched as samples are appended, as a peer's packets are.
  stream->bytes.reserve(out.size() * static_cast<size_t>(count));
  stream->samples.reserve(static_cast<size_t>(count));

  const auto start = std::chrono::steady_clock::now();
  double keys = 0;
  for (int32_t index = 0; index < count; ++index) {
    codec::EncodedSample sample;
    const auto sampleStart = std::chrono::steady_clock::now();
    const HRESULT hr = encoder.encode(
        std::make_unique<SequenceFrame>(sequence.frame(index), sequence.frameBytes()),
        sequence.width(), sequence.height(), out.data(), out.size(), &sample);
    if (FAILED(hr)) {
      std::fprintf(stderr, "codec_bench: our encoder failed at frame %d, level %d: 0x%08X\n", index,
                   level, static_cast<unsigned>(hr));
      return false;
    }
    if (sample.syncPoint) keys += secondsSince(sampleStart);
    stream->samples.push_back({stream->bytes.size(), sample.length, sample.syncPoint});
    stream->bytes.insert(stream->bytes.end(), out.begin(), out.begin() + sample.length);
  }
  *seconds = secondsSince(start);
  if (keySeconds) *keySeconds = keys;
  return true;
}

bool decodeOurs(const Sequence& sequence, const OurStream& stream,
                const std::function<bool(int32_t, const uint32_t*)>& onFrame, double* seconds) {
  codec::FrameReader reader;
  const HRESULT hr = reader.setSize(sequence.width(), sequence.height());
  if (FAILED(hr)) {
    std::fprintf(stderr, "codec_bench: FrameReader::setSize failed: 0x%08X\n",
                 static_cast<unsigned>(hr));
    return false;
  }
  const auto start = std::chrono::steady_clock::now();
  for (size_t index = 0; index < stream.samples.size(); ++index) {
    const OurStream::Sample& sample = stream.samples[index];
    reader.applySample(stream.bytes.data() + sample.offset, sample.length, sample.syncPoint);
    if (!onFrame(static_cast<int32_t>(index), reader.pixels())) return false;
  }
  *seconds = secondsSince(start);
  return true;
}

// Compares a decoded picture with frame `index`, on the bits of `mask` only.
bool matchesInput(const Sequence& sequence, int32_t index, const uint8_t* decoded,
                  size_t decodedStride, uint32_t mask, const char* what) {
  const size_t rowBytes = static_cast<size_t>(sequence.width()) * 4;
  for (int32_t y = 0; y < sequence.height(); ++y) {
    const uint8_t* expectedRow = sequence.frame(index) + y * rowBytes;
    const uint8_t* decodedRow = decoded + y * decodedStride;
    for (int32_t x = 0; x < sequence.width(); ++x) {
      const uint32_t expected = codec::loadPixel(expectedRow + 4 * x) & mask;
      const uint32_t got = codec::loadPixel(decodedRow + 4 * x) & mask;
      if (expected != got) {
        std::fprintf(stderr,
                     "codec_bench: FAILED: %s frame %d pixel (%d, %d) decodes to 0x%08X, input "
                     "0x%08X\n",
                     what, index, x, y, got, expected);
        return false;
      }
    }
  }
  return true;
}

struct EncodeFigures {
  double seconds = 0;
  double keySeconds = 0;  // ours: the part spent on key samples
  size_t bytes = 0;
  int32_t syncPoints = 0;
};

using LevelFigures = std::array<EncodeFigures, std::size(kLevels)>;

struct SizeFigures {
  LevelFigures ours;
  LevelFigures zmbv;
  LevelFigures lcl;
  double oursDecode = 0;
  double zmbvDecode = 0;
};

// Encodes at every level and checks each stream's decoding; `decodedStream` gets the one the
// decoders are timed on.
bool measureOurs(Sequence& sequence, SizeFigures* figures, OurStream* decodedStream) {
  for (size_t i = 0; i < std::size(kLevels); ++i) {
    const int32_t level = kLevels[i];
    OurStream warmUp, stream;
    double ignored = 0;
    if (!encodeOurs(sequence, kWarmUpFrames, level, &warmUp, &ignored)) return false;
    EncodeFigures& result = figures->ours[i];
    if (!encodeOurs(sequence, sequence.count(), level, &stream, &result.seconds,
                    &result.keySeconds)) {
      return false;
    }
    result.bytes = stream.bytes.size();
    result.syncPoints = stream.syncPoints();

    const std::string what = "ZLKC level " + std::to_string(level);
    const size_t stride = static_cast<size_t>(sequence.width()) * 4;
    if (!decodeOurs(
            sequence, stream,
            [&](int32_t index, const uint32_t* pixels) {
              return matchesInput(sequence, index, reinterpret_cast<const uint8_t*>(pixels), stride,
                                  0xFFFFFFFFu, what.c_str());
            },
            &ignored)) {
      return false;
    }
    if (level == kDecodedLevel) *decodedStream = std::move(stream);
  }
  return true;
}

bool measurePeer(const Sequence& sequence, AVCodecID codec, AVPixelFormat format,
                 const PeerInput& input, LevelFigures* results, PeerStream* decodedStream) {
  for (size_t i = 0; i < std::size(kLevels); ++i) {
    const PeerSettings settings{.codec = codec,
                                .format = format,
                                .width = sequence.width(),
                                .height = sequence.height(),
                                .level = kLevels[i],
                                .keyframeRate = kKeyframeRate};
    PeerStream warmUp, stream;
    double ignored = 0;
    if (!peerEncode(settings, {input.pictures, input.pictureBytes, kWarmUpFrames}, &warmUp,
                    &ignored) ||
        !peerEncode(settings, input, &stream, &(*results)[i].seconds)) {
      return false;
    }
    (*results)[i].bytes = stream.bytes();
    (*results)[i].syncPoints = stream.keyPackets();
    if (decodedStream && kLevels[i] == kDecodedLevel) *decodedStream = std::move(stream);
  }
  return true;
}

PeerSettings zmbvDecodeSettings(const Sequence& sequence) {
  return {.codec = AV_CODEC_ID_ZMBV,
          .format = AV_PIX_FMT_BGR0,
          .width = sequence.width(),
          .height = sequence.height(),
          .level = kDecodedLevel,
          .keyframeRate = kKeyframeRate};
}

bool measureZmbv(const Sequence& sequence, SizeFigures* figures, PeerStream* decodedStream) {
  if (!encoderTakes(AV_CODEC_ID_ZMBV, AV_PIX_FMT_BGR0)) {
    std::fprintf(stderr, "codec_bench: this libavcodec's ZMBV encoder does not take bgr0\n");
    return false;
  }
  const PeerInput input{sequence.frame(0), sequence.frameBytes(), sequence.count()};
  if (!measurePeer(sequence, AV_CODEC_ID_ZMBV, AV_PIX_FMT_BGR0, input, &figures->zmbv,
                   decodedStream)) {
    return false;
  }
  double ignored = 0;
  const std::string what = "ZMBV level " + std::to_string(kDecodedLevel);
  const auto verify = [&](int32_t index, const AVFrame& frame) {
    if (frame.format != AV_PIX_FMT_BGR0 || frame.width != sequence.width() ||
        frame.height != sequence.height()) {
      std::fprintf(stderr, "codec_bench: FAILED: ZMBV decodes frame %d as %s %dx%d\n", index,
                   av_get_pix_fmt_name(static_cast<AVPixelFormat>(frame.format)), frame.width,
                   frame.height);
      return false;
    }
    // The fourth byte of bgr0 carries nothing.
    return matchesInput(sequence, index, frame.data[0], static_cast<size_t>(frame.linesize[0]),
                        codec::kColourMask, what.c_str());
  };
  return peerDecode(zmbvDecodeSettings(sequence), *decodedStream, verify, &ignored);
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// Both decoders on their level-6 streams, in turn.
bool timeDecoders(const Sequence& sequence, const OurStream& ours, const PeerStream& zmbv,
                  SizeFigures* figures) {
  std::vector<double> oursSeconds, zmbvSeconds;
  for (int round = 0; round < kDecodeRounds; ++round) {
    double seconds = 0;
    if (!decodeOurs(
            sequence, ours, [](int32_t, const uint32_t*) { return true; }, &seconds)) {
      return false;
    }
    oursSeconds.push_back(seconds);
    if (!peerDecode(
            zmbvDecodeSettings(sequence), zmbv, [](int32_t, const AVFrame&) { return true; },
            &seconds)) {
      return false;
    }
    zmbvSeconds.push_back(seconds);
  }
  figures->oursDecode = median(oursSeconds);
  figures->zmbvDecode = median(zmbvSeconds);
  return true;
}

bool measureLcl(const Sequence& sequence, SizeFigures* figures) {
  if (!encoderTakes(AV_CODEC_ID_ZLIB, AV_PIX_FMT_BGR24)) {
    std::fprintf(stderr, "codec_bench: this libavcodec's LCL zlib encoder does not take bgr24\n");
    return false;
  }
  const std::vector<uint8_t> pictures = sequence.toBgr24();
  const PeerInput input{pictures.data(), sequence.frameBytes() / 4 * 3, sequence.count()};
  return measurePeer(sequence, AV_CODEC_ID_ZLIB, AV_PIX_FMT_BGR24, input, &figures->lcl, nullptr);
}

double ratio(double numerator, double denominator) {
  return denominator > 0 ? numerator / denominator : 0;
}

void printTable(const Sequence& sequence, const SizeFigures& figures) {
  const double frames = sequence.count();
  const double megabytes = static_cast<double>(sequence.totalBytes()) / 1e6;
  std::printf("\n%dx%d, %d frames (%.1f MB of 32-bit input), a key sample every %d frames\n",
              sequence.width(), sequence.height(), sequence.count(), megabytes, kKeyframeRate);
  std::printf("%-18s %5s %9s %9s %13s %7s %4s %14s %16s\n", "encode", "level", "frames/s", "MB/s",
              "output bytes", "out/in", "keys", "fps ours/peer", "bytes peer/ours");
  for (size_t i = 0; i < std::size(kLevels); ++i) {
    const EncodeFigures& ours = figures.ours[i];
    const auto row = [&](const char* name, const EncodeFigures& result, bool peer) {
      std::printf("%-18s %5d %9.1f %9.1f %13zu %6.2f%% %4d", name, kLevels[i],
                  frames / result.seconds, megabytes / result.seconds, result.bytes,
                  100.0 * static_cast<double>(result.bytes) / (megabytes * 1e6), result.syncPoints);
      if (peer) {
        std::printf(" %14.2f %16.2f", ratio(result.seconds, ours.seconds),
                    ratio(static_cast<double>(result.bytes), static_cast<double>(ours.bytes)));
      }
      std::printf("\n");
    };
    row("ZLKC (ours)", ours, false);
    // A key sample that takes longer than a period stalls a live capture.
    std::printf("%-18s %5d %9s key samples: %.1f ms each\n", "  of which keys", kLevels[i], "",
                ours.syncPoints ? 1e3 * ours.keySeconds / ours.syncPoints : 0.0);
    row("ZMBV (bgr0)", figures.zmbv[i], true);
    row("LCL zlib (bgr24)", figures.lcl[i], true);
  }
  std::printf("%-18s %5s %9s %9s %13s %7s %4s %14s   (median of %d passes, in turn)\n", "decode",
              "level", "frames/s", "MB/s", "", "", "", "fps ours/peer", kDecodeRounds);
  std::printf("%-18s %5d %9.1f %9.1f\n", "ZLKC (ours)", kDecodedLevel, frames / figures.oursDecode,
              megabytes / figures.oursDecode);
  std::printf("%-18s %5d %9.1f %9.1f %13s %7s %4s %14.2f\n", "ZMBV (bgr0)", kDecodedLevel,
              frames / figures.zmbvDecode, megabytes / figures.zmbvDecode, "", "", "",
              ratio(figures.zmbvDecode, figures.oursDecode));
}

std::string processorName() {
  std::ifstream cpuinfo("/proc/cpuinfo");
  const std::string key = "model name";
  for (std::string line; std::getline(cpuinfo, line);) {
    const size_t colon = line.find(':');
    if (line.compare(0, key.size(), key) == 0 && colon != std::string::npos) {
      return line.substr(colon + 2);
    }
  }
  return "unknown processor";
}

}  // namespace

int main() {
  const unsigned version = avcodec_version();
  std::printf(
      "screen codec benchmark: our encoder and reader beside libavcodec %u.%u.%u (ZMBV, LCL "
      "zlib)\n"
      "our codec on the calling thread (records of 512 KB and more at level 2 and above "
      "coded and read on two threads where there are two cores), libavcodec with thread_count 1; "
      "%s, %u "
      "hardware threads, shared with other work\n"
      "MB/s counts the 32-bit frames for every codec; LCL zlib is given the same pictures as "
      "bgr24, converted outside the timing\n",
      AV_VERSION_MAJOR(version), AV_VERSION_MINOR(version), AV_VERSION_MICRO(version),
      processorName().c_str(), std::thread::hardware_concurrency());

  for (const auto& [width, height] : {std::pair{1280, 720}, std::pair{1920, 1080}}) {
    Sequence sequence(width, height, kFrameCount);
    SizeFigures figures;
    OurStream ours;
    PeerStream zmbv;
    if (!measureOurs(sequence, &figures, &ours) || !measureZmbv(sequence, &figures, &zmbv) ||
        !timeDecoders(sequence, ours, zmbv, &figures) || !measureLcl(sequence, &figures)) {
      return 1;
    }
    printTable(sequence, figures);
  }
  return 0;
}
