// Uncompressed video frames as pictures: the layout of a frame's bitmap (depth, masks, row
// order, row padding), read from its BITMAPINFOHEADER bytes, and the conversion of a frame to
// a top-down picture of one byte per colour, which the PNG writer and the frame comparison
// take. Portable (no <windows.h>), so that it builds natively for its unit tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

// Rows top-down, each `width` pixels of red, green and blue.
struct RgbPicture {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> pixels;

  const std::uint8_t* at(int x, int y) const {
    return pixels.data() + (static_cast<size_t>(y) * width + x) * 3;
  }
};

struct BitmapLayout {
  enum class Pixels { Bgr32, Bgr24, Rgb565, Rgb555 };

  int width = 0;
  int height = 0;  // always positive
  bool topDown = false;
  Pixels pixels = Pixels::Bgr32;
  size_t stride = 0;  // bytes of a row, padded to 4

  size_t imageBytes() const { return stride * static_cast<size_t>(height); }
};

struct BitmapLayoutResult {
  BitmapLayout layout;
  std::string error;  // empty when the bitmap is one the recorder reads

  bool ok() const { return error.empty(); }
};

// The largest picture side read; it keeps every size in range.
inline constexpr int kMaxPictureSide = 16384;

// `header` is a BITMAPINFOHEADER and what follows it (the masks of BI_BITFIELDS). Uncompressed
// RGB of 16 (555 or 565), 24 and 32 bits is read; anything else answers why not.
BitmapLayoutResult bitmapLayout(std::span<const std::uint8_t> header);

// Converts one frame; false when `bits` is shorter than the layout's image. `picture` keeps its
// buffer from one frame to the next.
bool convertToRgb(const BitmapLayout& layout, std::span<const std::uint8_t> bits,
                  RgbPicture* picture);
