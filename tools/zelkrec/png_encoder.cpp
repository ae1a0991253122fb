// PNG chunks around one zlib stream of the filtered rows.
#include "tools/zelkrec/png_encoder.h"

#include <zlib.h>

#include <cstring>

namespace {

constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

void putWord(std::vector<std::uint8_t>* out, std::uint32_t value) {
  const std::uint8_t bytes[4] = {
      static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
      static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
  out->insert(out->end(), bytes, bytes + 4);
}

// Length, type, data and the CRC of type and data.
void putChunk(std::vector<std::uint8_t>* out, const char (&type)[5], const std::uint8_t* data,
              size_t size) {
  putWord(out, static_cast<std::uint32_t>(size));
  const size_t typeAt = out->size();
  out->insert(out->end(), type, type + 4);
  out->insert(out->end(), data, data + size);
  const uLong crc = ::crc32(0L, out->data() + typeAt, static_cast<uInt>(size + 4));
  putWord(out, static_cast<std::uint32_t>(crc));
}

}  // namespace

bool encodePng(const RgbPicture& picture, std::vector<std::uint8_t>* file) {
  file->clear();
  if (picture.width <= 0 || picture.height <= 0) return false;
  const size_t rowBytes = static_cast<size_t>(picture.width) * 3;
  std::vector<std::uint8_t> rows((rowBytes + 1) * picture.height);
  for (int y = 0; y < picture.height; ++y) {
    std::uint8_t* row = rows.data() + y * (rowBytes + 1);
    row[0] = 0;  // filter type None
    std::memcpy(row + 1, picture.pixels.data() + y * rowBytes, rowBytes);
  }
  uLongf deflatedSize = ::compressBound(static_cast<uLong>(rows.size()));
  std::vector<std::uint8_t> deflated(deflatedSize);
  if (::compress2(deflated.data(), &deflatedSize, rows.data(), static_cast<uLong>(rows.size()),
                  Z_BEST_SPEED) != Z_OK) {
    return false;
  }

  std::uint8_t header[13];
  const std::uint32_t size[2] = {static_cast<std::uint32_t>(picture.width),
                                 static_cast<std::uint32_t>(picture.height)};
  for (int i = 0; i < 2; ++i) {
    for (int b = 0; b < 4; ++b)
      header[i * 4 + b] = static_cast<std::uint8_t>(size[i] >> (24 - 8 * b));
  }
  header[8] = 8;   // bits per sample
  header[9] = 2;   // colour type: RGB
  header[10] = 0;  // compression: deflate
  header[11] = 0;  // filter method
  header[12] = 0;  // no interlace
  file->assign(kSignature, kSignature + sizeof kSignature);
  putChunk(file, "IHDR", header, sizeof header);
  putChunk(file, "IDAT", deflated.data(), deflatedSize);
  const std::uint8_t nothing = 0;
  putChunk(file, "IEND", &nothing, 0);
  return true;
}
