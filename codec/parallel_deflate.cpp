// Compressing one zlib stream in independent pieces on several threads.
#include "codec/parallel_deflate.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <thread>

namespace codec {

// One piece's raw deflate stream, kept between calls, and what it made last.
struct ParallelDeflater::Piece {
  z_stream stream = {};
  bool ready = false;
  int level = 0;
  std::vector<uint8_t> out;
  size_t written = 0;
  uLong adler = 1;
  bool ok = false;

  ~Piece() {
    if (ready) deflateEnd(&stream);
  }

  void deflatePiece(const uint8_t* data, size_t length, int wantedLevel, bool last) {
    ok = false;
    if (length > std::numeric_limits<uInt>::max()) return;
    if (ready && level != wantedLevel) {
      deflateEnd(&stream);
      ready = false;
    }
    if (!ready) {
      stream = {};
      // Raw deflate: the zlib header and trailer are the joined stream's.
      if (deflateInit2(&stream, wantedLevel, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) !=
          Z_OK) {
        return;
      }
      ready = true;
      level = wantedLevel;
    } else if (deflateReset(&stream) != Z_OK) {
      return;
    }
    const size_t bound = deflateBound(&stream, static_cast<uLong>(length)) + 16;
    if (bound > std::numeric_limits<uInt>::max()) return;
    if (out.size() < bound) out.resize(bound);
    stream.next_in = const_cast<Bytef*>(data);
    stream.avail_in = static_cast<uInt>(length);
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    // A full flush ends the piece on a byte boundary with no block marked final.
    const int result = deflate(&stream, last ? Z_FINISH : Z_FULL_FLUSH);
    if (result != (last ? Z_STREAM_END : Z_OK) || stream.avail_in != 0) return;
    written = out.size() - stream.avail_out;
    adler = adler32(adler32(0, nullptr, 0), data, static_cast<uInt>(length));
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
