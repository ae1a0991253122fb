// Resizes captured frames to the output size: a straight row copy for equal sizes, nearest
// pixel, or a two-pass linear blend of 32-bit pixels through a work buffer. Step tables hold
// differences so the inner loops only add. Portable: no <windows.h>.
#pragma once

#include <cstdint>
#include <vector>

#include "common/portable.h"

class FrameScaler {
 public:
  enum Mode { Copy = 0, Nearest = 1, Linear = 2 };

  FrameScaler();

  // Builds the tables for a size pair. S_FALSE when nothing changed, E_INVALIDARG for sizes
  // below 2 or bytesPerPixel outside 1..4 (the old state stays), E_OUTOFMEMORY (state freed).
  HRESULT prepare(int srcWidth, int srcHeight, int dstWidth, int dstHeight, int bytesPerPixel,
                  int requestedMode);

  // Scales one frame; `src` rows are srcStride() apart, dstStride 0 means workStride().
  HRESULT run(uint8_t* dst, const uint8_t* src, int dstStride) const;

  int mode() const { return mode_; }
  int workStride() const { return workStride_; }
  int srcStride() const { return srcStride_; }

 private:
  void clear();

  bool hasVectorUnit_ = false;
  bool prepared_ = false;
  int srcWidth_ = 0, srcHeight_ = 0, dstWidth_ = 0, dstHeight_ = 0;
  int bytesPerPixel_ = 0;
  int mode_ = Copy;
  int srcStride_ = 0, workStride_ = 0;
  std::vector<int32_t> xStep_, yStep_;
  std::vector<uint32_t> xWeight_, yWeight_;  // each weight byte repeated 4 times
  mutable std::vector<uint8_t> work_;        // horizontal pass output, srcHeight rows
};

// The two linear passes, exposed so tests can check the scalar reference on any machine.
namespace frame_scaler_internal {

// Each source row (`rows` of them, srcStride apart) into one work row of `columns` pixels.
void horizontalScalar(uint8_t* work, int workStride, const uint8_t* src, int srcStride, int rows,
                      const int32_t* xStep, const uint32_t* xWeight, int columns);
void horizontalFast(uint8_t* work, int workStride, const uint8_t* src, int srcStride, int rows,
                    const int32_t* xStep, const uint32_t* xWeight, int columns);

// Each destination row from a work row and the one below it.
void verticalScalar(uint8_t* dst, int dstStride, const uint8_t* work, int workStride, int rows,
                    const int32_t* yStep, const uint32_t* yWeight, int columns);
void verticalFast(uint8_t* dst, int dstStride, const uint8_t* work, int workStride, int rows,
                  const int32_t* yStep, const uint32_t* yWeight, int columns);

// True when the fast versions use vector instructions rather than the scalar ones.
bool fastIsVector();

}  // namespace frame_scaler_internal
