// Border colour conversion and the fills of a grab.
#include "capture/border_fill.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace {

// DIB pixels are little-endian whatever the host.
void storePixel(uint8_t* at, uint32_t pixel, int bytesPerPixel) {
  for (int i = 0; i < bytesPerPixel; ++i) at[i] = static_cast<uint8_t>(pixel >> (8 * i));
}

uint8_t* pictureRow(uint8_t* bits, int height, int stride, int y) {
  return bits + static_cast<std::ptrdiff_t>(height - 1 - y) * stride;
}

}  // namespace

uint32_t borderPixel(uint32_t border, int bitsPerPixel) {
  const uint32_t r = border & 0xFF;
  const uint32_t g = (border >> 8) & 0xFF;
  const uint32_t b = (border >> 16) & 0xFF;
  switch (bitsPerPixel) {
    case 16:
      return ((r & 0xF8) << 8) | ((g & 0xFC) << 3) | (b >> 3);
    case 15:
      return ((r & 0xF8) << 7) | ((g & 0xF8) << 2) | (b >> 3);
    default:
      return (r << 16) | (g << 8) | b;
  }
}

int bytesPerPixelFor(int bitsPerPixel) {
  switch (bitsPerPixel) {
    case 32:
      return 4;
    case 16:
    case 15:
      return 2;
    default:
      return 3;
  }
}

void fillRows(uint8_t* start, int rows, int stride, int pixels, uint32_t pixel, int bytesPerPixel) {
  if (!start || rows < 1 || stride < 1 || bytesPerPixel < 1) return;
  const int fit = stride / bytesPerPixel;
  const int count = (pixels > 0 && pixels <= fit) ? pixels : fit;
  if (count < 1) return;
  for (int i = 0; i < count; ++i) storePixel(start + i * bytesPerPixel, pixel, bytesPerPixel);
  // The first row is the pattern for the others.
  const size_t runBytes = static_cast<size_t>(count) * bytesPerPixel;
  for (int row = 1; row < rows; ++row) {
    std::memcpy(start + static_cast<std::ptrdiff_t>(row) * stride, start, runBytes);
  }
}

void fillMargins(uint8_t* bits, int width, int height, int bytesPerPixel, uint32_t pixel,
                 const ParamRect& dst) {
  if (!bits || width < 1 || height < 1 || bytesPerPixel < 1) return;
  const int stride = dibStride(width, bytesPerPixel);
  for (int y = 0; y < height; ++y) {
    uint8_t* row = pictureRow(bits, height, stride, y);
    if (y < dst.top || y >= dst.bottom) {
      fillRows(row, 1, stride, 0, pixel, bytesPerPixel);
      continue;
    }
    if (dst.left > 0) fillRows(row, 1, stride, dst.left, pixel, bytesPerPixel);
    // Zero whole pixels left must not reach fillRows, which reads 0 as "the whole row".
    const int64_t after =
        (static_cast<int64_t>(std::max(dst.left, 0)) + std::max(dst.width(), 0)) * bytesPerPixel;
    if (after >= stride) continue;
    const int room = stride - static_cast<int>(after);
    const int pixels = room / bytesPerPixel;
    if (pixels > 0) fillRows(row + after, 1, room, pixels, pixel, bytesPerPixel);
  }
}

void fillUncovered(uint8_t* bits, int width, int height, int bytesPerPixel, uint32_t pixel,
                   const std::vector<ParamRect>& uncovered, ParamPoint areaOrigin,
                   const ParamRect& dst) {
  if (!bits || width < 1 || height < 1 || bytesPerPixel < 1) return;
  const int stride = dibStride(width, bytesPerPixel);
  for (const ParamRect& u : uncovered) {
    ParamRect r{u.left - areaOrigin.x, u.top - areaOrigin.y, u.right - areaOrigin.x,
                u.bottom - areaOrigin.y};
    r.left = std::max({r.left, dst.left, 0});
    r.top = std::max(r.top, dst.top);
    r.right = std::min(r.right, dst.right);
    r.bottom = std::min(r.bottom, dst.bottom);
    if (r.width() < 1 || r.height() < 1) continue;
    const int64_t offset = static_cast<int64_t>(r.left) * bytesPerPixel;
    if (offset >= stride) continue;
    const int room = stride - static_cast<int>(offset);
    for (int y = std::max(r.top, 0); y < std::min(r.bottom, height); ++y) {
      fillRows(pictureRow(bits, height, stride, y) + offset, 1, room, r.width(), pixel,
               bytesPerPixel);
    }
  }
}
