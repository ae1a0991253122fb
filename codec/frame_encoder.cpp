// Frame encoding: key decision, top-byte clearing, changed-rectangle search, difference
// content and the sample write, with the reference frame and frame counter kept between
// frames.
#include "codec/frame_encoder.h"

#include <algorithm>
#include <limits>
#include <new>

#include "codec/changed_rect.h"
#include "codec/frame_format.h"
#include "codec/frame_writer.h"

namespace codec {

namespace {

void clearTopBytes(uint8_t* pixels, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    uint8_t* p = pixels + 4 * i;
    storePixel(p, loadPixel(p) & kColourMask);
  }
}

}  // namespace

HRESULT FrameEncoder::encode(std::unique_ptr<SourceFrame> frame, int32_t width, int32_t height,
                             uint8_t* out, size_t capacity, EncodedSample* sample) {
  if (!frame || !out || !sample) return E_POINTER;
  if (width <= 0 || height <= 0) return E_INVALIDARG;
  if (static_cast<uint64_t>(width) * 4 > std::numeric_limits<size_t>::max()) return E_INVALIDARG;
  uint8_t* pixels = frame->data();
  if (!pixels) return E_POINTER;

  const size_t pitch = static_cast<size_t>(width) * 4;
  int32_t rows = static_cast<int32_t>(std::min<size_t>(height, frame->length() / pitch));

  // A reference of another size would be compared at the wrong offsets, and the decoder
  // restarts from black on a new size anyway.
  if (width != previousWidth_ || height != previousHeight_) previous_.reset();
  bool key = !previous_ || frameCounter_ == 0;
  if (!key) {
    rows = static_cast<int32_t>(std::min<size_t>(rows, previous_->length() / pitch));
  }
  clearTopBytes(pixels, static_cast<size_t>(rows) * static_cast<size_t>(width));

  const FrameRect whole{0, 0, width, rows};
  FrameRect rect = whole;
  if (key) {
    previous_.reset();
  } else {
    rect = findChangedRect(pixels, previous_->data(), width, rows);
  }
  if (rect == whole) {
    key = true;
    previous_.reset();
  }

  size_t length = 0;
  const HRESULT hr = writeSample(key, rect, pixels, width, out, capacity, &length);
  previous_.reset();
  if (FAILED(hr)) return E_FAIL;

  previous_ = std::move(frame);
  previousWidth_ = width;
  previousHeight_ = height;
  sample->length = length;
  sample->syncPoint = key;
  advanceCounter();
  return S_OK;
}

void FrameEncoder::reset() {
  previous_.reset();
  scratch_.reset();
  scratchBytes_ = 0;
  frameCounter_ = 0;
}

HRESULT FrameEncoder::writeSample(bool key, const FrameRect& rect, const uint8_t* pixels,
                                  int32_t width, uint8_t* out, size_t capacity, size_t* length) {
  FrameWriter writer(out, capacity);
  if (key) {
    const HRESULT hr = writer.addClearMarker();
    if (FAILED(hr)) return hr;
  }
  if (rect.hasArea()) {
    HRESULT hr = S_OK;
    if (previous_) {
      hr = buildDifference(rect, pixels, width);
      if (SUCCEEDED(hr)) {
        hr = writer.addRectangle(kDifferenceRectangle, rect, scratch_.get(), level_);
      }
    } else {
      // Without a reference the rectangle is the whole frame: its rows lie back to back.
      hr = writer.addRectangle(kRawRectangle, rect, pixels, level_);
    }
    if (FAILED(hr)) return hr;
  }
  *length = writer.length();
  return S_OK;
}

HRESULT FrameEncoder::buildDifference(const FrameRect& rect, const uint8_t* pixels, int32_t width) {
  const size_t bytes = rect.contentBytes();
  if (scratchBytes_ < bytes) {
    scratch_.reset();
    scratchBytes_ = 0;
    scratch_.reset(new (std::nothrow) uint8_t[bytes]);
    if (!scratch_) return E_OUTOFMEMORY;
    scratchBytes_ = bytes;
  }

  const size_t pitch = static_cast<size_t>(width) * 4;
  const uint8_t* reference = previous_->data();
  uint8_t* content = scratch_.get();
  for (int32_t row = rect.top; row < rect.bottom; ++row) {
    const size_t start = static_cast<size_t>(row) * pitch + 4 * static_cast<size_t>(rect.left);
    for (int32_t column = rect.left; column < rect.right; ++column) {
      const uint32_t now = loadPixel(pixels + start + 4 * static_cast<size_t>(column - rect.left));
      const uint32_t before =
          loadPixel(reference + start + 4 * static_cast<size_t>(column - rect.left));
      storePixel(content, now == before ? 0 : now | kChangedMark);
      content += 4;
    }
  }
  return S_OK;
}

void FrameEncoder::advanceCounter() {
  // With no keyframe rate the counter only has to stay away from 0, and must not overflow.
  if (frameCounter_ < std::numeric_limits<int32_t>::max()) ++frameCounter_;
  if (keyframeRate_ > 0 && frameCounter_ >= keyframeRate_) frameCounter_ = 0;
}

}  // namespace codec
