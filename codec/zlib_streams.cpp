// zlib streams kept between samples.
#include "codec/zlib_streams.h"

#include <algorithm>
#include <limits>

#include "codec/adler32.h"

namespace codec {

Deflater::~Deflater() {
  if (ready_) deflateEnd(&stream_);
}

bool Deflater::compress(const uint8_t* data, size_t length, uint8_t* out, size_t* capacity,
                        int level, int flush) {
  // One deflate call takes uInt counts.
  if (length > std::numeric_limits<uInt>::max()) return false;
  const size_t room = std::min<size_t>(*capacity, std::numeric_limits<uInt>::max());
  if (ready_ && level != level_) {
    deflateEnd(&stream_);
    ready_ = false;
  }
  if (!ready_) {
    stream_ = {};
    // As deflateInit sets a stream up, so that the bytes are compress2's.
    if (deflateInit2(&stream_, level, Z_DEFLATED, windowBits_, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
      return false;
    }
    ready_ = true;
    level_ = level;
  } else if (deflateReset(&stream_) != Z_OK) {
    return false;
  }
  stream_.next_in = const_cast<Bytef*>(data);
  stream_.avail_in = static_cast<uInt>(length);
  stream_.next_out = out;
  stream_.avail_out = static_cast<uInt>(room);
  const int result = deflate(&stream_, flush);
  // A flush that filled the room to the last byte may not be complete.
  const bool done = flush == Z_FINISH
                        ? result == Z_STREAM_END
                        : result == Z_OK && stream_.avail_in == 0 && stream_.avail_out > 0;
  if (!done) return false;
  *capacity = room - stream_.avail_out;
  return true;
}

RawInflateStream::~RawInflateStream() {
  if (ready_) inflateEnd(&stream_);
}

bool RawInflateStream::reset() {
  if (ready_) return inflateReset(&stream_) == Z_OK;
  stream_ = {};
  ready_ = inflateInit2(&stream_, -MAX_WBITS) == Z_OK;
  return ready_;
}

bool Inflater::inflate(const uint8_t* compressed, size_t length, uint8_t* out, size_t outLength) {
  constexpr size_t kHeaderBytes = 2, kTrailerBytes = 4;
  if (length < kHeaderBytes || !isPlainZlibHeader(compressed)) return false;
  if (length > std::numeric_limits<uInt>::max() || outLength > std::numeric_limits<uInt>::max()) {
    return false;
  }
  if (!raw_.reset()) return false;
  z_stream& stream = raw_.get();
  stream.next_in = const_cast<Bytef*>(compressed + kHeaderBytes);
  stream.avail_in = static_cast<uInt>(length - kHeaderBytes);
  stream.next_out = out;
  stream.avail_out = static_cast<uInt>(outLength);
  // One call: the content has its whole room, so zlib keeps no window copy.
  if (::inflate(&stream, Z_FINISH) != Z_STREAM_END || stream.avail_out != 0 ||
      stream.avail_in < kTrailerBytes) {
    return false;
  }
  return loadTrailer(stream.next_in) == adler32Update(1, out, outLength);
}

bool isPlainZlibHeader(const uint8_t* header) {
  return (header[0] & 0x0F) == Z_DEFLATED && (header[0] >> 4) <= MAX_WBITS - 8 &&
         (header[1] & 0x20) == 0 && ((header[0] << 8) | header[1]) % 31 == 0;
}

uint32_t loadTrailer(const uint8_t* trailer) {
  return (uint32_t{trailer[0]} << 24) | (uint32_t{trailer[1]} << 16) | (uint32_t{trailer[2]} << 8) |
         uint32_t{trailer[3]};
}

}  // namespace codec
