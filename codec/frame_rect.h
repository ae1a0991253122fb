// A rectangle of a codec frame in pixel units, in the order of a Windows RECT: left and top
// inclusive, right and bottom exclusive, rows counted in memory order. Portable: no
// <windows.h>.
#pragma once

#include <cstddef>
#include <cstdint>

namespace codec {

struct FrameRect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;

  bool operator==(const FrameRect&) const = default;

  // At least one column and one row.
  bool hasArea() const { return right > left && bottom > top; }

  // Has area and lies inside a width x height frame.
  bool fitsIn(int32_t width, int32_t height) const {
    return hasArea() && left >= 0 && top >= 0 && right <= width && bottom <= height;
  }

  // Bytes of the rectangle's 32-bit pixels; only meaningful when hasArea(). The differences
  // are taken in 64 bits: a rectangle read from a sample may span the whole int32 range.
  size_t contentBytes() const {
    return static_cast<size_t>(int64_t{right} - left) * static_cast<size_t>(int64_t{bottom} - top) *
           4;
  }
};

}  // namespace codec
