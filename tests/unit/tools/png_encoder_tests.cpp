// The PNG encoder, natively: the signature, the header chunk, every chunk's CRC, and the rows
// that inflate from the data chunk, each with filter type 0.
#include <gtest/gtest.h>

#include <zlib.h>

#include "tools/zelkrec/png_encoder.h"

namespace {

struct PngChunk {
  std::string type;
  std::vector<std::uint8_t> data;
};

std::uint32_t bigEndian(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3];
}

std::vector<PngChunk> chunksOf(const std::vector<std::uint8_t>& file) {
  std::vector<PngChunk> chunks;
  size_t at = 8;
  while (at + 12 <= file.size()) {
    const std::uint32_t length = bigEndian(&file[at]);
    EXPECT_LE(at + 12 + length, file.size());
    if (at + 12 + length > file.size()) break;
    PngChunk chunk;
    chunk.type.assign(file.begin() + at + 4, file.begin() + at + 8);
    chunk.data.assign(file.begin() + at + 8, file.begin() + at + 8 + length);
    const uLong crc = ::crc32(0L, &file[at + 4], length + 4);
    EXPECT_EQ(bigEndian(&file[at + 8 + length]), crc) << chunk.type;
    chunks.push_back(chunk);
    at += 12 + length;
  }
  EXPECT_EQ(at, file.size());
  return chunks;
}

TEST(PngEncoderTest, WritesRgbRowsInOneDataChunk) {
  RgbPicture picture;
  picture.width = 3;
  picture.height = 2;
  for (int i = 0; i < 18; ++i) picture.pixels.push_back(static_cast<std::uint8_t>(i * 10));
  std::vector<std::uint8_t> file;
  ASSERT_TRUE(encodePng(picture, &file));

  const std::uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  ASSERT_GE(file.size(), 8u);
  EXPECT_TRUE(std::equal(signature, signature + 8, file.begin()));
  const std::vector<PngChunk> chunks = chunksOf(file);
  ASSERT_EQ(chunks.size(), 3u);
  EXPECT_EQ(chunks[0].type, "IHDR");
  EXPECT_EQ(chunks[1].type, "IDAT");
  EXPECT_EQ(chunks[2].type, "IEND");
  EXPECT_TRUE(chunks[2].data.empty());

  const std::vector<std::uint8_t>& header = chunks[0].data;
  ASSERT_EQ(header.size(), 13u);
  EXPECT_EQ(bigEndian(&header[0]), 3u);
  EXPECT_EQ(bigEndian(&header[4]), 2u);
  EXPECT_EQ(std::vector<int>(header.begin() + 8, header.end()), (std::vector<int>{8, 2, 0, 0, 0}));

  std::vector<std::uint8_t> rows(2 * (1 + 9));
  uLongf size = rows.size();
  ASSERT_EQ(::uncompress(rows.data(), &size, chunks[1].data.data(), chunks[1].data.size()), Z_OK);
  ASSERT_EQ(size, rows.size());
  for (int y = 0; y < 2; ++y) {
    EXPECT_EQ(rows[y * 10], 0) << "filter type of row " << y;
    EXPECT_TRUE(std::equal(rows.begin() + y * 10 + 1, rows.begin() + y * 10 + 10,
                           picture.pixels.begin() + y * 9));
  }
}

TEST(PngEncoderTest, RefusesAnEmptyPicture) {
  std::vector<std::uint8_t> file = {1};
  EXPECT_FALSE(encodePng(RgbPicture{}, &file));
  EXPECT_TRUE(file.empty());
}

}  // namespace
