// The compressed screen frame stream "ZLKC": item type bytes, the pixel words, and the size
// rules the writer, the reader and the encoder filter's buffers rely on. A sample is a
// sequence of items: a one-byte clear marker, or a rectangle record (header, then one zlib
// stream of the rectangle's pixels, raw or as differences against the previous frame).
// Portable: no <windows.h>.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace codec {

// Pixels are little-endian 32-bit words; the codec reads and writes them as host words.
static_assert(std::endian::native == std::endian::little, "the codec needs a little-endian host");

inline constexpr uint32_t kFourCC = 0x434B4C5A;  // "ZLKC" read as a little-endian word

// Type bytes as written.
inline constexpr uint8_t kRawRectangle = 0x01;
inline constexpr uint8_t kDifferenceRectangle = 0x11;
inline constexpr uint8_t kClearMarker = 0x02;

// A reader dispatches on the item kind, the low four bits of the type byte; bit 0x10 of a
// rectangle's type selects the difference rule, the other high bits mean nothing.
inline constexpr uint8_t kItemKindMask = 0x0F;
inline constexpr uint8_t kRectangleKind = 0x01;
inline constexpr uint8_t kClearKind = 0x02;
inline constexpr uint8_t kDifferenceFlag = 0x10;

// Type, left, top, right, bottom, compressed byte count.
inline constexpr size_t kRecordHeaderBytes = 21;

// Frames carry 0 in the top byte, so a difference word with the top byte set marks a changed
// pixel even when the new value is black.
inline constexpr uint32_t kChangedMark = 0xFF000000u;
inline constexpr uint32_t kColourMask = 0x00FFFFFFu;

// The zlib output capacity a record's content of `contentBytes` is given at most.
constexpr size_t compressedCapacity(size_t contentBytes) {
  return contentBytes + contentBytes / 1000 + 12;
}

// Output sample size that holds a key sample of a frame of `frameBytes` (clear marker, header
// and the compressed capacity above), with room to spare.
constexpr size_t sampleCapacity(size_t frameBytes) { return frameBytes + frameBytes / 1000 + 268; }

// Buffers from media samples need not be word-aligned.
inline uint32_t loadPixel(const uint8_t* p) {
  uint32_t value;
  std::memcpy(&value, p, sizeof value);
  return value;
}

inline void storePixel(uint8_t* p, uint32_t value) { std::memcpy(p, &value, sizeof value); }

}  // namespace codec
