// Compressing one zlib stream in independent pieces on several threads.
#include "codec/parallel_deflate.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <thread>

#include "codec/adler32.h"
#include "codec/frame_format.h"
#include "codec/zlib_streams.h"

namespace codec {

// One piece's raw deflate stream, kept between calls, and what it made last.
struct ParallelDeflater::Piece {
  Deflater deflater{-MAX_WBITS};  // the zlib header and trailer are the joined stream's
  std::vector<uint8_t> out;
  size_t written = 0;
  uLong adler = 1;
  bool ok = false;

  void deflatePiece(const uint8_t* data, size_t length, int level, bool last) {
    ok = false;
    if (length > std::numeric_limits<uInt>::max()) return;
    // Room for stored blocks and the flush marker should the piece not compress.
    const size_t room = compressedCapacity(length) + 16;
    if (out.size() < room) out.resize(room);
    written = out.size();
    if (!deflater.compress(data, length, out.data(), &written, level,
                           last ? Z_FINISH : Z_FULL_FLUSH)) {
      return;
    }
    adler = adler32Update(1, data, length);
    ok = true;
  }
};

ParallelDeflater::ParallelDeflater(unsigned pieces) {
  for (unsigned i = 0; i < std::max(pieces, 2u); ++i) pieces_.push_back(std::make_unique<Piece>());
}

ParallelDeflater::~ParallelDeflater() = default;

namespace {

// The two header bytes deflateInit writes for `level` with a 32 KB window.
void zlibHeader(int level, uint8_t* out) {
  unsigned header = (Z_DEFLATED + ((MAX_WBITS - 8) << 4)) << 8;
  const unsigned levelFlags = level < 2 ? 0 : level < 6 ? 1 : level == 6 ? 2 : 3;
  header |= levelFlags << 6;
  header += 31 - header % 31;
  out[0] = static_cast<uint8_t>(header >> 8);
  out[1] = static_cast<uint8_t>(header);
}

}  // namespace

bool ParallelDeflater::compress(const uint8_t* data, size_t length, uint8_t* out,
                                size_t* capacity, int level) {
  if (level < 0 || level > 9) return false;
  const size_t count = pieces_.size();
  // Pieces of whole pixels.
  const size_t share = (length / count) & ~size_t{3};
  std::vector<std::thread> helpers;
  try {
    for (size_t i = 1; i < count; ++i) {
      const size_t start = share * i;
      const size_t pieceLength = i + 1 == count ? length - start : share;
      helpers.emplace_back([this, i, data, start, pieceLength, level, count] {
        pieces_[i]->deflatePiece(data + start, pieceLength, level, i + 1 == count);
      });
    }
  } catch (...) {
    // No thread to be had: the caller codes the content as one stream.
    for (std::thread& helper : helpers) helper.join();
    return false;
  }
  pieces_[0]->deflatePiece(data, share, level, false);
  for (std::thread& helper : helpers) helper.join();

  size_t total = 2 + 4;
  uLong adler = adler32(0, nullptr, 0);
  for (size_t i = 0; i < count; ++i) {
    if (!pieces_[i]->ok) return false;
    total += pieces_[i]->written;
    const size_t pieceLength = i + 1 == count ? length - share * i : share;
    adler = adler32_combine(adler, pieces_[i]->adler, static_cast<z_off_t>(pieceLength));
  }
  if (total > *capacity) return false;
  zlibHeader(level, out);
  size_t offset = 2;
  for (const auto& piece : pieces_) {
    std::memcpy(out + offset, piece->out.data(), piece->written);
    offset += piece->written;
  }
  for (int shift = 24; shift >= 0; shift -= 8) out[offset++] = static_cast<uint8_t>(adler >> shift);
  *capacity = offset;
  return true;
}

}  // namespace codec
