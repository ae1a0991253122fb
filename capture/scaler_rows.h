// The row kernels of the frame scaler's fast paths, one destination row a call, over absolute
// tables (byte offsets of source pixels, weights repeated in all four bytes): nearest for
// 32-bit pixels, and the horizontal and vertical passes of the linear blend. Every kernel gives
// exactly the bytes of the scaler's reference code. The AVX2 kernels are built for that
// instruction set alone and run only where the processor has it. Portable: no <windows.h>.
#pragma once

#include <cstdint>

enum class ScalerPath {
  Reference,  // the scaler's first, scalar code: the oracle of the others
  Sse2,
  Avx2,
};

namespace scaler_rows {

// The widest path this processor runs (Reference where no vector kernels are built).
ScalerPath widestPath();

// out[i] = the 32-bit pixel at row + xOffset[i].
void nearest32(ScalerPath path, uint8_t* out, const uint8_t* row, const int32_t* xOffset,
               int columns);

// out[i] = (A*(255-w) + B*w) >> 8 per byte, with A at row + xOffset[i], B the pixel after it
// and w the low byte of xWeight[i].
void horizontal(ScalerPath path, uint8_t* out, const uint8_t* row, const int32_t* xOffset,
                const uint32_t* xWeight, int columns);

// The same blend between `top` and `below`, pixel by pixel, with one weight for the row.
void vertical(ScalerPath path, uint8_t* out, const uint8_t* top, const uint8_t* below,
              unsigned weight, int columns);

// Both passes for one destination row straight from its two source rows, without keeping the
// horizontal results: the bytes of horizontal on each row, then vertical.
void blendBoth(ScalerPath path, uint8_t* out, const uint8_t* top, const uint8_t* below,
               const int32_t* xOffset, const uint32_t* xWeight, unsigned yWeight, int columns);

}  // namespace scaler_rows
