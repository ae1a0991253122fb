// Frame resizing: table building, the copy, the fast paths' row-by-row runs, and the reference
// path's original scalar code.
#include "capture/frame_scaler.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <new>

namespace frame_scaler_internal {

namespace {

// (A*(255-w) + B*w) >> 8 per byte of a 4-byte pixel; never overflows 16 bits.
inline void blendPixel(uint8_t* out, const uint8_t* a, const uint8_t* b, unsigned w) {
  for (int c = 0; c < 4; ++c) {
    out[c] = static_cast<uint8_t>((a[c] * (255u - w) + b[c] * w) >> 8);
  }
}

}  // namespace

void horizontalScalar(uint8_t* work, int workStride, const uint8_t* src, int srcStride, int rows,
                      const int32_t* xStep, const uint32_t* xWeight, int columns) {
  for (int y = 0; y < rows; ++y) {
    const uint8_t* p = src;
    uint8_t* out = work;
    for (int i = 0; i < columns; ++i) {
      p += xStep[i];
      blendPixel(out, p, p + 4, xWeight[i] & 0xFF);
      out += 4;
    }
    src += srcStride;
    work += workStride;
  }
}

void verticalScalar(uint8_t* dst, int dstStride, const uint8_t* work, int workStride, int rows,
                    const int32_t* yStep, const uint32_t* yWeight, int columns) {
  const uint8_t* row = work;
  for (int j = 0; j < rows; ++j) {
    row += static_cast<std::ptrdiff_t>(yStep[j]) * workStride;
    const uint8_t* below = row + workStride;
    const unsigned w = yWeight[j] & 0xFF;
    for (int i = 0; i < columns; ++i) blendPixel(dst + 4 * i, row + 4 * i, below + 4 * i, w);
    dst += dstStride;
  }
}

}  // namespace frame_scaler_internal

namespace {

uint32_t widen(uint32_t w) { return w | (w << 8) | (w << 16) | (w << 24); }

// Turns absolute steps into differences from the previous entry.
void toDifferences(std::vector<int32_t>& steps) {
  for (size_t k = steps.size(); k-- > 1;) steps[k] -= steps[k - 1];
}

void nearestTable(std::vector<int32_t>& steps, int src, int dst, int scale) {
  steps.resize(static_cast<size_t>(dst));
  for (int i = 0; i < dst; ++i) {
    const double f = i * (src - 1) / static_cast<double>(dst - 1);
    int x = static_cast<int>(f);
    if (f - x >= 0.5) x += 1;
    steps[static_cast<size_t>(i)] = x * scale;
  }
}

void linearTable(std::vector<int32_t>& steps, std::vector<uint32_t>& weights, int src, int dst,
                 int scale) {
  steps.resize(static_cast<size_t>(dst));
  weights.resize(static_cast<size_t>(dst));
  for (int i = 0; i < dst - 1; ++i) {
    const double f = i * (src - 1) / static_cast<double>(dst - 1);
    const int x = static_cast<int>(f);
    steps[static_cast<size_t>(i)] = scale * x;
    weights[static_cast<size_t>(i)] = widen(static_cast<uint32_t>((f - x) * 255) & 0xFF);
  }
  // The last one blends the last two source pixels fully towards the last.
  steps[static_cast<size_t>(dst - 1)] = scale * (src - 2);
  weights[static_cast<size_t>(dst - 1)] = widen(255);
}

}  // namespace

FrameScaler::FrameScaler() {
#if defined(__x86_64__) || defined(_M_X64)
  // SSE2 is part of the x86_64 base instruction set.
  hasVectorUnit_ = true;
#else
  hasVectorUnit_ = false;
#endif
}

void FrameScaler::clear() {
  prepared_ = false;
  srcWidth_ = srcHeight_ = dstWidth_ = dstHeight_ = bytesPerPixel_ = 0;
  mode_ = Copy;
  srcStride_ = workStride_ = 0;
  std::vector<int32_t>().swap(xStep_);
  std::vector<int32_t>().swap(yStep_);
  std::vector<int32_t>().swap(xOffset_);
  std::vector<int32_t>().swap(yRow_);
  std::vector<uint32_t>().swap(xWeight_);
  std::vector<uint32_t>().swap(yWeight_);
  std::vector<uint8_t>().swap(work_);
}

HRESULT FrameScaler::prepare(int srcWidth, int srcHeight, int dstWidth, int dstHeight,
                             int bytesPerPixel, int requestedMode) {
  if (srcWidth < 2 || srcHeight < 2 || dstWidth < 2 || dstHeight < 2) return E_INVALIDARG;
  if (bytesPerPixel < 1 || bytesPerPixel > 4) return E_INVALIDARG;
  int mode = requestedMode;
  if (mode == Linear && (bytesPerPixel != 4 || !hasVectorUnit_)) mode = Nearest;
  if (srcWidth == dstWidth && srcHeight == dstHeight) mode = Copy;
  if (mode != Copy && mode != Nearest && mode != Linear) return E_INVALIDARG;
  if (prepared_ && srcWidth == srcWidth_ && srcHeight == srcHeight_ && dstWidth == dstWidth_ &&
      dstHeight == dstHeight_ && mode == mode_ && bytesPerPixel == bytesPerPixel_) {
    return S_FALSE;
  }

  clear();
  // Strides that do not fit an int cannot be addressed by the runs.
  const int64_t srcStride = (static_cast<int64_t>(bytesPerPixel) * srcWidth + 3) & ~int64_t{3};
  const int64_t workStride = (static_cast<int64_t>(bytesPerPixel) * dstWidth + 3) & ~int64_t{3};
  if (srcStride > INT32_MAX || workStride > INT32_MAX) return E_OUTOFMEMORY;
  try {
    if (mode == Nearest) {
      nearestTable(xStep_, srcWidth, dstWidth, bytesPerPixel);
      nearestTable(yStep_, srcHeight, dstHeight, 1);
    } else if (mode == Linear) {
      linearTable(xStep_, xWeight_, srcWidth, dstWidth, 4);
      linearTable(yStep_, yWeight_, srcHeight, dstHeight, 1);
      // The fast run's two blended rows; the reference path takes its larger buffer when run.
      work_.resize(2 * static_cast<size_t>(workStride));
    }
    xOffset_ = xStep_;
    yRow_ = yStep_;
  } catch (const std::bad_alloc&) {
    clear();
    return E_OUTOFMEMORY;
  }
  toDifferences(xStep_);
  toDifferences(yStep_);

  srcWidth_ = srcWidth;
  srcHeight_ = srcHeight;
  dstWidth_ = dstWidth;
  dstHeight_ = dstHeight;
  bytesPerPixel_ = bytesPerPixel;
  mode_ = mode;
  srcStride_ = static_cast<int>(srcStride);
  workStride_ = static_cast<int>(workStride);
  prepared_ = true;
  return S_OK;
}

void FrameScaler::usePath(ScalerPath path) { path_ = std::min(path, scaler_rows::widestPath()); }

HRESULT FrameScaler::run(uint8_t* dst, const uint8_t* src, int dstStride) const {
  if (!dst || !src) return E_POINTER;
  if (!prepared_) return E_UNEXPECTED;
  if (dstStride == 0) dstStride = workStride_;

  if (mode_ == Copy) {
    const int rows = std::min(srcHeight_, dstHeight_);
    const size_t bytes = static_cast<size_t>(bytesPerPixel_) * std::min(srcWidth_, dstWidth_);
    for (int y = 0; y < rows; ++y) {
      std::memcpy(dst, src, bytes);
      src += srcStride_;
      dst += dstStride;
    }
    return S_OK;
  }
  if (path_ == ScalerPath::Reference) {
    if (mode_ == Linear) {
      const size_t bytes = static_cast<size_t>(workStride_) * static_cast<size_t>(srcHeight_);
      try {
        if (work_.size() < bytes) work_.resize(bytes);
      } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
      }
    }
    runReference(dst, src, dstStride);
    return S_OK;
  }
  if (mode_ == Nearest) {
    runNearest(dst, src, dstStride);
  } else {
    runLinear(dst, src, dstStride);
  }
  return S_OK;
}

void FrameScaler::runNearest(uint8_t* dst, const uint8_t* src, int dstStride) const {
  const size_t rowBytes = static_cast<size_t>(bytesPerPixel_) * dstWidth_;
  for (int j = 0; j < dstHeight_; ++j, dst += dstStride) {
    if (j > 0 && yRow_[static_cast<size_t>(j)] == yRow_[static_cast<size_t>(j - 1)]) {
      std::memcpy(dst, dst - dstStride, rowBytes);
      continue;
    }
    const uint8_t* row =
        src + static_cast<std::ptrdiff_t>(yRow_[static_cast<size_t>(j)]) * srcStride_;
    if (bytesPerPixel_ == 4) {
      scaler_rows::nearest32(path_, dst, row, xOffset_.data(), dstWidth_);
      continue;
    }
    for (int i = 0; i < dstWidth_; ++i) {
      std::memcpy(dst + static_cast<size_t>(i) * bytesPerPixel_,
                  row + xOffset_[static_cast<size_t>(i)], static_cast<size_t>(bytesPerPixel_));
    }
  }
}

void FrameScaler::runLinear(uint8_t* dst, const uint8_t* src, int dstStride) const {
  // A new frame: nothing blended is held yet.
  heldRows_[0] = heldRows_[1] = -1;
  uint8_t* const slots[2] = {work_.data(), work_.data() + workStride_};
  // The blended form of source row `y`, made into a slot not holding `keep` when missing.
  const auto blended = [&](int y, int keep) -> const uint8_t* {
    for (int k = 0; k < 2; ++k) {
      if (heldRows_[k] == y) return slots[k];
    }
    const int k = heldRows_[0] == keep ? 1 : 0;
    scaler_rows::horizontal(path_, slots[k], src + static_cast<std::ptrdiff_t>(y) * srcStride_,
                            xOffset_.data(), xWeight_.data(), dstWidth_);
    heldRows_[k] = y;
    return slots[k];
  };
  for (int j = 0; j < dstHeight_; ++j, dst += dstStride) {
    const int y = yRow_[static_cast<size_t>(j)];
    const unsigned weight = yWeight_[static_cast<size_t>(j)] & 0xFF;
    // Rows that no neighbour shares (downscaling by two or more) go through both passes at
    // once; kept rows pay where the next destination row uses them again.
    const bool held =
        heldRows_[0] == y || heldRows_[1] == y || heldRows_[0] == y + 1 || heldRows_[1] == y + 1;
    const bool sharedNext = j + 1 < dstHeight_ && yRow_[static_cast<size_t>(j + 1)] <= y + 1;
    if (!held && !sharedNext) {
      scaler_rows::blendBoth(path_, dst, src + static_cast<std::ptrdiff_t>(y) * srcStride_,
                             src + static_cast<std::ptrdiff_t>(y + 1) * srcStride_, xOffset_.data(),
                             xWeight_.data(), weight, dstWidth_);
      continue;
    }
    const uint8_t* top = blended(y, y + 1);
    const uint8_t* below = blended(y + 1, y);
    scaler_rows::vertical(path_, dst, top, below, weight, dstWidth_);
  }
}

void FrameScaler::runReference(uint8_t* dst, const uint8_t* src, int dstStride) const {
  if (mode_ == Nearest) {
    const uint8_t* row = src;
    for (int j = 0; j < dstHeight_; ++j) {
      row += static_cast<std::ptrdiff_t>(yStep_[static_cast<size_t>(j)]) * srcStride_;
      const uint8_t* p = row;
      uint8_t* out = dst;
      for (int i = 0; i < dstWidth_; ++i) {
        p += xStep_[static_cast<size_t>(i)];
        std::memcpy(out, p, static_cast<size_t>(bytesPerPixel_));
        out += bytesPerPixel_;
      }
      dst += dstStride;
    }
    return;
  }
  namespace fsi = frame_scaler_internal;
  uint8_t* work = work_.data();
  fsi::horizontalScalar(work, workStride_, src, srcStride_, srcHeight_, xStep_.data(),
                        xWeight_.data(), dstWidth_);
  fsi::verticalScalar(dst, dstStride, work, workStride_, dstHeight_, yStep_.data(), yWeight_.data(),
                      dstWidth_);
}
