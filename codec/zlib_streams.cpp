// zlib streams kept between samples.
#include "codec/zlib_streams.h"

#include <algorithm>
#include <limits>

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

Inflater::~Inflater() {
  if (ready_) inflateEnd(&stream_);
}

bool Inflater::start(const uint8_t* compressed, size_t length) {
  if (length > std::numeric_limits<uInt>::max()) return false;
  if (!ready_) {
    stream_ = {};
    if (inflateInit(&stream_) != Z_OK) return false;
    ready_ = true;
  } else if (inflateReset(&stream_) != Z_OK) {
    return false;
  }
  stream_.next_in = const_cast<Bytef*>(compressed);
  stream_.avail_in = static_cast<uInt>(length);
  ended_ = false;
  return true;
}

bool Inflater::read(uint8_t* out, size_t length) {
  if (length > std::numeric_limits<uInt>::max()) return false;
  stream_.next_out = out;
  stream_.avail_out = static_cast<uInt>(length);
  while (stream_.avail_out > 0) {
    if (ended_) return false;
    const int result = inflate(&stream_, Z_NO_FLUSH);
    if (result == Z_STREAM_END) {
      ended_ = true;
    } else if (result != Z_OK) {
      return false;
    }
  }
  return true;
}

bool Inflater::finished() {
  if (ended_) return true;
  // The stream may end with no content left: let zlib see its last bytes.
  uint8_t spare;
  stream_.next_out = &spare;
  stream_.avail_out = 1;
  const int result = inflate(&stream_, Z_NO_FLUSH);
  ended_ = result == Z_STREAM_END && stream_.avail_out == 1;
  return ended_;
}

}  // namespace codec
