// zlib streams kept between samples: setting a stream up and tearing it down for every
// record costs more than compressing a small one. A reset stream writes exactly the bytes a
// fresh one (compress2 at the same level) writes, and reads exactly what uncompress reads.
// Portable: no <windows.h>. Not thread-safe; each filter owns its own.
#pragma once

#include <zlib.h>

#include <cstddef>
#include <cstdint>

namespace codec {

class Deflater {
 public:
  // `windowBits` as deflateInit2 takes them: MAX_WBITS writes zlib streams, -MAX_WBITS raw
  // deflate data (a piece of a stream joined elsewhere).
  explicit Deflater(int windowBits = MAX_WBITS) : windowBits_(windowBits) {}
  ~Deflater();
  Deflater(const Deflater&) = delete;
  Deflater& operator=(const Deflater&) = delete;

  // Compresses `length` bytes into at most `*capacity` bytes at `level`, ending with `flush`:
  // Z_FINISH ends the stream, Z_FULL_FLUSH ends a piece on a byte boundary for another to
  // follow. True with the bytes written in `*capacity`; false for a level zlib does not take,
  // no room or no memory.
  bool compress(const uint8_t* data, size_t length, uint8_t* out, size_t* capacity, int level,
                int flush = Z_FINISH);

 private:
  int windowBits_;
  z_stream stream_ = {};
  bool ready_ = false;
  int level_ = 0;
};

// Inflates one zlib stream in pieces, straight to where each piece belongs.
class Inflater {
 public:
  Inflater() = default;
  ~Inflater();
  Inflater(const Inflater&) = delete;
  Inflater& operator=(const Inflater&) = delete;

  // Starts on `length` compressed bytes; false when the stream cannot be set up.
  bool start(const uint8_t* compressed, size_t length);
  // The next `length` bytes of content into `out`; false when the stream is broken or ends
  // before.
  bool read(uint8_t* out, size_t length);
  // True when the stream ended exactly after what was read.
  bool finished();

 private:
  z_stream stream_ = {};
  bool ready_ = false;
  bool ended_ = false;
};

}  // namespace codec
