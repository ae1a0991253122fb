// Turns a sequence of uncompressed 32-bit frames into compressed samples: a key sample (clear
// marker and the whole frame raw) every keyframe-rate frames, when there is no reference
// frame, or when the changes touch all four edges; otherwise a difference sample holding the
// bounding box of the changed pixels, or an empty sample when nothing changed. The encoder
// filter wraps it and guards it with its settings lock; it is not thread-safe by itself.
// Portable: no <windows.h>.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "codec/frame_rect.h"
#include "codec/parallel_deflate.h"
#include "codec/source_frame.h"
#include "codec/zlib_streams.h"
#include "common/portable.h"

namespace codec {

struct EncodedSample {
  size_t length = 0;
  bool syncPoint = false;
};

class FrameEncoder {
 public:
  static constexpr int32_t kDefaultKeyframeRate = 30;
  static constexpr int32_t kDefaultLevel = 9;

  // A rate of 0 or below forces only the first frame after a reset to be a key sample.
  void setKeyframeRate(int32_t rate) { keyframeRate_ = rate; }
  int32_t keyframeRate() const { return keyframeRate_; }

  // zlib level; one zlib does not take (below -1, above 9) makes every frame fail.
  void setLevel(int32_t level) { level_ = level; }
  int32_t level() const { return level_; }

  // Codes `frame`, a width x height frame, into `out`, never past `capacity` bytes; the frame
  // is only read and is let go before this returns. On success its colours become the
  // reference for the next one. E_POINTER and E_INVALIDARG
  // for bad arguments (nothing changes but the frame is released); E_FAIL when the sample cannot be
  // written (zlib error, no room, no memory): the reference is dropped, so the next frame is a key
  // sample.
  HRESULT encode(std::unique_ptr<SourceFrame> frame, int32_t width, int32_t height, uint8_t* out,
                 size_t capacity, EncodedSample* sample);

  // Drops the reference frame and the buffers; the next frame is a key sample.
  void reset();

  // Drops only the reference frame (the input type changed): the next frame is a key sample,
  // and the counter goes on from where it was.
  void dropReference() { hasReference_ = false; }

 private:
  // Copies the frame's `rows` rows into the reference, top bytes cleared.
  HRESULT takeKeyFrame(const uint8_t* pixels, int32_t width, int32_t rows);
  // The difference content of `rect` into the scratch buffer, and the new pixels into the
  // reference.
  HRESULT takeDifference(const FrameRect& rect, const uint8_t* pixels, int32_t width);
  void advanceCounter();

  int32_t keyframeRate_ = kDefaultKeyframeRate;
  int32_t level_ = kDefaultLevel;
  int32_t frameCounter_ = 0;  // 0: the next frame is a key sample
  // The last frame as the decoder has it: the encoder's own copy, so that no input buffer
  // has to be held or written.
  std::unique_ptr<uint8_t[]> reference_;
  size_t referenceBytes_ = 0;
  bool hasReference_ = false;
  int32_t referenceWidth_ = 0;
  int32_t referenceHeight_ = 0;
  int32_t referenceRows_ = 0;
  std::unique_ptr<uint8_t[]> scratch_;  // difference content, grows to the largest rectangle
  size_t scratchBytes_ = 0;
  Deflater deflater_;
  std::unique_ptr<ParallelDeflater> parallel_;  // made for the first sample on two cores
};

}  // namespace codec
