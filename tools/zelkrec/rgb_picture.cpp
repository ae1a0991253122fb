// Bitmap layouts and their conversion to top-down RGB.
#include "tools/zelkrec/rgb_picture.h"

namespace {

constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiBitfields = 3;
constexpr size_t kBitmapHeaderSize = 40;
// The three masks of BI_BITFIELDS follow a 40-byte header, and are the fields at the same
// place in the longer header versions.
constexpr size_t kMasksOffset = 40;

std::uint32_t word(std::span<const std::uint8_t> bytes, size_t offset) {
  return static_cast<std::uint32_t>(bytes[offset]) |
         static_cast<std::uint32_t>(bytes[offset + 1]) << 8 |
         static_cast<std::uint32_t>(bytes[offset + 2]) << 16 |
         static_cast<std::uint32_t>(bytes[offset + 3]) << 24;
}

bool masksAre(std::span<const std::uint8_t> header, std::uint32_t red, std::uint32_t green,
              std::uint32_t blue) {
  return word(header, kMasksOffset) == red && word(header, kMasksOffset + 4) == green &&
         word(header, kMasksOffset + 8) == blue;
}

// Five or six bits widened to eight, so that full intensity stays full.
std::uint8_t widen5(unsigned value) { return static_cast<std::uint8_t>(value << 3 | value >> 2); }
std::uint8_t widen6(unsigned value) { return static_cast<std::uint8_t>(value << 2 | value >> 4); }

}  // namespace

BitmapLayoutResult bitmapLayout(std::span<const std::uint8_t> header) {
  BitmapLayoutResult result;
  if (header.size() < kBitmapHeaderSize) {
    result.error = "the bitmap header is only " + std::to_string(header.size()) + " bytes";
    return result;
  }
  const auto width = static_cast<std::int32_t>(word(header, 4));
  const auto height = static_cast<std::int32_t>(word(header, 8));
  const unsigned bitCount = static_cast<unsigned>(header[14] | header[15] << 8);
  const std::uint32_t compression = word(header, 16);
  if (width <= 0 || width > kMaxPictureSide || height == 0 || height < -kMaxPictureSide ||
      height > kMaxPictureSide) {
    result.error = "the picture size " + std::to_string(width) + " x " + std::to_string(height) +
                   " is outside 1 to " + std::to_string(kMaxPictureSide) + " pixels a side";
    return result;
  }

  using Pixels = BitmapLayout::Pixels;
  BitmapLayout& layout = result.layout;
  const bool haveMasks = header.size() >= kMasksOffset + 12;
  if (compression == kBiRgb && bitCount == 32) {
    layout.pixels = Pixels::Bgr32;
  } else if (compression == kBiRgb && bitCount == 24) {
    layout.pixels = Pixels::Bgr24;
  } else if (compression == kBiRgb && bitCount == 16) {
    layout.pixels = Pixels::Rgb555;
  } else if (compression == kBiBitfields && haveMasks && bitCount == 32 &&
             masksAre(header, 0xFF0000, 0xFF00, 0xFF)) {
    layout.pixels = Pixels::Bgr32;
  } else if (compression == kBiBitfields && haveMasks && bitCount == 16 &&
             masksAre(header, 0xF800, 0x07E0, 0x001F)) {
    layout.pixels = Pixels::Rgb565;
  } else if (compression == kBiBitfields && haveMasks && bitCount == 16 &&
             masksAre(header, 0x7C00, 0x03E0, 0x001F)) {
    layout.pixels = Pixels::Rgb555;
  } else if (compression == kBiRgb || compression == kBiBitfields) {
    result.error = "bitmaps of " + std::to_string(bitCount) +
                   " bits with these masks or a palette are not read (16, 24 and 32-bit RGB are)";
    return result;
  } else {
    result.error = "the bitmap is compressed";
    return result;
  }
  layout.width = width;
  layout.height = height < 0 ? -height : height;
  layout.topDown = height < 0;
  layout.stride = (static_cast<size_t>(width) * bitCount + 31) / 32 * 4;
  return result;
}

bool convertToRgb(const BitmapLayout& layout, std::span<const std::uint8_t> bits,
                  RgbPicture* picture) {
  if (bits.size() < layout.imageBytes()) return false;
  picture->width = layout.width;
  picture->height = layout.height;
  picture->pixels.resize(static_cast<size_t>(layout.width) * layout.height * 3);
  for (int y = 0; y < layout.height; ++y) {
    // Bottom-up bitmaps hold the picture's last row first.
    const size_t row = layout.topDown ? y : layout.height - 1 - y;
    const std::uint8_t* source = bits.data() + row * layout.stride;
    std::uint8_t* target = picture->pixels.data() + static_cast<size_t>(y) * layout.width * 3;
    for (int x = 0; x < layout.width; ++x, target += 3) {
      switch (layout.pixels) {
        case BitmapLayout::Pixels::Bgr32:
        case BitmapLayout::Pixels::Bgr24:
          target[0] = source[2];
          target[1] = source[1];
          target[2] = source[0];
          source += layout.pixels == BitmapLayout::Pixels::Bgr32 ? 4 : 3;
          break;
        case BitmapLayout::Pixels::Rgb565: {
          const unsigned value = source[0] | source[1] << 8;
          target[0] = widen5(value >> 11);
          target[1] = widen6((value >> 5) & 0x3F);
          target[2] = widen5(value & 0x1F);
          source += 2;
          break;
        }
        case BitmapLayout::Pixels::Rgb555: {
          const unsigned value = source[0] | source[1] << 8;
          target[0] = widen5((value >> 10) & 0x1F);
          target[1] = widen5((value >> 5) & 0x1F);
          target[2] = widen5(value & 0x1F);
          source += 2;
          break;
        }
      }
    }
  }
  return true;
}
