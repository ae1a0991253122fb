// An uncompressed frame handed to the encoder, which reads it while it codes it and then lets
// it go: the encoder filter wraps its input media sample (a reference, not a copy), tests wrap
// a byte vector. Portable: no <windows.h>.
#pragma once

#include <cstddef>
#include <cstdint>

namespace codec {

class SourceFrame {
 public:
  virtual ~SourceFrame() = default;

  // Rows of 32-bit pixels in memory order; the encoder ignores their top bytes and never
  // writes them.
  virtual uint8_t* data() = 0;

  // Bytes at data() that hold frame rows; a short frame codes only its complete rows.
  virtual size_t length() const = 0;
};

}  // namespace codec
