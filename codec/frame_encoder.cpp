// Frame encoding: key decision, changed-rectangle search, difference content and the sample
// write, with the encoder's own copy of the reference frame (top bytes cleared) and the frame
// counter kept between frames. The input frame is only read.
#include "codec/frame_encoder.h"

#include <algorithm>
#include <limits>
#include <new>
#include <thread>

#include "codec/changed_rect.h"
#include "codec/frame_format.h"
#include "codec/frame_writer.h"

namespace codec {

HRESULT FrameEncoder::encode(std::unique_ptr<SourceFrame> frame, int32_t width, int32_t height,
                             uint8_t* out, size_t capacity, EncodedSample* sample) {
  if (!frame || !out || !sample) return E_POINTER;
  if (width <= 0 || height <= 0) return E_INVALIDARG;
  if (static_cast<uint64_t>(width) * 4 > std::numeric_limits<size_t>::max()) return E_INVALIDARG;
  const uint8_t* pixels = frame->data();
  if (!pixels) return E_POINTER;

  const size_t pitch = static_cast<size_t>(width) * 4;
  int32_t rows = static_cast<int32_t>(std::min<size_t>(height, frame->length() / pitch));

  // A reference of another size would be compared at the wrong offsets, and the decoder
  // restarts from black on a new size anyway.
  if (width != referenceWidth_ || height != referenceHeight_) dropReference();
  bool key = !hasReference_ || frameCounter_ == 0;
  if (!key) rows = std::min(rows, referenceRows_);

  const FrameRect whole{0, 0, width, rows};
  FrameRect rect = whole;
  if (!key) rect = findChangedColours(pixels, reference_.get(), width, rows);
  if (rect == whole) key = true;

  // From here the reference changes: until the sample is written it is no reference.
  hasReference_ = false;
  // Large records (key samples, a window dragged across) are compressed on two cores; at
  // level 1 they are quick, and the threads would cost about what they save.
  const bool parallel = level_ >= 2 && std::thread::hardware_concurrency() >= 2;
  if (parallel && !parallel_) parallel_.reset(new (std::nothrow) ParallelDeflater(2));
  FrameWriter writer(out, capacity, &deflater_, parallel ? parallel_.get() : nullptr);
  HRESULT hr = S_OK;
  if (key) {
    hr = writer.addClearMarker();
    if (SUCCEEDED(hr)) hr = takeKeyFrame(pixels, width, rows);
    if (SUCCEEDED(hr) && rect.hasArea()) {
      hr = writer.addRectangle(kRawRectangle, rect, reference_.get(), level_);
    }
  } else if (rect.hasArea()) {
    hr = takeDifference(rect, pixels, width);
    if (SUCCEEDED(hr)) hr = writer.addRectangle(kDifferenceRectangle, rect, scratch_.get(), level_);
  }
  if (FAILED(hr)) return E_FAIL;

  hasReference_ = true;
  referenceWidth_ = width;
  referenceHeight_ = height;
  if (key) referenceRows_ = rows;
  sample->length = writer.length();
  sample->syncPoint = key;
  advanceCounter();
  return S_OK;
}

void FrameEncoder::reset() {
  dropReference();
  reference_.reset();
  referenceBytes_ = 0;
  scratch_.reset();
  scratchBytes_ = 0;
  frameCounter_ = 0;
}

namespace {

// Makes `buffer` hold at least `bytes`, keeping it when it already does.
bool reserve(std::unique_ptr<uint8_t[]>* buffer, size_t* capacity, size_t bytes) {
  if (*capacity >= bytes) return true;
  buffer->reset();
  *capacity = 0;
  buffer->reset(new (std::nothrow) uint8_t[bytes]);
  if (!*buffer) return false;
  *capacity = bytes;
  return true;
}

}  // namespace

HRESULT FrameEncoder::takeKeyFrame(const uint8_t* pixels, int32_t width, int32_t rows) {
  const size_t words = static_cast<size_t>(width) * static_cast<size_t>(rows);
  if (!reserve(&reference_, &referenceBytes_, std::max<size_t>(words * 4, 4))) {
    return E_OUTOFMEMORY;
  }
  // The reference is the frame with its top bytes cleared: it is also what the sample carries.
  uint8_t* target = reference_.get();
  for (size_t i = 0; i < words; ++i) {
    storePixel(target + 4 * i, loadPixel(pixels + 4 * i) & kColourMask);
  }
  return S_OK;
}

HRESULT FrameEncoder::takeDifference(const FrameRect& rect, const uint8_t* pixels,
                                     int32_t width) {
  if (!reserve(&scratch_, &scratchBytes_, rect.contentBytes())) return E_OUTOFMEMORY;

  // One pass: each changed pixel goes into the content with its mark and into the reference.
  const size_t pitch = static_cast<size_t>(width) * 4;
  const size_t columns = static_cast<size_t>(rect.right - rect.left);
  uint8_t* content = scratch_.get();
  for (int32_t row = rect.top; row < rect.bottom; ++row) {
    const size_t start = static_cast<size_t>(row) * pitch + 4 * static_cast<size_t>(rect.left);
    const uint8_t* now = pixels + start;
    uint8_t* before = reference_.get() + start;
    for (size_t i = 0; i < columns; ++i) {
      const uint32_t colour = loadPixel(now + 4 * i) & kColourMask;
      const uint32_t previous = loadPixel(before + 4 * i);
      storePixel(content + 4 * i, colour == previous ? 0 : colour | kChangedMark);
      storePixel(before + 4 * i, colour);
    }
    content += 4 * columns;
  }
  return S_OK;
}

void FrameEncoder::advanceCounter() {
  // With no keyframe rate the counter only has to stay away from 0, and must not overflow.
  if (frameCounter_ < std::numeric_limits<int32_t>::max()) ++frameCounter_;
  if (keyframeRate_ > 0 && frameCounter_ >= keyframeRate_) frameCounter_ = 0;
}

}  // namespace codec
