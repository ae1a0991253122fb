// The codec benchmark's peers through libavcodec's public API: encodes a run of pictures with one
// of FFmpeg's encoders and decodes its packets again, on one thread, timing only the encode and
// decode loops. Input pictures are wrapped, not copied, so the peer is not charged for a copy the
// caller could have avoided.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

struct PeerSettings {
  AVCodecID codec;
  AVPixelFormat format;  // of the pictures given to the encoder
  int32_t width;
  int32_t height;
  int32_t level;  // AVCodecContext::compression_level
  int32_t keyframeRate;
};

// `count` pictures of `pictureBytes` each, back to back; rows are width x bytes-per-pixel, no
// padding. They must stay unchanged while the encoder runs.
struct PeerInput {
  const uint8_t* pictures;
  size_t pictureBytes;
  int32_t count;
};

struct PacketDeleter {
  void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};

struct PeerStream {
  std::vector<uint8_t> extradata;  // the encoder's, handed on to the decoder
  std::vector<std::unique_ptr<AVPacket, PacketDeleter>> packets;

  size_t bytes() const;
  int32_t keyPackets() const;
};

// True when the encoder of `codec` takes `format`.
bool encoderTakes(AVCodecID codec, AVPixelFormat format);

// Encodes every picture into `stream`; `seconds` is the time of the send/receive loop alone.
// False (with a message on stderr) when libavcodec fails.
bool peerEncode(const PeerSettings& settings, const PeerInput& input, PeerStream* stream,
                double* seconds);

// Decodes `stream` in order and hands each picture to `onFrame`, whose false ends the run as a
// failure; `seconds` covers the send/receive loop including `onFrame`.
bool peerDecode(const PeerSettings& settings, const PeerStream& stream,
                const std::function<bool(int32_t, const AVFrame&)>& onFrame, double* seconds);
