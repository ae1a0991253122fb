// Resizes captured frames to the output size: a straight row copy for equal sizes, nearest
// pixel, or a two-pass linear blend of 32-bit pixels (horizontal, then vertical). The fast
// paths go one destination row at a time: a row that repeats the source row of the one above
// is copied from it, and the linear blend keeps only the two horizontally blended source rows
// the current row needs. The first, scalar code stays as the reference path, with its
// difference tables and whole-frame work buffer; every path gives its bytes exactly.
// Portable: no <windows.h>.
#pragma once

#include <cstdint>
#include <vector>

#include "capture/scaler_rows.h"
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

  // The widest path up to `path` that this processor runs; the widest it has at first. For
  // the tests that hold every path against the reference, and for the benchmarks.
  void usePath(ScalerPath path);
  ScalerPath path() const { return path_; }

 private:
  void clear();
  void runNearest(uint8_t* dst, const uint8_t* src, int dstStride) const;
  void runLinear(uint8_t* dst, const uint8_t* src, int dstStride) const;
  void runReference(uint8_t* dst, const uint8_t* src, int dstStride) const;

  bool hasVectorUnit_ = false;
  ScalerPath path_ = scaler_rows::widestPath();
  bool prepared_ = false;
  int srcWidth_ = 0, srcHeight_ = 0, dstWidth_ = 0, dstHeight_ = 0;
  int bytesPerPixel_ = 0;
  int mode_ = Copy;
  int srcStride_ = 0, workStride_ = 0;
  std::vector<int32_t> xStep_, yStep_;       // the reference path's differences
  std::vector<int32_t> xOffset_, yRow_;      // the fast paths' byte offsets and source rows
  std::vector<uint32_t> xWeight_, yWeight_;  // each weight byte repeated 4 times
  // The reference's horizontal pass output (srcHeight rows), or the fast linear run's two
  // blended rows and the source rows they hold.
  mutable std::vector<uint8_t> work_;
  mutable int heldRows_[2] = {-1, -1};
};

// The reference path's two linear passes.
namespace frame_scaler_internal {

// Each source row (`rows` of them, srcStride apart) into one work row of `columns` pixels.
void horizontalScalar(uint8_t* work, int workStride, const uint8_t* src, int srcStride, int rows,
                      const int32_t* xStep, const uint32_t* xWeight, int columns);
// Each destination row from a work row and the one below it.
void verticalScalar(uint8_t* dst, int dstStride, const uint8_t* work, int workStride, int rows,
                    const int32_t* yStep, const uint32_t* yWeight, int columns);
}  // namespace frame_scaler_internal
