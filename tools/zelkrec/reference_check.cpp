// Frame-by-frame comparison against a reference recording.
#include "tools/zelkrec/reference_check.h"

#include <algorithm>
#include <cstring>

namespace {

std::string size(int width, int height) {
  return std::to_string(width) + " x " + std::to_string(height);
}

std::string colour(const std::array<std::uint8_t, 3>& rgb) {
  return "(" + std::to_string(rgb[0]) + ", " + std::to_string(rgb[1]) + ", " +
         std::to_string(rgb[2]) + ")";
}

std::string frames(long long count) {
  return std::to_string(count) + (count == 1 ? " frame" : " frames");
}

}  // namespace

ReferenceCheck::ReferenceCheck(std::span<const std::uint8_t> file, const AviContents& reference,
                               const BitmapLayout& layout)
    : file_(file), reference_(reference), layout_(layout) {}

HRESULT ReferenceCheck::consume(const RgbPicture& picture) {
  const long long index = framesPlayed_++;
  if (index >= static_cast<long long>(reference_.frames.size())) return S_OK;
  const AviFrame& frame = reference_.frames[index];
  if (!convertToRgb(layout_, frameBytes(file_, frame), &expected_)) {
    failure_ = "frame " + std::to_string(index) + " of the reference holds " +
               std::to_string(frame.size) + " bytes, less than a picture of " +
               size(layout_.width, layout_.height) + " needs (" +
               std::to_string(layout_.imageBytes()) + ")";
    return E_FAIL;
  }

  Difference difference;
  difference.frame = index;
  difference.playedWidth = picture.width;
  difference.playedHeight = picture.height;
  if (picture.width != expected_.width || picture.height != expected_.height) {
    difference.sizeDiffers = true;
  } else if (std::memcmp(picture.pixels.data(), expected_.pixels.data(), picture.pixels.size()) ==
             0) {
    return S_OK;
  } else {
    // Rows top-down, left to right: the first pixel a viewer reading the picture would meet.
    size_t at = 0;
    while (std::memcmp(picture.pixels.data() + at, expected_.pixels.data() + at, 3) == 0) at += 3;
    difference.x = static_cast<int>(at / 3 % picture.width);
    difference.y = static_cast<int>(at / 3 / picture.width);
    std::memcpy(difference.played.data(), picture.pixels.data() + at, 3);
    std::memcpy(difference.reference.data(), expected_.pixels.data() + at, 3);
  }
  ++framesDiffering_;
  if (!first_) first_ = difference;
  return S_OK;
}

bool ReferenceCheck::identical() const {
  return !first_ && framesPlayed_ == static_cast<long long>(reference_.frames.size());
}

std::string ReferenceCheck::summary() const {
  const long long referenceFrames = static_cast<long long>(reference_.frames.size());
  const std::string counts =
      frames(framesPlayed_) + " here, " + frames(referenceFrames) + " in the reference";
  if (!first_) {
    if (framesPlayed_ == referenceFrames) {
      return frames(framesPlayed_) + " of " + size(layout_.width, layout_.height) +
             ", all identical";
    }
    const long long common = std::min(framesPlayed_, referenceFrames);
    std::string text = "the frame counts differ (" + counts + ")";
    if (common == 1) text += "; the first frame is identical";
    if (common > 1) text += "; the first " + frames(common) + " are identical";
    return text;
  }
  const Difference& d = *first_;
  std::string text = "frame " + std::to_string(d.frame);
  if (d.sizeDiffers) {
    text += " is " + size(d.playedWidth, d.playedHeight) + ", the reference's " +
            size(layout_.width, layout_.height);
  } else {
    text += " differs at pixel (" + std::to_string(d.x) + ", " + std::to_string(d.y) +
            "): " + colour(d.played) + " here, " + colour(d.reference) + " in the reference";
  }
  text += "; " + std::to_string(framesDiffering_) + " of " +
          frames(std::min(framesPlayed_, referenceFrames)) +
          (framesDiffering_ == 1 ? " differs" : " differ");
  if (framesPlayed_ != referenceFrames) text += "; " + counts;
  return text;
}
