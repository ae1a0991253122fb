// Border colour in the surface's pixel format and the fills of a grab: rows, the margins left
// and right of and above and below the copied run, and the parts of the desktop no monitor
// shows. Bitmaps are bottom-up DIBs (memory row k is picture row height-1-k) with rows padded
// to 4 bytes. Portable: no <windows.h>.
#pragma once

#include <cstdint>
#include <vector>

#include "config/capture_params.h"

// `border` (0x00BBGGRR) as a pixel value: 0xRRGGBB for 24 and 32 bits, 565 for 16, 555 for 15.
uint32_t borderPixel(uint32_t border, int bitsPerPixel);

// 32 -> 4, 16 and 15 -> 2, anything else -> 3.
int bytesPerPixelFor(int bitsPerPixel);

// Bytes of one row of `width` pixels, padded to 4 bytes.
inline int dibStride(int width, int bytesPerPixel) { return (width * bytesPerPixel + 3) & ~3; }

// Writes `pixel` at the start of each of `rows` rows, `stride` bytes apart: `pixels` times if
// 0 < pixels <= stride / bytesPerPixel, else as many as fit in the stride.
void fillRows(uint8_t* start, int rows, int stride, int pixels, uint32_t pixel, int bytesPerPixel);

// Fills everything of the picture outside `dst`, the rectangle the copy wrote: whole rows above
// and below it, the pixels left of it and the rest of the stride right of it.
void fillMargins(uint8_t* bits, int width, int height, int bytesPerPixel, uint32_t pixel,
                 const ParamRect& dst);

// Fills the parts of `dst` that show uncovered desktop: each rectangle (screen coordinates) is
// moved by -areaOrigin (the screen point at the picture's top-left) into picture coordinates
// and clipped to `dst`.
void fillUncovered(uint8_t* bits, int width, int height, int bytesPerPixel, uint32_t pixel,
                   const std::vector<ParamRect>& uncovered, ParamPoint areaOrigin,
                   const ParamRect& dst);
