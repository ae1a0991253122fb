// Sample reading: item dispatch on the low four bits of the type byte, record checks, zlib
// inflation (key samples straight into a black picture, else into the scratch buffer) and the raw and
// difference rules.
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
  black_ = true;
  return S_OK;
}

void FrameReader::clearPicture() {
  // A key sample both is a sync point and starts with a clear marker: one fill is enough.
  if (black_) return;
  std::fill_n(picture_.get(), static_cast<size_t>(width_) * static_cast<size_t>(height_), 0u);
  black_ = true;
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
  const size_t compressedBytes = static_cast<size_t>(header.compressedBytes);

  const size_t columns = static_cast<size_t>(rect.right - rect.left);
  const size_t rowBytes = columns * sizeof(uint32_t);
  auto rowOf = [&](int32_t row) {
    return picture_.get() + static_cast<size_t>(row) * static_cast<size_t>(width_) +
           static_cast<size_t>(rect.left);
  };

  if (!(header.type & kDifferenceFlag) && black_ && columns == static_cast<size_t>(width_)) {
    // Raw rows of the full width (a key sample) on a black picture go straight to their
    // place: should the record turn out broken, they are black again, as if it were skipped.
    uint8_t* target = reinterpret_cast<uint8_t*>(rowOf(rect.top));
    if (inflater_.inflate(compressed, compressedBytes, target, rect.contentBytes())) {
      black_ = false;
    } else {
      std::fill_n(rowOf(rect.top), rect.contentBytes() / sizeof(uint32_t), 0u);
    }
    return;
  }

  // Otherwise the whole content is read and checked before any of it is applied.
  uint8_t* content = reinterpret_cast<uint8_t*>(scratch_.get());
  if (!inflater_.inflate(compressed, compressedBytes, content, rect.contentBytes())) return;
  black_ = false;
  const uint32_t* source = scratch_.get();
  for (int32_t row = rect.top; row < rect.bottom; ++row) {
    uint32_t* target = rowOf(row);
    if (header.type & kDifferenceFlag) {
      // Without a branch, so that the compiler can do several pixels at once.
      for (size_t i = 0; i < columns; ++i) {
        const uint32_t word = source[i];
        const uint32_t changed = 0u - static_cast<uint32_t>((word & kChangedMark) != 0);
        target[i] = (word & kColourMask & changed) | (target[i] & ~changed);
      }
    } else {
      std::memcpy(target, source, rowBytes);
    }
    source += columns;
  }
}

}  // namespace codec
