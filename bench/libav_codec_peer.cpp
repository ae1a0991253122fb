// libavcodec encode and decode runs for the codec benchmark: context set-up outside the clock,
// the send/receive loops inside it.
#include "bench/libav_codec_peer.h"

extern "C" {
#include <libavutil/buffer.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
#include <libavutil/mem.h>
}

#include <chrono>
#include <cstdio>
#include <cstring>

namespace {

struct ContextDeleter {
  void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
using CodecContext = std::unique_ptr<AVCodecContext, ContextDeleter>;

struct FrameDeleter {
  void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
using Frame = std::unique_ptr<AVFrame, FrameDeleter>;

using Packet = std::unique_ptr<AVPacket, PacketDeleter>;

bool report(const char* what, int error) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(error, text, sizeof text);
  std::fprintf(stderr, "codec_bench: %s: %s\n", what, text);
  return false;
}

CodecContext openContext(const AVCodec* codec, const PeerSettings& settings,
                         const std::vector<uint8_t>& extradata) {
  CodecContext context(avcodec_alloc_context3(codec));
  if (!context) {
    report("avcodec_alloc_context3", AVERROR(ENOMEM));
    return nullptr;
  }
  context->width = settings.width;
  context->height = settings.height;
  context->pix_fmt = settings.format;
  context->time_base = {1, 30};
  context->framerate = {30, 1};
  context->gop_size = settings.keyframeRate;
  context->keyint_min = settings.keyframeRate;
  context->compression_level = settings.level;
  context->thread_count = 1;
  if (!extradata.empty()) {
    context->extradata =
        static_cast<uint8_t*>(av_mallocz(extradata.size() + AV_INPUT_BUFFER_PADDING_SIZE));
    if (!context->extradata) {
      report("copying extradata", AVERROR(ENOMEM));
      return nullptr;
    }
    std::memcpy(context->extradata, extradata.data(), extradata.size());
    context->extradata_size = static_cast<int>(extradata.size());
  }
  const int result = avcodec_open2(context.get(), codec, nullptr);
  if (result < 0) {
    report(codec->name, result);
    return nullptr;
  }
  return context;
}

void keepCallersBytes(void*, uint8_t*) {}

// A reference-counted frame over the caller's bytes: the encoder references it instead of
// copying it.
Frame wrapPicture(const PeerSettings& settings, const uint8_t* picture, size_t bytes,
                  int64_t index) {
  Frame frame(av_frame_alloc());
  if (!frame) return nullptr;
  frame->buf[0] = av_buffer_create(const_cast<uint8_t*>(picture), bytes, keepCallersBytes, nullptr,
                                   AV_BUFFER_FLAG_READONLY);
  if (!frame->buf[0]) return nullptr;
  frame->data[0] = frame->buf[0]->data;
  frame->linesize[0] = static_cast<int>(bytes / static_cast<size_t>(settings.height));
  frame->format = settings.format;
  frame->width = settings.width;
  frame->height = settings.height;
  frame->pts = index;
  return frame;
}

// Moves every packet the encoder has ready into `stream`.
bool drainEncoder(AVCodecContext* context, PeerStream* stream) {
  for (;;) {
    Packet packet(av_packet_alloc());
    if (!packet) return report("av_packet_alloc", AVERROR(ENOMEM));
    const int result = avcodec_receive_packet(context, packet.get());
    if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) return true;
    if (result < 0) return report("avcodec_receive_packet", result);
    stream->packets.push_back(std::move(packet));
  }
}

bool drainDecoder(AVCodecContext* context, AVFrame* frame, int32_t* decoded,
                  const std::function<bool(int32_t, const AVFrame&)>& onFrame) {
  for (;;) {
    const int result = avcodec_receive_frame(context, frame);
    if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) return true;
    if (result < 0) return report("avcodec_receive_frame", result);
    const bool accepted = onFrame((*decoded)++, *frame);
    av_frame_unref(frame);
    if (!accepted) return false;
  }
}

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

size_t PeerStream::bytes() const {
  size_t total = 0;
  for (const auto& packet : packets) total += static_cast<size_t>(packet->size);
  return total;
}

int32_t PeerStream::keyPackets() const {
  int32_t keys = 0;
  for (const auto& packet : packets) keys += (packet->flags & AV_PKT_FLAG_KEY) ? 1 : 0;
  return keys;
}

bool encoderTakes(AVCodecID codec, AVPixelFormat format) {
  const AVCodec* encoder = avcodec_find_encoder(codec);
  if (!encoder || !encoder->pix_fmts) return false;
  for (const AVPixelFormat* offered = encoder->pix_fmts; *offered != AV_PIX_FMT_NONE; ++offered) {
    if (*offered == format) return true;
  }
  return false;
}

bool peerEncode(const PeerSettings& settings, const PeerInput& input, PeerStream* stream,
                double* seconds) {
  const AVCodec* encoder = avcodec_find_encoder(settings.codec);
  if (!encoder) return report(avcodec_get_name(settings.codec), AVERROR_ENCODER_NOT_FOUND);
  CodecContext context = openContext(encoder, settings, {});
  if (!context) return false;
  if (context->extradata_size > 0) {
    stream->extradata.assign(context->extradata, context->extradata + context->extradata_size);
  }

  std::vector<Frame> frames;
  for (int32_t index = 0; index < input.count; ++index) {
    frames.push_back(wrapPicture(settings, input.pictures + index * input.pictureBytes,
                                 input.pictureBytes, index));
    if (!frames.back()) return report("wrapping a picture", AVERROR(ENOMEM));
  }
  stream->packets.reserve(static_cast<size_t>(input.count));

  const auto start = std::chrono::steady_clock::now();
  for (const Frame& frame : frames) {
    const int result = avcodec_send_frame(context.get(), frame.get());
    if (result < 0) return report("avcodec_send_frame", result);
    if (!drainEncoder(context.get(), stream)) return false;
  }
  const int result = avcodec_send_frame(context.get(), nullptr);
  if (result < 0) return report("avcodec_send_frame (flush)", result);
  if (!drainEncoder(context.get(), stream)) return false;
  *seconds = secondsSince(start);
  return true;
}

bool peerDecode(const PeerSettings& settings, const PeerStream& stream,
                const std::function<bool(int32_t, const AVFrame&)>& onFrame, double* seconds) {
  const AVCodec* decoder = avcodec_find_decoder(settings.codec);
  if (!decoder) return report(avcodec_get_name(settings.codec), AVERROR_DECODER_NOT_FOUND);
  CodecContext context = openContext(decoder, settings, stream.extradata);
  if (!context) return false;
  Frame frame(av_frame_alloc());
  if (!frame) return report("av_frame_alloc", AVERROR(ENOMEM));

  int32_t decoded = 0;
  const auto start = std::chrono::steady_clock::now();
  for (const auto& packet : stream.packets) {
    const int result = avcodec_send_packet(context.get(), packet.get());
    if (result < 0) return report("avcodec_send_packet", result);
    if (!drainDecoder(context.get(), frame.get(), &decoded, onFrame)) return false;
  }
  const int result = avcodec_send_packet(context.get(), nullptr);
  if (result < 0) return report("avcodec_send_packet (flush)", result);
  if (!drainDecoder(context.get(), frame.get(), &decoded, onFrame)) return false;
  *seconds = secondsSince(start);
  if (decoded != static_cast<int32_t>(stream.packets.size())) {
    std::fprintf(stderr, "codec_bench: %s decoded %d pictures from %zu packets\n", decoder->name,
                 decoded, stream.packets.size());
    return false;
  }
  return true;
}
