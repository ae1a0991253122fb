// Frame resizing: table building and the copy, nearest and linear runs (scalar and SSE2).
#include "capture/frame_scaler.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace frame_scaler_internal {

namespace {

// (A*(255-w) + B*w) >> 8 per byte of a 4-byte pixel; never overflows 16 bits.
inline void blendPixel(uint8_t* out, const uint8_t* a, const uint8_t* b, unsigned w) {
  for (int c = 0; c < 4; ++c) {
    out[c] = static_cast<uint8_t>((a[c] * (255u - w) + b[c] * w) >> 8);
  }
}

#if defined(__SSE2__)
inline __m128i load32(const uint8_t* p) {
  int32_t v;
  std::memcpy(&v, p, 4);
  return _mm_cvtsi32_si128(v);
}

// 8 16-bit lanes of A and B with matching weights; the sum stays below 65536, so wrapping
// 16-bit adds and a logical shift give the scalar result exactly.
inline __m128i blend16(__m128i a, __m128i b, __m128i w) {
  const __m128i inv = _mm_sub_epi16(_mm_set1_epi16(255), w);
  const __m128i sum = _mm_add_epi16(_mm_mullo_epi16(a, inv), _mm_mullo_epi16(b, w));
  return _mm_srli_epi16(sum, 8);
}
#endif

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

#if defined(__SSE2__)
bool fastIsVector() { return true; }

void horizontalFast(uint8_t* work, int workStride, const uint8_t* src, int srcStride, int rows,
                    const int32_t* xStep, const uint32_t* xWeight, int columns) {
  const __m128i zero = _mm_setzero_si128();
  for (int y = 0; y < rows; ++y) {
    const uint8_t* p = src;
    uint8_t* out = work;
    int i = 0;
    // Two destination pixels per iteration: 8 bytes of A, 8 of B, 8 weights.
    for (; i + 2 <= columns; i += 2) {
      const uint8_t* p0 = p + xStep[i];
      const uint8_t* p1 = p0 + xStep[i + 1];
      p = p1;
      const __m128i a = _mm_unpacklo_epi8(_mm_unpacklo_epi32(load32(p0), load32(p1)), zero);
      const __m128i b = _mm_unpacklo_epi8(_mm_unpacklo_epi32(load32(p0 + 4), load32(p1 + 4)), zero);
      const __m128i w = _mm_unpacklo_epi8(
          _mm_unpacklo_epi32(_mm_cvtsi32_si128(static_cast<int32_t>(xWeight[i])),
                             _mm_cvtsi32_si128(static_cast<int32_t>(xWeight[i + 1]))),
          zero);
      _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(blend16(a, b, w), zero));
      out += 8;
    }
    if (i < columns) {
      p += xStep[i];
      blendPixel(out, p, p + 4, xWeight[i] & 0xFF);
    }
    src += srcStride;
    work += workStride;
  }
}

void verticalFast(uint8_t* dst, int dstStride, const uint8_t* work, int workStride, int rows,
                  const int32_t* yStep, const uint32_t* yWeight, int columns) {
  const __m128i zero = _mm_setzero_si128();
  const int bytes = 4 * columns;
  const uint8_t* row = work;
  for (int j = 0; j < rows; ++j) {
    row += static_cast<std::ptrdiff_t>(yStep[j]) * workStride;
    const uint8_t* below = row + workStride;
    const unsigned wByte = yWeight[j] & 0xFF;
    const __m128i w = _mm_set1_epi16(static_cast<short>(wByte));
    int x = 0;
    // Four destination pixels per iteration, all with the row's weight.
    for (; x + 16 <= bytes; x += 16) {
      const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x));
      const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(below + x));
      const __m128i lo = blend16(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero), w);
      const __m128i hi = blend16(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero), w);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + x), _mm_packus_epi16(lo, hi));
    }
    for (; x < bytes; x += 4) blendPixel(dst + x, row + x, below + x, wByte);
    dst += dstStride;
  }
}
#else
bool fastIsVector() { return false; }

void horizontalFast(uint8_t* work, int workStride, const uint8_t* src, int srcStride, int rows,
                    const int32_t* xStep, const uint32_t* xWeight, int columns) {
  horizontalScalar(work, workStride, src, srcStride, rows, xStep, xWeight, columns);
}

void verticalFast(uint8_t* dst, int dstStride, const uint8_t* work, int workStride, int rows,
                  const int32_t* yStep, const uint32_t* yWeight, int columns) {
  verticalScalar(dst, dstStride, work, workStride, rows, yStep, yWeight, columns);
}
#endif

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
      // Only the linear run goes through the work buffer.
      work_.resize(static_cast<size_t>(workStride) * static_cast<size_t>(srcHeight));
    }
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

HRESULT FrameScaler::run(uint8_t* dst, const uint8_t* src, int dstStride) const {
  if (!dst || !src) return E_POINTER;
  if (!prepared_) return E_UNEXPECTED;
  if (dstStride == 0) dstStride = workStride_;

  switch (mode_) {
    case Copy: {
      const int rows = std::min(srcHeight_, dstHeight_);
      const size_t bytes = static_cast<size_t>(bytesPerPixel_) * std::min(srcWidth_, dstWidth_);
      for (int y = 0; y < rows; ++y) {
        std::memcpy(dst, src, bytes);
        src += srcStride_;
        dst += dstStride;
      }
      break;
    }
    case Nearest: {
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
      break;
    }
    case Linear: {
      namespace fsi = frame_scaler_internal;
      uint8_t* work = work_.data();
      if (hasVectorUnit_) {
        fsi::horizontalFast(work, workStride_, src, srcStride_, srcHeight_, xStep_.data(),
                            xWeight_.data(), dstWidth_);
        fsi::verticalFast(dst, dstStride, work, workStride_, dstHeight_, yStep_.data(),
                          yWeight_.data(), dstWidth_);
      } else {
        fsi::horizontalScalar(work, workStride_, src, srcStride_, srcHeight_, xStep_.data(),
                              xWeight_.data(), dstWidth_);
        fsi::verticalScalar(dst, dstStride, work, workStride_, dstHeight_, yStep_.data(),
                            yWeight_.data(), dstWidth_);
      }
      break;
    }
    default:
      return E_UNEXPECTED;
  }
  return S_OK;
}
