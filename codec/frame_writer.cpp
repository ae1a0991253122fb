// Sample writing: records are compressed straight behind their header, into the smaller of
// the format's capacity for the content and the space that is left.
#include "codec/frame_writer.h"

#include <zlib.h>

#include <algorithm>
#include <limits>

#include "codec/frame_format.h"
#include "codec/record_header.h"

namespace codec {

HRESULT FrameWriter::addClearMarker() {
  if (!out_) return E_POINTER;
  if (capacity_ - length_ < 1) return E_FAIL;
  out_[length_++] = kClearMarker;
  return S_OK;
}

HRESULT FrameWriter::addRectangle(uint8_t type, const FrameRect& rect, const uint8_t* content,
                                  int level) {
  if (type != kRawRectangle && type != kDifferenceRectangle) return E_INVALIDARG;
  if (!rect.hasArea()) return E_INVALIDARG;
  if (!out_ || !content) return E_POINTER;
  if (capacity_ - length_ < kRecordHeaderBytes) return E_FAIL;

  // zlib counts in uLong (32 bits on Windows) and N is a signed 32-bit field.
  const size_t contentBytes = rect.contentBytes();
  if (contentBytes > std::numeric_limits<uLong>::max()) return E_FAIL;
  const size_t room = capacity_ - length_ - kRecordHeaderBytes;
  const size_t limit =
      std::min<size_t>({compressedCapacity(contentBytes), room, std::numeric_limits<uLong>::max(),
                        std::numeric_limits<int32_t>::max()});

  uint8_t* header = out_ + length_;
  size_t compressedBytes = limit;
  bool compressed = parallel_ && contentBytes >= ParallelDeflater::kMinimumBytes &&
                    parallel_->compress(content, contentBytes, header + kRecordHeaderBytes,
                                        &compressedBytes, level);
  if (!compressed) {
    compressedBytes = limit;
    Deflater ownStream;
    Deflater& deflater = deflater_ ? *deflater_ : ownStream;
    compressed = deflater.compress(content, contentBytes, header + kRecordHeaderBytes,
                                   &compressedBytes, level);
  }
  if (!compressed) return E_FAIL;
  storeRecordHeader({type, rect, static_cast<int32_t>(compressedBytes)}, header);
  length_ += kRecordHeaderBytes + compressedBytes;
  return S_OK;
}

}  // namespace codec
