// The vector Adler-32 gives zlib's value for every length, start value and byte pattern, above
// all where its lane sums are largest (every byte 0xFF) and at its chunk edges.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <random>
#include <vector>

#include "codec/adler32.h"

namespace {

uint32_t zlibAdler(uint32_t start, const std::vector<uint8_t>& data, size_t offset, size_t length) {
  return static_cast<uint32_t>(adler32(start, data.data() + offset, static_cast<uInt>(length)));
}

TEST(Adler32, GivesZlibsValueForEveryLengthStartAndPattern) {
  std::mt19937 random(17);
  std::vector<uint8_t> noise(300000), full(300000, 0xFF), zeros(300000, 0);
  for (uint8_t& b : noise) b = static_cast<uint8_t>(random());
  std::vector<size_t> lengths = {0,    1,    31,    32,    33,    63,         64,         65,
                                 5552, 5553, 65535, 65536, 65537, 65536 + 31, 131072 + 5, 299999};
  for (int k = 0; k < 40; ++k) lengths.push_back(random() % 300000);
  for (const std::vector<uint8_t>* data : {&noise, &full, &zeros}) {
    for (size_t length : lengths) {
      // Odd offsets too: nothing may assume aligned data.
      const size_t offset = length % 3 == 0 ? 0 : (length % 7);
      if (offset + length > data->size()) continue;
      for (uint32_t start : {1u, 0u, 0xFFF0FFF0u, 65520u << 16 | 65520u}) {
        const uint32_t expected = zlibAdler(start, *data, offset, length);
        EXPECT_EQ(codec::adler32Update(start, data->data() + offset, length), expected)
            << "length " << length << " start " << start;
        EXPECT_EQ(codec::adler32UpdateScalar(start, data->data() + offset, length), expected);
      }
    }
  }
}

TEST(Adler32, CarriesOnAcrossPieces) {
  std::vector<uint8_t> data(100000, 0xFF);
  for (size_t i = 0; i < data.size(); i += 13) data[i] = static_cast<uint8_t>(i);
  uint32_t sum = 1;
  for (size_t offset = 0; offset < data.size(); offset += 7777) {
    sum = codec::adler32Update(sum, data.data() + offset,
                               std::min<size_t>(7777, data.size() - offset));
  }
  EXPECT_EQ(sum, zlibAdler(1, data, 0, data.size()));
}

}  // namespace
