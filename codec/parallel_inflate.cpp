// Inflating a zlib stream cut by a full flush on two threads, checked to read as one stream.
#include "codec/parallel_inflate.h"

#include <algorithm>
#include <limits>
#include <system_error>
#include <thread>

#include "codec/adler32.h"

namespace codec {

namespace {

constexpr uint8_t kFullFlushMarker[] = {0x00, 0x00, 0xFF, 0xFF};

bool twoCores() {
  static const bool two = std::thread::hardware_concurrency() >= 2;
  return two;
}

}  // namespace

ParallelInflater::~ParallelInflater() = default;

bool ParallelInflater::inflate(const uint8_t* compressed, size_t length, uint8_t* out,
                               size_t outLength) {
  if (outLength >= kMinimumBytes && twoCores() &&
      inflateAtTheCut(compressed, length, out, outLength)) {
    return true;
  }
  return whole_.inflate(compressed, length, out, outLength);
}

bool ParallelInflater::inflateAtTheCut(const uint8_t* compressed, size_t length, uint8_t* out,
                                       size_t outLength) {
  // Header, at least one byte of each piece, the marker and the trailer.
  if (length < 2 + 1 + sizeof kFullFlushMarker + 1 + 4 || !isPlainZlibHeader(compressed)) {
    return false;
  }
  if (length > std::numeric_limits<uInt>::max() || outLength > std::numeric_limits<uInt>::max()) {
    return false;
  }
  const uint8_t* end = compressed + length;
  const uint8_t* marker = std::search(compressed + 2, end - 4, std::begin(kFullFlushMarker),
                                      std::end(kFullFlushMarker));
  if (marker == end - 4) return false;
  const uint8_t* cut = marker + sizeof kFullFlushMarker;
  // The writer cuts the content at half, in whole pixels.
  const size_t firstLength = (outLength / 2) & ~size_t{3};
  const size_t secondLength = outLength - firstLength;
  if (!first_.reset() || !second_.reset()) return false;

  bool secondReadsAlone = false;
  uint32_t secondAdler = 0;
  auto inflateSecond = [&] {
    z_stream& stream = second_.get();
    stream.next_in = const_cast<Bytef*>(cut);
    stream.avail_in = static_cast<uInt>(end - cut);
    stream.next_out = out + firstLength;
    stream.avail_out = static_cast<uInt>(secondLength);
    // A reference back into the first piece fails here, as a raw stream has no history.
    secondReadsAlone = ::inflate(&stream, Z_FINISH) == Z_STREAM_END && stream.avail_out == 0 &&
                       stream.avail_in >= 4;
    if (secondReadsAlone) secondAdler = adler32Update(1, out + firstLength, secondLength);
  };
  std::thread helper;
  try {
    helper = std::thread(inflateSecond);
  } catch (const std::system_error&) {
    return false;
  }

  z_stream& stream = first_.get();
  stream.next_in = const_cast<Bytef*>(compressed + 2);
  stream.avail_in = static_cast<uInt>(cut - (compressed + 2));
  stream.next_out = out;
  stream.avail_out = static_cast<uInt>(firstLength);
  const int result = ::inflate(&stream, Z_NO_FLUSH);
  // Every byte taken, exactly half the content made, and stopped between blocks (not in the
  // last one) with no bits left over: where the second piece begins, a single inflation
  // would be in the same state.
  // data_type: 128 between blocks, plus 64 in the last block, plus the bits left over.
  constexpr int kBetweenBlocksWithNoBitsLeft = 128;
  const bool firstEndsAtTheCut = (result == Z_OK || result == Z_BUF_ERROR) &&
                                 stream.avail_in == 0 && stream.avail_out == 0 &&
                                 stream.data_type == kBetweenBlocksWithNoBitsLeft;
  const uint32_t firstAdler = firstEndsAtTheCut ? adler32Update(1, out, firstLength) : 0;
  helper.join();
  if (!firstEndsAtTheCut || !secondReadsAlone) return false;

  return adler32_combine(firstAdler, secondAdler, static_cast<z_off_t>(secondLength)) ==
         loadTrailer(second_.get().next_in);
}

}  // namespace codec
