// Row kernels: SSE2 (x86_64's base) and AVX2 (checked at run time).
#include "capture/scaler_rows.h"

#include <cstring>

#if defined(__x86_64__) || defined(_M_X64)
#define ZELK_SCALER_X86 1
#include <immintrin.h>
#endif

namespace scaler_rows {

namespace {

inline void blendPixel(uint8_t* out, const uint8_t* a, const uint8_t* b, unsigned w) {
  for (int c = 0; c < 4; ++c) {
    out[c] = static_cast<uint8_t>((a[c] * (255u - w) + b[c] * w) >> 8);
  }
}

// One destination pixel through both passes.
inline void blendBothPixel(uint8_t* out, const uint8_t* top, const uint8_t* below, int32_t offset,
                           uint32_t xWeight, unsigned yWeight) {
  uint8_t upper[4], lower[4];
  blendPixel(upper, top + offset, top + offset + 4, xWeight & 0xFF);
  blendPixel(lower, below + offset, below + offset + 4, xWeight & 0xFF);
  blendPixel(out, upper, lower, yWeight);
}

#if ZELK_SCALER_X86
inline uint32_t load32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

inline int64_t load64(const uint8_t* p) {
  int64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

// 16-bit lanes of A and B with matching weights; the sum stays below 65536, so wrapping adds
// and a logical shift give the scalar result exactly.
inline __m128i blend16(__m128i a, __m128i b, __m128i w) {
  const __m128i inverse = _mm_sub_epi16(_mm_set1_epi16(255), w);
  return _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(a, inverse), _mm_mullo_epi16(b, w)), 8);
}

__attribute__((target("avx2"))) inline __m256i blend16(__m256i a, __m256i b, __m256i w) {
  const __m256i inverse = _mm256_sub_epi16(_mm256_set1_epi16(255), w);
  return _mm256_srli_epi16(
      _mm256_add_epi16(_mm256_mullo_epi16(a, inverse), _mm256_mullo_epi16(b, w)), 8);
}

// Plain loads: AVX2's gather ran at two thirds of their speed here (AMD EPYC), so every path
// takes this one.
void nearestLoads(uint8_t* out, const uint8_t* row, const int32_t* xOffset, int columns) {
  auto* pixels = reinterpret_cast<uint32_t*>(out);
  int i = 0;
  for (; i + 4 <= columns; i += 4) {
    const uint32_t p0 = load32(row + xOffset[i]), p1 = load32(row + xOffset[i + 1]);
    const uint32_t p2 = load32(row + xOffset[i + 2]), p3 = load32(row + xOffset[i + 3]);
    std::memcpy(pixels + i, &p0, 4);
    std::memcpy(pixels + i + 1, &p1, 4);
    std::memcpy(pixels + i + 2, &p2, 4);
    std::memcpy(pixels + i + 3, &p3, 4);
  }
  for (; i < columns; ++i) std::memcpy(out + 4 * i, row + xOffset[i], 4);
}

void horizontalSse2(uint8_t* out, const uint8_t* row, const int32_t* xOffset,
                    const uint32_t* xWeight, int columns) {
  const __m128i zero = _mm_setzero_si128();
  int i = 0;
  // Two destination pixels per iteration: A and B of each in one 8-byte load.
  for (; i + 2 <= columns; i += 2) {
    const __m128i ab0 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(row + xOffset[i]));
    const __m128i ab1 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(row + xOffset[i + 1]));
    const __m128i a = _mm_unpacklo_epi8(_mm_unpacklo_epi32(ab0, ab1), zero);
    const __m128i b = _mm_unpacklo_epi8(
        _mm_unpacklo_epi32(_mm_srli_epi64(ab0, 32), _mm_srli_epi64(ab1, 32)), zero);
    const __m128i w =
        _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(xWeight + i)), zero);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 4 * i),
                     _mm_packus_epi16(blend16(a, b, w), zero));
  }
  if (i < columns) {
    const uint8_t* p = row + xOffset[i];
    blendPixel(out + 4 * i, p, p + 4, xWeight[i] & 0xFF);
  }
}

void blendBothSse2(uint8_t* out, const uint8_t* top, const uint8_t* below, const int32_t* xOffset,
                   const uint32_t* xWeight, unsigned yWeight, int columns) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i wy = _mm_set1_epi16(static_cast<short>(yWeight));
  int i = 0;
  for (; i + 2 <= columns; i += 2) {
    const __m128i w =
        _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(xWeight + i)), zero);
    __m128i blended[2];
    const uint8_t* rows[2] = {top, below};
    for (int r = 0; r < 2; ++r) {
      const __m128i ab0 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(rows[r] + xOffset[i]));
      const __m128i ab1 =
          _mm_loadl_epi64(reinterpret_cast<const __m128i*>(rows[r] + xOffset[i + 1]));
      const __m128i a = _mm_unpacklo_epi8(_mm_unpacklo_epi32(ab0, ab1), zero);
      const __m128i b = _mm_unpacklo_epi8(
          _mm_unpacklo_epi32(_mm_srli_epi64(ab0, 32), _mm_srli_epi64(ab1, 32)), zero);
      blended[r] = blend16(a, b, w);
    }
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 4 * i),
                     _mm_packus_epi16(blend16(blended[0], blended[1], wy), zero));
  }
  if (i < columns) blendBothPixel(out + 4 * i, top, below, xOffset[i], xWeight[i], yWeight);
}

// A horizontal blend as one multiply-add: with A and B interleaved per channel and taken as
// signed bytes (x - 128), maddubs against the byte pairs (255 - w, w) gives
// A*(255-w) + B*w - 128*255, which stays inside 16 signed bits (the weights sum to 255), so
// adding 128*255 back with wrapping restores the scalar sum exactly.
__attribute__((target("avx2"))) inline __m256i weightPairs(const uint32_t* xWeight) {
  const __m256i w =
      _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(xWeight)));
  return _mm256_or_si256(_mm256_slli_epi16(w, 8), _mm256_xor_si256(w, _mm256_set1_epi16(0xFF)));
}

// Four destination pixels of one row, each channel's blend in a 16-bit lane.
__attribute__((target("avx2"))) inline __m256i horizontalFour(const uint8_t* row,
                                                              const int32_t* xOffset,
                                                              __m256i pairs) {
  const __m256i interleave = _mm256_setr_epi8(0, 4, 1, 5, 2, 6, 3, 7, 8, 12, 9, 13, 10, 14, 11, 15,
                                              0, 4, 1, 5, 2, 6, 3, 7, 8, 12, 9, 13, 10, 14, 11, 15);
  const __m128i low = _mm_set_epi64x(load64(row + xOffset[1]), load64(row + xOffset[0]));
  const __m128i high = _mm_set_epi64x(load64(row + xOffset[3]), load64(row + xOffset[2]));
  const __m256i ab = _mm256_shuffle_epi8(
      _mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1), interleave);
  const __m256i sum =
      _mm256_maddubs_epi16(pairs, _mm256_xor_si256(ab, _mm256_set1_epi8(static_cast<char>(0x80))));
  return _mm256_srli_epi16(_mm256_add_epi16(sum, _mm256_set1_epi16(128 * 255)), 8);
}

// Eight pixels' 16-bit channels (pixels 0-3 in `first`, 4-7 in `second`) back to bytes in order.
__attribute__((target("avx2"))) inline void storeEight(uint8_t* out, __m256i first,
                                                       __m256i second) {
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out),
                      _mm256_permute4x64_epi64(_mm256_packus_epi16(first, second), 0xD8));
}

// Four pixels' 16-bit channels back to bytes.
__attribute__((target("avx2"))) inline void storeFour(uint8_t* out, __m256i four) {
  const __m256i packed = _mm256_packus_epi16(four, _mm256_setzero_si256());
  // The eight result bytes of each lane sit in its low half.
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                   _mm256_castsi256_si128(_mm256_permute4x64_epi64(packed, 0x08)));
}

// Four destination pixels through both passes: both source rows blended across, then down,
// with the horizontal results kept in their 16-bit lanes (the same integers a work row holds).
__attribute__((target("avx2"))) inline __m256i bothFour(const uint8_t* top, const uint8_t* below,
                                                        const int32_t* xOffset,
                                                        const uint32_t* xWeight, __m256i wy) {
  const __m256i pairs = weightPairs(xWeight);
  return blend16(horizontalFour(top, xOffset, pairs), horizontalFour(below, xOffset, pairs), wy);
}

__attribute__((target("avx2"))) void blendBothAvx2(uint8_t* out, const uint8_t* top,
                                                   const uint8_t* below, const int32_t* xOffset,
                                                   const uint32_t* xWeight, unsigned yWeight,
                                                   int columns) {
  const __m256i wy = _mm256_set1_epi16(static_cast<short>(yWeight));
  int i = 0;
  for (; i + 8 <= columns; i += 8) {
    storeEight(out + 4 * i, bothFour(top, below, xOffset + i, xWeight + i, wy),
               bothFour(top, below, xOffset + i + 4, xWeight + i + 4, wy));
  }
  if (i + 4 <= columns) {
    storeFour(out + 4 * i, bothFour(top, below, xOffset + i, xWeight + i, wy));
    i += 4;
  }
  for (; i < columns; ++i) {
    blendBothPixel(out + 4 * i, top, below, xOffset[i], xWeight[i], yWeight);
  }
}

__attribute__((target("avx2"))) void horizontalAvx2(uint8_t* out, const uint8_t* row,
                                                    const int32_t* xOffset, const uint32_t* xWeight,
                                                    int columns) {
  int i = 0;
  for (; i + 8 <= columns; i += 8) {
    storeEight(out + 4 * i, horizontalFour(row, xOffset + i, weightPairs(xWeight + i)),
               horizontalFour(row, xOffset + i + 4, weightPairs(xWeight + i + 4)));
  }
  if (i + 4 <= columns) {
    storeFour(out + 4 * i, horizontalFour(row, xOffset + i, weightPairs(xWeight + i)));
    i += 4;
  }
  for (; i < columns; ++i) {
    const uint8_t* p = row + xOffset[i];
    blendPixel(out + 4 * i, p, p + 4, xWeight[i] & 0xFF);
  }
}

void verticalSse2(uint8_t* out, const uint8_t* top, const uint8_t* below, unsigned weight,
                  int columns) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i w = _mm_set1_epi16(static_cast<short>(weight));
  const int bytes = 4 * columns;
  int x = 0;
  for (; x + 16 <= bytes; x += 16) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(top + x));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(below + x));
    const __m128i lo = blend16(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero), w);
    const __m128i hi = blend16(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero), w);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_packus_epi16(lo, hi));
  }
  for (; x < bytes; x += 4) blendPixel(out + x, top + x, below + x, weight);
}

__attribute__((target("avx2"))) void verticalAvx2(uint8_t* out, const uint8_t* top,
                                                  const uint8_t* below, unsigned weight,
                                                  int columns) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i w = _mm256_set1_epi16(static_cast<short>(weight));
  const int bytes = 4 * columns;
  int x = 0;
  // Unpacking and packing stay within lanes, so the bytes come back in place.
  for (; x + 32 <= bytes; x += 32) {
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(top + x));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(below + x));
    const __m256i lo = blend16(_mm256_unpacklo_epi8(a, zero), _mm256_unpacklo_epi8(b, zero), w);
    const __m256i hi = blend16(_mm256_unpackhi_epi8(a, zero), _mm256_unpackhi_epi8(b, zero), w);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x), _mm256_packus_epi16(lo, hi));
  }
  if (x < bytes) verticalSse2(out + x, top + x, below + x, weight, (bytes - x) / 4);
}
#endif

}  // namespace

ScalerPath widestPath() {
#if ZELK_SCALER_X86
  static const ScalerPath widest = [] {
    // Also where the runtime's own detection has not run yet (a module loaded early).
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") ? ScalerPath::Avx2 : ScalerPath::Sse2;
  }();
  return widest;
#else
  return ScalerPath::Reference;
#endif
}

void nearest32(ScalerPath path, uint8_t* out, const uint8_t* row, const int32_t* xOffset,
               int columns) {
#if ZELK_SCALER_X86
  if (path != ScalerPath::Reference) return nearestLoads(out, row, xOffset, columns);
#endif
  for (int i = 0; i < columns; ++i) std::memcpy(out + 4 * i, row + xOffset[i], 4);
}

void horizontal(ScalerPath path, uint8_t* out, const uint8_t* row, const int32_t* xOffset,
                const uint32_t* xWeight, int columns) {
#if ZELK_SCALER_X86
  if (path == ScalerPath::Avx2) return horizontalAvx2(out, row, xOffset, xWeight, columns);
  if (path == ScalerPath::Sse2) return horizontalSse2(out, row, xOffset, xWeight, columns);
#endif
  for (int i = 0; i < columns; ++i) {
    const uint8_t* p = row + xOffset[i];
    blendPixel(out + 4 * i, p, p + 4, xWeight[i] & 0xFF);
  }
}

void vertical(ScalerPath path, uint8_t* out, const uint8_t* top, const uint8_t* below,
              unsigned weight, int columns) {
#if ZELK_SCALER_X86
  if (path == ScalerPath::Avx2) return verticalAvx2(out, top, below, weight, columns);
  if (path == ScalerPath::Sse2) return verticalSse2(out, top, below, weight, columns);
#endif
  for (int x = 0; x < 4 * columns; x += 4) blendPixel(out + x, top + x, below + x, weight);
}

void blendBoth(ScalerPath path, uint8_t* out, const uint8_t* top, const uint8_t* below,
               const int32_t* xOffset, const uint32_t* xWeight, unsigned yWeight, int columns) {
#if ZELK_SCALER_X86
  if (path == ScalerPath::Avx2) {
    return blendBothAvx2(out, top, below, xOffset, xWeight, yWeight, columns);
  }
  if (path == ScalerPath::Sse2) {
    return blendBothSse2(out, top, below, xOffset, xWeight, yWeight, columns);
  }
#endif
  for (int i = 0; i < columns; ++i) {
    blendBothPixel(out + 4 * i, top, below, xOffset[i], xWeight[i], yWeight);
  }
}

}  // namespace scaler_rows
