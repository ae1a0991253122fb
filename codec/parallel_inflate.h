// A large record's content inflated on two threads at once when its zlib stream was written
// in independent pieces (as ParallelDeflater writes them): the first piece ends with a full
// flush, an empty stored block whose length bytes 00 00 FF FF begin the second piece on a byte
// boundary with no history. The cut is only trusted once both halves prove it: the first
// ends exactly there between blocks with exactly half the content, the second inflates with
// no reference back into the first, and the joined Adler-32 is the stream's. Anything else
// (another writer's stream, a broken one) is read as one stream, so the result is always
// exactly what a single inflation gives. Portable: no <windows.h>. Not thread-safe itself;
// it runs its own thread for the length of one call.
#pragma once

#include <zlib.h>

#include <cstddef>
#include <cstdint>

#include "codec/zlib_streams.h"

namespace codec {

class ParallelInflater {
 public:
  // Content below this many bytes is not worth the thread.
  static constexpr size_t kMinimumBytes = size_t{1} << 19;

  ParallelInflater() = default;
  ~ParallelInflater();
  ParallelInflater(const ParallelInflater&) = delete;
  ParallelInflater& operator=(const ParallelInflater&) = delete;

  // True when the zlib stream in `compressed` inflates to exactly `outLength` bytes in `out`
  // and ends there. `out` may be written either way.
  bool inflate(const uint8_t* compressed, size_t length, uint8_t* out, size_t outLength);

  // As inflate(), on two threads, but true only when the stream is cut in two at half its
  // content and the cut proves sound; false (with `out` written or not) for any other stream.
  bool inflateAtTheCut(const uint8_t* compressed, size_t length, uint8_t* out, size_t outLength);

 private:
  Inflater whole_;
  RawInflateStream first_;
  RawInflateStream second_;
};

}  // namespace codec
