// Writes the items of one compressed sample into a caller's output buffer: the clear marker
// and rectangle records whose content is compressed with zlib as one stream. Nothing is ever
// written at or past the capacity given; an item that does not fit fails and leaves the
// length as it was. Portable: no <windows.h>.
#pragma once

#include <cstddef>
#include <cstdint>

#include "codec/frame_rect.h"
#include "codec/parallel_deflate.h"
#include "codec/zlib_streams.h"
#include "common/portable.h"

namespace codec {

class FrameWriter {
 public:
  // `deflater`, when given, is the caller's stream kept between samples; `parallel`, when
  // given, compresses content of ParallelDeflater::kMinimumBytes or more.
  FrameWriter(uint8_t* out, size_t capacity, Deflater* deflater = nullptr,
              ParallelDeflater* parallel = nullptr)
      : out_(out), capacity_(capacity), deflater_(deflater), parallel_(parallel) {}

  // E_FAIL when the buffer is full.
  HRESULT addClearMarker();

  // A record of `type` (kRawRectangle or kDifferenceRectangle) for `rect`, whose content is
  // rect.contentBytes() bytes at `content`, compressed at zlib `level`. E_INVALIDARG for a
  // rectangle without area or another type, E_POINTER for missing content, E_FAIL when zlib
  // fails (a level it does not take, or no room for the compressed data).
  HRESULT addRectangle(uint8_t type, const FrameRect& rect, const uint8_t* content, int level);

  // Bytes written so far.
  size_t length() const { return length_; }

 private:
  uint8_t* out_;
  size_t capacity_;
  size_t length_ = 0;
  Deflater* deflater_;
  ParallelDeflater* parallel_;
};

}  // namespace codec
