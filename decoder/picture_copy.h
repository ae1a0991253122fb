// Copies the decoder's reconstructed picture into an output buffer whose rows may be wider
// than the picture, either in the codec's row order (bottom-up bitmaps) or flipped for a
// top-down one. Only the picture's own width of each output row is written. Portable: no
// <windows.h>.
#pragma once

#include <cstddef>
#include <cstdint>

// `pixels` holds `height` rows of `width` words; `target` holds `height` rows of `pitch`
// bytes, pitch >= width * 4.
void copyPicture(const uint32_t* pixels, int32_t width, int32_t height, uint8_t* target,
                 size_t pitch, bool topDown);
