// Rectangle record header: byte-wise little-endian fields, independent of alignment.
#include "codec/record_header.h"

namespace codec {

namespace {

void storeInt32(uint8_t* out, int32_t value) {
  const uint32_t bits = static_cast<uint32_t>(value);
  for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(bits >> (8 * i));
}

int32_t loadInt32(const uint8_t* in) {
  uint32_t bits = 0;
  for (int i = 0; i < 4; ++i) bits |= static_cast<uint32_t>(in[i]) << (8 * i);
  return static_cast<int32_t>(bits);
}

}  // namespace

void storeRecordHeader(const RecordHeader& header, uint8_t* out) {
  out[0] = header.type;
  storeInt32(out + 1, header.rect.left);
  storeInt32(out + 5, header.rect.top);
  storeInt32(out + 9, header.rect.right);
  storeInt32(out + 13, header.rect.bottom);
  storeInt32(out + 17, header.compressedBytes);
}

RecordHeader loadRecordHeader(const uint8_t* in) {
  RecordHeader header;
  header.type = in[0];
  header.rect = {loadInt32(in + 1), loadInt32(in + 5), loadInt32(in + 9), loadInt32(in + 13)};
  header.compressedBytes = loadInt32(in + 17);
  return header;
}

}  // namespace codec
