// A large record's content compressed on several threads at once, still as one zlib stream:
// the content is cut into pieces that are deflated independently (each but the last ends on a
// byte boundary with a full flush) and joined behind one zlib header, with the pieces'
// Adler-32 sums combined into the stream's. A piece loses only the history of the pieces
// before it; on screen content that costs well under 1% of size, and a large record takes
// about half as long on two cores. Portable: no <windows.h>. Not thread-safe
// itself; it runs its own threads for the length of one call.
#pragma once

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace codec {

class ParallelDeflater {
 public:
  // Content below this many bytes is not worth the threads.
  static constexpr size_t kMinimumBytes = size_t{1} << 19;

  // `pieces` pieces (at least 2) on as many threads, the caller's among them.
  explicit ParallelDeflater(unsigned pieces);
  ~ParallelDeflater();
  ParallelDeflater(const ParallelDeflater&) = delete;
  ParallelDeflater& operator=(const ParallelDeflater&) = delete;

  // As Deflater::compress: true with the bytes written in `*capacity`.
  bool compress(const uint8_t* data, size_t length, uint8_t* out, size_t* capacity, int level);

 private:
  struct Piece;
  std::vector<std::unique_ptr<Piece>> pieces_;
};

}  // namespace codec
