// Adler-32: zlib's scalar loop, and an AVX2 path chosen at run time.
#include "codec/adler32.h"

#include <zlib.h>

#include <algorithm>
#include <limits>

#if defined(__x86_64__) || defined(_M_X64)
#define ZELK_ADLER_X86 1
#include <immintrin.h>
#endif

namespace codec {

namespace {

constexpr uint32_t kBase = 65521;

#if ZELK_ADLER_X86
// Over a block of 32 bytes b0..b31: s1 += sum(b), s2 += 32*s1 + sum((32 - i) * b_i). The
// vector sums run over chunks of whole blocks and are folded into s1 and s2 in 64 bits, so no
// lane can overflow for chunks far larger than the ones taken here.
constexpr size_t kChunkBlocks = 2048;

__attribute__((target("avx2"))) uint32_t adler32Avx2(uint32_t adler, const uint8_t* data,
                                                     size_t length) {
  uint64_t s1 = adler & 0xFFFF, s2 = adler >> 16;
  const __m256i weights =
      _mm256_setr_epi8(32, 31, 30, 29, 28, 27, 26, 25, 24, 23, 22, 21, 20, 19, 18, 17, 16, 15, 14,
                       13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1);
  const __m256i ones = _mm256_set1_epi16(1);
  const __m256i zero = _mm256_setzero_si256();
  while (length >= 32) {
    const size_t blocks = std::min(length / 32, kChunkBlocks);
    __m256i byteSums = zero;     // 64-bit lanes: the sum of the bytes so far
    __m256i earlierSums = zero;  // 64-bit lanes: byteSums as it stood before each block
    __m256i weighted = zero;     // 32-bit lanes: sum((32 - i) * b_i) per block
    for (size_t k = 0; k < blocks; ++k) {
      const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data));
      earlierSums = _mm256_add_epi64(earlierSums, byteSums);
      byteSums = _mm256_add_epi64(byteSums, _mm256_sad_epu8(bytes, zero));
      weighted =
          _mm256_add_epi32(weighted, _mm256_madd_epi16(_mm256_maddubs_epi16(bytes, weights), ones));
      data += 32;
    }
    alignas(32) uint64_t sums[4], earlier[4];
    alignas(32) uint32_t products[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(sums), byteSums);
    _mm256_store_si256(reinterpret_cast<__m256i*>(earlier), earlierSums);
    _mm256_store_si256(reinterpret_cast<__m256i*>(products), weighted);
    uint64_t sum = 0, earlierSum = 0, productSum = 0;
    for (int lane = 0; lane < 4; ++lane) {
      sum += sums[lane];
      earlierSum += earlier[lane];
    }
    for (uint32_t product : products) productSum += product;
    s2 = (s2 + 32 * blocks * s1 + 32 * earlierSum + productSum) % kBase;
    s1 = (s1 + sum) % kBase;
    length -= 32 * blocks;
  }
  return adler32UpdateScalar(static_cast<uint32_t>(s2 << 16 | s1), data, length);
}

bool hasAvx2() {
  static const bool has = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
  }();
  return has;
}
#endif

}  // namespace

uint32_t adler32UpdateScalar(uint32_t adler, const uint8_t* data, size_t length) {
  // zlib counts in uInt.
  constexpr size_t kMost = std::numeric_limits<uInt>::max();
  uLong sum = adler;
  while (length > 0) {
    const size_t piece = std::min(length, kMost);
    sum = adler32(sum, data, static_cast<uInt>(piece));
    data += piece;
    length -= piece;
  }
  return static_cast<uint32_t>(sum);
}

uint32_t adler32Update(uint32_t adler, const uint8_t* data, size_t length) {
#if ZELK_ADLER_X86
  if (hasAvx2()) return adler32Avx2(adler, data, length);
#endif
  return adler32UpdateScalar(adler, data, length);
}

}  // namespace codec
