// Helpers for the codec tests: frames held in vectors, hand-built sample items, and the
// inflated content of a record as the tests check it.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "codec/frame_format.h"
#include "codec/record_header.h"
#include "codec/source_frame.h"

namespace codec_test {

using Pixels = std::vector<uint32_t>;

// A frame the encoder may keep; tests keep their own copy of the pixels to compare with.
class VectorFrame : public codec::SourceFrame {
 public:
  explicit VectorFrame(const Pixels& pixels, size_t length)
      : bytes_(pixels.size() * 4), length_(length) {
    std::memcpy(bytes_.data(), pixels.data(), bytes_.size());
  }
  uint8_t* data() override { return bytes_.data(); }
  size_t length() const override { return length_; }

 private:
  std::vector<uint8_t> bytes_;
  size_t length_;
};

inline std::unique_ptr<codec::SourceFrame> frameOf(const Pixels& pixels) {
  return std::make_unique<VectorFrame>(pixels, pixels.size() * 4);
}

inline std::vector<uint8_t> deflated(const Pixels& words) {
  uLongf size = compressBound(static_cast<uLong>(words.size() * 4));
  std::vector<uint8_t> out(size);
  compress2(out.data(), &size, reinterpret_cast<const Bytef*>(words.data()),
            static_cast<uLong>(words.size() * 4), 9);
  out.resize(size);
  return out;
}

// A record with `zlibData` as its payload and N its size.
inline void appendRecord(std::vector<uint8_t>& sample, uint8_t type, codec::FrameRect rect,
                         const std::vector<uint8_t>& zlibData) {
  uint8_t header[codec::kRecordHeaderBytes];
  codec::storeRecordHeader({type, rect, static_cast<int32_t>(zlibData.size())}, header);
  sample.insert(sample.end(), header, header + sizeof header);
  sample.insert(sample.end(), zlibData.begin(), zlibData.end());
}

inline void appendRecord(std::vector<uint8_t>& sample, uint8_t type, codec::FrameRect rect,
                         const Pixels& content) {
  appendRecord(sample, type, rect, deflated(content));
}

// The content of the record whose header starts at `record`, inflated; empty on a zlib error.
inline Pixels inflatedContent(const uint8_t* record) {
  const codec::RecordHeader header = codec::loadRecordHeader(record);
  Pixels content(header.rect.contentBytes() / 4);
  uLongf size = static_cast<uLongf>(content.size() * 4);
  if (uncompress(reinterpret_cast<Bytef*>(content.data()), &size,
                 record + codec::kRecordHeaderBytes,
                 static_cast<uLong>(header.compressedBytes)) != Z_OK ||
      size != content.size() * 4) {
    return {};
  }
  return content;
}

}  // namespace codec_test
