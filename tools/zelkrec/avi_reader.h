// Reads the first video stream of a RIFF AVI file from the file's bytes: the stream's format
// (its bitmap header kept as the file holds it, plus the fields the player needs) and where each
// of its frames lies, with its key-frame flag from the `idx1` index, or found by scanning `movi`
// when there is no usable index. Recordings over the first RIFF's size continue in `RIFF AVIX`
// parts, whose frames are scanned too. The reader trusts nothing in the file: every size is
// checked against its parent list, so a hostile file gives a one-line error and never a read
// outside the bytes. Portable (no <windows.h>), so that it builds natively for its unit tests.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

struct AviVideoFormat {
  // The stream's position among the file's streams; its chunks are named by it ("00dc").
  std::uint32_t streamNumber = 0;
  std::uint32_t handler = 0;     // the stream header's fccHandler
  std::int64_t framePeriod = 0;  // 100-ns units
  // The stream format chunk as it is (a BITMAPINFOHEADER and any masks or palette after it).
  std::vector<std::uint8_t> header;
  std::int32_t width = 0;
  std::int32_t height = 0;  // negative for top-down rows
  std::uint16_t bitCount = 0;
  std::uint32_t compression = 0;  // BI_RGB (0), BI_BITFIELDS (3) or a FOURCC
  std::uint32_t imageSize = 0;

  bool uncompressed() const { return compression == 0 || compression == 3; }
};

struct AviFrame {
  std::uint64_t offset = 0;  // of the frame's first byte in the file
  std::uint32_t size = 0;
  bool key = false;
};

struct AviContents {
  AviVideoFormat video;
  std::vector<AviFrame> frames;
  bool indexed = false;  // the key-frame flags come from the file's index
};

struct AviReadResult {
  AviContents contents;
  std::string error;  // empty when the file was read

  bool ok() const { return error.empty(); }
};

// Frames come in file order. Without an index every frame of an uncompressed stream is a key
// frame, and of a compressed one only the first. In an uncompressed stream a chunk of size 0
// (how writers mark a dropped frame) repeats the frame before it, so it gets that frame's bytes.
AviReadResult readAvi(std::span<const std::uint8_t> file);

// The bytes of `frame`, which came from reading the same `file`.
std::span<const std::uint8_t> frameBytes(std::span<const std::uint8_t> file, const AviFrame& frame);
