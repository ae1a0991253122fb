// The layout of a reader fuzz input, shared by the fuzz target and the corpus generator: the
// frame width - 1 and height - 1 (low six bits each), a flags byte (bit 0: the sample is a
// sync point), then the sample bytes. Frames stay small so that clears cost little and the
// fuzzer runs many inputs; the bounds checks do not depend on the size.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zlkc_reader_input {

inline constexpr size_t kPrefixBytes = 3;
inline constexpr uint8_t kSyncPoint = 0x01;

inline constexpr int32_t kMaxSide = 64;

inline int32_t width(const uint8_t* prefix) { return 1 + prefix[0] % kMaxSide; }
inline int32_t height(const uint8_t* prefix) { return 1 + prefix[1] % kMaxSide; }
inline bool syncPoint(const uint8_t* prefix) { return (prefix[2] & kSyncPoint) != 0; }

}  // namespace zlkc_reader_input
