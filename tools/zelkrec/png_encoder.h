// Encodes a picture as a PNG file image: 8-bit RGB, not interlaced, every row with filter
// type 0 and the whole image deflated by zlib in one call. Fast and lossless rather than small,
// for pictures that are looked at and compared. Portable (no <windows.h>).
#pragma once

#include <cstdint>
#include <vector>

#include "tools/zelkrec/rgb_picture.h"

// The file's bytes; false when zlib fails (out of memory) or the picture is empty.
bool encodePng(const RgbPicture& picture, std::vector<std::uint8_t>* file);
