// Fuzz target for the compressed-frame reader, the decoder's attack surface: any sample, for
// any frame size up to 64 x 64, is applied twice (on a black picture, then on the picture
// it left) without reading or writing outside the reader's buffers.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "codec/frame_reader.h"
#include "zlkc_reader_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < zlkc_reader_input::kPrefixBytes) return 0;
  codec::FrameReader reader;
  if (reader.setSize(zlkc_reader_input::width(data), zlkc_reader_input::height(data)) != S_OK) {
    std::abort();
  }
  const std::uint8_t* sample = data + zlkc_reader_input::kPrefixBytes;
  const std::size_t length = size - zlkc_reader_input::kPrefixBytes;
  const bool syncPoint = zlkc_reader_input::syncPoint(data);
  reader.applySample(sample, length, syncPoint);
  reader.applySample(sample, length, false);
  return 0;
}
