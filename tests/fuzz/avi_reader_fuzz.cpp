// Fuzz target for the player's AVI reader and picture conversion: any bytes as a file. Besides
// the sanitizers it checks that every frame the reader reports lies inside the bytes.
#include <cstddef>
#include <cstdint>

#include "tools/zelkrec/avi_reader.h"
#include "tools/zelkrec/rgb_picture.h"

namespace {

void check(bool condition) {
  if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const std::uint8_t> file(data, size);
  const AviReadResult read = readAvi(file);
  if (!read.ok()) return 0;
  check(read.contents.video.width > 0 && read.contents.video.height != 0);
  const BitmapLayoutResult layout = bitmapLayout(read.contents.video.header);
  RgbPicture picture;
  for (const AviFrame& frame : read.contents.frames) {
    check(frame.offset <= size && frame.size <= size - frame.offset);
    if (layout.ok()) convertToRgb(layout.layout, frameBytes(file, frame), &picture);
  }
  return 0;
}
