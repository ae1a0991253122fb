// Changed-rectangle search. Rows compare as whole blocks; the columns are narrowed row by row
// (each row only scans the part outside the box found so far), which gives the same box as
// comparing column by column but walks memory in order.
#include "codec/changed_rect.h"

#include <cstddef>
#include <cstring>

#include "codec/frame_format.h"

namespace codec {

namespace {

// Rows compare under `mask`: the current frame's words masked against the previous frame's
// as they are.
template <uint32_t Mask>
FrameRect search(const uint8_t* current, const uint8_t* previous, int32_t width, int32_t rows) {
  if (width <= 0 || rows <= 0) return {};
  const size_t pitch = static_cast<size_t>(width) * 4;
  auto rowEqual = [&](int32_t row) {
    const size_t offset = static_cast<size_t>(row) * pitch;
    // Equal bytes are equal colours; the library's compare is the fastest way to see them.
    if (std::memcmp(current + offset, previous + offset, pitch) == 0) return true;
    if constexpr (Mask == 0xFFFFFFFFu) {
      return false;
    } else {
      // Top bytes may be all that differs: one sweep over the row's colours.
      uint32_t differences = 0;
      for (size_t i = 0; i < pitch; i += 4) {
        differences |= (loadPixel(current + offset + i) & Mask) ^ loadPixel(previous + offset + i);
      }
      return differences == 0;
    }
  };

  int32_t top = 0;
  while (top < rows && rowEqual(top)) ++top;
  if (top == rows) return {};
  int32_t bottom = rows;
  while (bottom - 1 > top && rowEqual(bottom - 1)) --bottom;

  // Row `top` differs somewhere, so both scans stop inside the frame.
  int32_t left = width;
  int32_t right = 0;
  for (int32_t row = top; row < bottom; ++row) {
    const uint8_t* now = current + static_cast<size_t>(row) * pitch;
    const uint8_t* before = previous + static_cast<size_t>(row) * pitch;
    auto pixelDiffers = [&](int32_t column) {
      return (loadPixel(now + 4 * static_cast<size_t>(column)) & Mask) !=
             loadPixel(before + 4 * static_cast<size_t>(column));
    };
    for (int32_t column = 0; column < left; ++column) {
      if (pixelDiffers(column)) {
        left = column;
        break;
      }
    }
    for (int32_t column = width - 1; column >= right; --column) {
      if (pixelDiffers(column)) {
        right = column + 1;
        break;
      }
    }
  }
  return {left, top, right, bottom};
}

}  // namespace

FrameRect findChangedRect(const uint8_t* current, const uint8_t* previous, int32_t width,
                          int32_t rows) {
  return search<0xFFFFFFFFu>(current, previous, width, rows);
}

FrameRect findChangedColours(const uint8_t* current, const uint8_t* reference, int32_t width,
                             int32_t rows) {
  return search<kColourMask>(current, reference, width, rows);
}

}  // namespace codec
