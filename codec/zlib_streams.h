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

// A raw deflate stream for inflating (no zlib header or trailer), kept between calls.
class RawInflateStream {
 public:
  RawInflateStream() = default;
  ~RawInflateStream();
  RawInflateStream(const RawInflateStream&) = delete;
  RawInflateStream& operator=(const RawInflateStream&) = delete;

  // Sets the stream up the first time and resets it after; false when out of memory.
  bool reset();
  z_stream& get() { return stream_; }

 private:
  z_stream stream_ = {};
  bool ready_ = false;
};

// Inflates one zlib stream in one call, straight to where its content belongs. The deflate
// data go through zlib; the header and the trailer are checked here, as zlib checks them, so
// that the trailer's Adler-32 is taken on the vector path.
class Inflater {
 public:
  // True when the zlib stream in `compressed` inflates to exactly `outLength` bytes in `out`
  // and its trailer holds their Adler-32. `out` may be written either way.
  bool inflate(const uint8_t* compressed, size_t length, uint8_t* out, size_t outLength);

 private:
  RawInflateStream raw_;
};

// A zlib header that inflate() accepts with a 32 KB window and no preset dictionary.
bool isPlainZlibHeader(const uint8_t* header);

// The Adler-32 in the four bytes of a zlib trailer.
uint32_t loadTrailer(const uint8_t* trailer);

}  // namespace codec
