// findChangedRect: nothing changed, single pixels at corners and edges, and random changes
// against the bounding box computed pixel by pixel.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "codec/changed_rect.h"

namespace {

using codec::findChangedRect;
using codec::FrameRect;

using Pixels = std::vector<uint32_t>;

FrameRect search(const Pixels& now, const Pixels& before, int32_t width, int32_t rows) {
  return findChangedRect(reinterpret_cast<const uint8_t*>(now.data()),
                         reinterpret_cast<const uint8_t*>(before.data()), width, rows);
}

TEST(ChangedRect, NothingChangedGivesTheEmptyRectangle) {
  const Pixels frame(12, 7);
  EXPECT_EQ(search(frame, frame, 4, 3), (FrameRect{0, 0, 0, 0}));
  EXPECT_EQ(search(frame, frame, 4, 0), (FrameRect{0, 0, 0, 0}));
}

TEST(ChangedRect, OnePixelGivesItsOwnRectangle) {
  const int32_t width = 5, rows = 4;
  const Pixels before(width * rows, 0x00112233);
  for (int32_t y = 0; y < rows; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      Pixels now = before;
      now[y * width + x] = 0;
      EXPECT_EQ(search(now, before, width, rows), (FrameRect{x, y, x + 1, y + 1}));
    }
  }
}

TEST(ChangedRect, OnlyTheTopByteDiffering) {
  const Pixels before(6, 0x00FFFFFF);
  Pixels now = before;
  now[4] = 0x01FFFFFF;
  EXPECT_EQ(search(now, before, 3, 2), (FrameRect{1, 1, 2, 2}));
}

TEST(ChangedRect, MatchesThePixelByPixelBoundingBox) {
  std::mt19937 rng(7);
  for (int round = 0; round < 400; ++round) {
    const int32_t width = std::uniform_int_distribution<int32_t>(1, 24)(rng);
    const int32_t rows = std::uniform_int_distribution<int32_t>(1, 24)(rng);
    Pixels before(width * rows);
    for (uint32_t& pixel : before) pixel = rng() & 0xFFFFFF;
    Pixels now = before;
    const int changes = std::uniform_int_distribution<int>(0, 5)(rng);
    FrameRect expected{width, rows, 0, 0};
    for (int i = 0; i < changes; ++i) {
      const int32_t x = std::uniform_int_distribution<int32_t>(0, width - 1)(rng);
      const int32_t y = std::uniform_int_distribution<int32_t>(0, rows - 1)(rng);
      now[y * width + x] =
          before[y * width + x] ^ (1u << std::uniform_int_distribution<int>(0, 31)(rng));
      expected = {std::min(expected.left, x), std::min(expected.top, y),
                  std::max(expected.right, x + 1), std::max(expected.bottom, y + 1)};
    }
    if (changes == 0) expected = {};
    EXPECT_EQ(search(now, before, width, rows), expected) << round;
  }
}

}  // namespace
