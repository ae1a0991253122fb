// The bounding box of the pixels that differ between a frame and the one before it, which is
// all a difference sample needs to carry. Portable: no <windows.h>.
#pragma once

#include <cstdint>

#include "codec/frame_rect.h"

namespace codec {

// Both frames are `rows` rows of `width` 32-bit pixels, no padding. The box shrinks from the
// full frame: rows from the top and bottom first, then columns within the remaining rows.
// (0, 0, 0, 0) when nothing differs.
FrameRect findChangedRect(const uint8_t* current, const uint8_t* previous, int32_t width,
                          int32_t rows);

// The same box where only the colours count: `current` may carry anything in its top bytes,
// `reference` has them cleared.
FrameRect findChangedColours(const uint8_t* current, const uint8_t* reference, int32_t width,
                             int32_t rows);

}  // namespace codec
