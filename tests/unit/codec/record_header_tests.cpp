// Record header: little-endian signed fields at their offsets, negative values included.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "codec/record_header.h"
#include "codec/frame_format.h"

namespace {

TEST(RecordHeader, StoresAndLoadsEveryField) {
  const codec::RecordHeader header{0x31, {-1, INT32_MIN, INT32_MAX, 0x01020304}, -2};
  std::vector<uint8_t> bytes(codec::kRecordHeaderBytes + 1, 0xA5);
  codec::storeRecordHeader(header, bytes.data());
  EXPECT_EQ(bytes, (std::vector<uint8_t>{0x31, 0xFF, 0xFF, 0xFF, 0xFF, 0,    0,    0,
                                         0x80, 0xFF, 0xFF, 0xFF, 0x7F, 0x04, 0x03, 0x02,
                                         0x01, 0xFE, 0xFF, 0xFF, 0xFF, 0xA5}));
  const codec::RecordHeader loaded = codec::loadRecordHeader(bytes.data());
  EXPECT_EQ(loaded.type, header.type);
  EXPECT_EQ(loaded.rect, header.rect);
  EXPECT_EQ(loaded.compressedBytes, header.compressedBytes);
}

}  // namespace
