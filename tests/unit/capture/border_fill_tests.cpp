// Border pixel values, the row fill's count rule, and the margin and uncovered fills on small
// bottom-up bitmaps, each with guard bytes after it that must stay untouched.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "capture/border_fill.h"

namespace {

constexpr uint8_t kUntouched = 0xAB;
constexpr uint8_t kGuard = 0x5A;
constexpr size_t kGuardBytes = 16;

// A bottom-up bitmap of width x height pixels, rows padded to 4 bytes, then guard bytes.
class Canvas {
 public:
  Canvas(int width, int height, int bytesPerPixel)
      : width_(width),
        height_(height),
        bytes_(bytesPerPixel),
        stride_(dibStride(width, bytesPerPixel)),
        storage_(static_cast<size_t>(stride_) * height + kGuardBytes, kUntouched) {
    std::fill(storage_.end() - kGuardBytes, storage_.end(), kGuard);
  }

  uint8_t* bits() { return storage_.data(); }
  int stride() const { return stride_; }

  // The pixel at picture position (x, y); picture row 0 is the last row in memory.
  uint32_t at(int x, int y) const {
    const uint8_t* p = storage_.data() + static_cast<size_t>(height_ - 1 - y) * stride_ +
                       static_cast<size_t>(x) * bytes_;
    uint32_t value = 0;
    for (int i = 0; i < bytes_; ++i) value |= static_cast<uint32_t>(p[i]) << (8 * i);
    return value;
  }

  uint32_t untouched() const {
    uint32_t value = 0;
    for (int i = 0; i < bytes_; ++i) value |= static_cast<uint32_t>(kUntouched) << (8 * i);
    return value;
  }

  bool guardIntact() const {
    for (size_t i = storage_.size() - kGuardBytes; i < storage_.size(); ++i) {
      if (storage_[i] != kGuard) return false;
    }
    return true;
  }

  // Every picture pixel is `pixel` where `filled` says so and untouched elsewhere.
  template <class Filled>
  void expectPicture(uint32_t pixel, Filled filled) const {
    for (int y = 0; y < height_; ++y) {
      for (int x = 0; x < width_; ++x) {
        ASSERT_EQ(at(x, y), filled(x, y) ? pixel : untouched()) << "x " << x << " y " << y;
      }
    }
    EXPECT_TRUE(guardIntact());
  }

  int width_, height_, bytes_, stride_;

 private:
  std::vector<uint8_t> storage_;
};

bool inside(const ParamRect& r, int x, int y) {
  return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

TEST(BorderFillTest, BorderPixelForEachDepth) {
  EXPECT_EQ(borderPixel(0xFF00FF, 15), 0x7C1Fu);
  EXPECT_EQ(borderPixel(0xFF00FF, 16), 0xF81Fu);
  EXPECT_EQ(borderPixel(0xFF00FF, 24), 0xFF00FFu);
  EXPECT_EQ(borderPixel(0xFF00FF, 32), 0xFF00FFu);
  // 0x00BBGGRR in, red in the high bits out; each channel lands in its own field.
  EXPECT_EQ(borderPixel(0x332211, 32), 0x112233u);
  EXPECT_EQ(borderPixel(0x332211, 24), 0x112233u);
  EXPECT_EQ(borderPixel(0x0000FF, 16), 0xF800u);
  EXPECT_EQ(borderPixel(0x00FF00, 16), 0x07E0u);
  EXPECT_EQ(borderPixel(0xFF0000, 16), 0x001Fu);
  EXPECT_EQ(borderPixel(0x0000FF, 15), 0x7C00u);
  EXPECT_EQ(borderPixel(0x00FF00, 15), 0x03E0u);
  EXPECT_EQ(borderPixel(0xFF0000, 15), 0x001Fu);
  // Low bits are dropped, not rounded.
  EXPECT_EQ(borderPixel(0x332211, 16), 0x1106u);
  EXPECT_EQ(borderPixel(0x332211, 15), 0x0886u);

  EXPECT_EQ(bytesPerPixelFor(32), 4);
  EXPECT_EQ(bytesPerPixelFor(24), 3);
  EXPECT_EQ(bytesPerPixelFor(16), 2);
  EXPECT_EQ(bytesPerPixelFor(15), 2);
  EXPECT_EQ(bytesPerPixelFor(8), 3);
}

TEST(BorderFillTest, FillRowsCountsPixelsWithinTheStride) {
  // 5 pixels of 3 bytes: a 16-byte stride holds 5 whole pixels and one padding byte.
  Canvas canvas(5, 3, 3);
  fillRows(canvas.bits(), 3, canvas.stride(), 0, 0x112233, 3);
  canvas.expectPicture(0x112233, [](int, int) { return true; });
  for (int row = 0; row < 3; ++row) {
    const uint8_t* p = canvas.bits() + row * canvas.stride();
    EXPECT_EQ(p[0], 0x33);  // the three low bytes, low byte first
    EXPECT_EQ(p[1], 0x22);
    EXPECT_EQ(p[2], 0x11);
    EXPECT_EQ(p[15], kUntouched) << "padding byte past the last whole pixel";
  }

  // More pixels than fit means "as many as fit"; a count that fits is exact.
  Canvas wide(4, 2, 4);
  fillRows(wide.bits(), 2, wide.stride(), 100, 0xFF00FF, 4);
  wide.expectPicture(0xFF00FF, [](int, int) { return true; });
  Canvas part(6, 4, 2);
  fillRows(part.bits(), 2, part.stride(), 3, 0xF81F, 2);
  // Memory rows 0 and 1 are the last two picture rows.
  part.expectPicture(0xF81F, [](int x, int y) { return x < 3 && y >= 2; });

  // Negative counts and strides shorter than a pixel write nothing.
  Canvas tiny(1, 1, 4);
  fillRows(tiny.bits(), 1, 3, -1, 0x123456, 4);
  tiny.expectPicture(0, [](int, int) { return false; });
}

TEST(BorderFillTest, MarginsSurroundTheCopiedRectangle) {
  for (int bytes : {2, 3, 4}) {
    SCOPED_TRACE(bytes);
    const uint32_t pixel = bytes == 2 ? 0x7C1Fu : 0xFF00FFu;
    const ParamRect cases[] = {
        {2, 1, 5, 4},    // inside
        {0, 0, 7, 5},    // the whole picture: nothing to fill
        {0, 0, 3, 2},    // at the top-left corner
        {4, 3, 7, 5},    // at the bottom-right corner
        {0, 0, 0, 0},    // empty: every row is filled
        {3, 1, 3, 4},    // no width: the rows inside are filled both sides of column 3
        {-2, -1, 9, 7},  // larger than the picture
    };
    for (const ParamRect& dst : cases) {
      SCOPED_TRACE(testing::Message()
                   << dst.left << "," << dst.top << "," << dst.right << "," << dst.bottom);
      Canvas canvas(7, 5, bytes);
      fillMargins(canvas.bits(), 7, 5, bytes, pixel, dst);
      canvas.expectPicture(pixel, [&](int x, int y) { return !inside(dst, x, y); });
    }
  }
}

TEST(BorderFillTest, MarginRightOfTheRunFillsWholePixelsToTheStrideEnd) {
  // 5 pixels of 3 bytes in a 16-byte stride: after a run ending at pixel 4 one pixel fits and
  // the last padding byte stays.
  Canvas five(5, 2, 3);
  fillMargins(five.bits(), 5, 2, 3, 0x010203, {0, 0, 4, 2});
  five.expectPicture(0x010203, [](int x, int) { return x == 4; });
  EXPECT_EQ(five.bits()[15], kUntouched);
  // 3 pixels of 3 bytes in a 12-byte stride: the padding holds one more whole pixel.
  Canvas three(3, 2, 3);
  fillMargins(three.bits(), 3, 2, 3, 0x010203, {0, 0, 2, 2});
  three.expectPicture(0x010203, [](int x, int) { return x == 2; });
  EXPECT_EQ(three.bits()[9], 0x03);
  EXPECT_EQ(three.bits()[11], 0x01);
}

TEST(BorderFillTest, UncoveredPartsAreFilledInPictureCoordinates) {
  const ParamPoint origin{100, 50};
  const ParamRect whole{0, 0, 8, 6};
  {
    // Screen (101, 51)-(104, 53) is picture (1, 1)-(4, 3).
    Canvas canvas(8, 6, 4);
    fillUncovered(canvas.bits(), 8, 6, 4, 0xFF00FF, {{101, 51, 104, 53}}, origin, whole);
    canvas.expectPicture(0xFF00FF, [](int x, int y) { return x >= 1 && x < 4 && y >= 1 && y < 3; });
  }
  {
    // Clipped to dst, and several pieces.
    Canvas canvas(8, 6, 3);
    const ParamRect dst{2, 1, 6, 5};
    fillUncovered(canvas.bits(), 8, 6, 3, 0x00FF00, {{90, 40, 103, 53}, {105, 54, 200, 60}}, origin,
                  dst);
    canvas.expectPicture(0x00FF00, [&](int x, int y) {
      return inside(dst, x, y) && ((x < 3 && y < 3) || (x >= 5 && y >= 4));
    });
  }
  {
    // Pieces and a dst reaching past the surface: rows beyond it are skipped and no row is
    // written past its stride.
    Canvas canvas(5, 4, 2);
    const ParamRect dst{0, -3, 50, 40};
    fillUncovered(canvas.bits(), 5, 4, 2, 0x7C1F, {{103, 48, 200, 90}}, origin, dst);
    canvas.expectPicture(0x7C1F, [](int x, int) { return x >= 3; });
    // The fill ran on to the stride's end: 12 bytes hold 6 pixels, the sixth in the padding.
    EXPECT_EQ(canvas.bits()[10], 0x1F);
    EXPECT_EQ(canvas.bits()[11], 0x7C);
  }
  {
    // Nothing uncovered, or pieces outside dst: nothing written.
    Canvas canvas(4, 4, 4);
    fillUncovered(canvas.bits(), 4, 4, 4, 0xFF00FF, {}, origin, whole);
    fillUncovered(canvas.bits(), 4, 4, 4, 0xFF00FF, {{0, 0, 100, 50}, {104, 54, 120, 70}}, origin,
                  {0, 0, 4, 4});
    canvas.expectPicture(0xFF00FF, [](int, int) { return false; });
  }
}

}  // namespace
