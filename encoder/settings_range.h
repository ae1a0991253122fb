// The encoder's two settings as applications see them and as the filter stores them: quality
// is a fraction between 0 and 1 outside, a zlib level inside; keyframe rates are kept to what
// a byte can count.
#pragma once

#include <cstdint>

namespace settings_range {

constexpr int32_t kDefaultKeyframeRate = 30;
constexpr int32_t kLargestKeyframeRate = 255;
constexpr double kDefaultQuality = 1.0;

// Out of range, and not a number at all, ask for the strongest compression.
inline int32_t levelForQuality(double quality) {
  if (!(quality >= 0.0 && quality <= 1.0)) quality = kDefaultQuality;
  const int32_t level = static_cast<int32_t>(quality * 10.0 - 1.0);
  return level < 0 ? 0 : level > 9 ? 9 : level;
}

// Levels read back as 0.1 ... 1.0; stored levels beyond zlib's are reported at the ends.
inline double qualityOfLevel(int32_t level) {
  const double quality = (static_cast<double>(level) + 1.0) * 0.1;
  return quality < 0.0 ? 0.0 : quality > 1.0 ? 1.0 : quality;
}

inline int32_t keyframeRateInRange(long rate) {
  if (rate < 0) return kDefaultKeyframeRate;
  return rate > kLargestKeyframeRate ? kLargestKeyframeRate : static_cast<int32_t>(rate);
}

}  // namespace settings_range
