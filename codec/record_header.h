// The header of a rectangle record as it stands in a sample: the type byte, then left, top,
// right, bottom and the byte count N of the zlib data behind it as little-endian 32-bit signed
// integers. Portable: no <windows.h>.
#pragma once

#include <cstdint>

#include "codec/frame_rect.h"

namespace codec {

struct RecordHeader {
  uint8_t type = 0;
  FrameRect rect;
  int32_t compressedBytes = 0;
};

// Writes kRecordHeaderBytes bytes at `out`.
void storeRecordHeader(const RecordHeader& header, uint8_t* out);

// Reads kRecordHeaderBytes bytes at `in`; the values are not checked.
RecordHeader loadRecordHeader(const uint8_t* in);

}  // namespace codec
