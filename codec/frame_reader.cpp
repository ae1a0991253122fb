// Sample reading: item dispatch on the low four bits of the type byte, record checks, zlib
// inflation into the scratch buffer and the raw and difference rules.
#include "codec/frame_reader.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

#include "codec/frame_format.h"

namespace codec {

HRESULT FrameReader::setSize(int32_t width, int32_t height) {
  if (width <= 0 || height <= 0) return E_INVALIDARG;
  if (width == width_ && height == height_) return S_OK;

  // A record's content is inflated in one zlib call, which counts in uLong; a 32-bit build
  // also cannot address every size.
  const uint64_t pixels = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
  if (pixels > std::numeric_limits<uLong>::max() / 4 ||
      pixels > std::numeric_limits<size_t>::max() / 4) {
    return E_INVALIDARG;
  }
  const size_t pixelCount = static_cast<size_t>(pixels);
  picture_.reset();
  scratch_.reset();
  width_ = height_ = 0;
  picture_.reset(new (std::nothrow) uint32_t[pixelCount]());
  scratch_.reset(new (std::nothrow) uint32_t[pixelCount]);
  if (!picture_ || !scratch_) {
    picture_.reset();
    scratch_.reset();
    return E_OUTOFMEMORY;
  }
  width_ = width;
  height_ = height;
  return S_OK;
}

void FrameReader::clearPicture() {
  std::fill_n(picture_.get(), static_cast<size_t>(width_) * static_cast<size_t>(height_), 0u);
}

void FrameReader::applySample(const uint8_t* sample, size_t length, bool syncPoint) {
  if (!picture_) return;
  if (syncPoint) clearPicture();
  if (!sample) return;

  size_t offset = 0;
  while (offset < length) {
    const uint8_t kind = sample[offset] & kItemKindMask;
    if (kind == kClearKind) {
      clearPicture();
      ++offset;
    } else if (kind == kRectangleKind) {
      const size_t remaining = length - offset;
      if (remaining < kRecordHeaderBytes) return;
      const RecordHeader header = loadRecordHeader(sample + offset);
      // A negative count cannot be stepped over, and one past the end leaves nothing to trust.
      if (header.compressedBytes < 0 ||
          static_cast<size_t>(header.compressedBytes) > remaining - kRecordHeaderBytes) {
        return;
      }
      applyRecord(header, sample + offset + kRecordHeaderBytes);
      offset += kRecordHeaderBytes + static_cast<size_t>(header.compressedBytes);
    } else {
      ++offset;  // unknown item bytes are stepped over one at a time
    }
  }
}

void FrameReader::applyRecord(const RecordHeader& header, const uint8_t* compressed) {
  const FrameRect& rect = header.rect;
  if (!rect.fitsIn(width_, height_)) return;

  const size_t contentBytes = rect.contentBytes();
  uLongf inflated = static_cast<uLongf>(contentBytes);
  uint8_t* content = reinterpret_cast<uint8_t*>(scratch_.get());
  if (uncompress(content, &inflated, compressed, static_cast<uLong>(header.compressedBytes)) !=
          Z_OK ||
      inflated != contentBytes) {
    return;
  }

  const size_t columns = static_cast<size_t>(rect.right - rect.left);
  const uint32_t* source = scratch_.get();
  for (int32_t row = rect.top; row < rect.bottom; ++row) {
    uint32_t* target = picture_.get() + static_cast<size_t>(row) * static_cast<size_t>(width_) +
                       static_cast<size_t>(rect.left);
    if (header.type & kDifferenceFlag) {
      for (size_t i = 0; i < columns; ++i) {
        if (source[i] & kChangedMark) target[i] = source[i] & kColourMask;
      }
    } else {
      std::memcpy(target, source, columns * sizeof(uint32_t));
    }
    source += columns;
  }
}

}  // namespace codec
