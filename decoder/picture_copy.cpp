// The decoder's output copy, one block move per row.
#include "decoder/picture_copy.h"

#include <cstring>

void copyPicture(const uint32_t* pixels, int32_t width, int32_t height, uint8_t* target,
                 size_t pitch, bool topDown) {
  const size_t rowBytes = static_cast<size_t>(width) * 4;
  for (int32_t row = 0; row < height; ++row) {
    const size_t outputRow = static_cast<size_t>(topDown ? height - 1 - row : row);
    std::memcpy(target + outputRow * pitch, pixels + static_cast<size_t>(row) * width, rowBytes);
  }
}
