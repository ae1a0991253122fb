// Compares the pictures a playback delivers with the frames of a reference recording, frame i
// with frame i, and keeps what the summary needs: the frames seen, how many differ and the
// first difference (frame, pixel and both colours, or both sizes). The reference must be
// uncompressed; its bytes and contents outlive the check. The frame sink calls `consume` on
// the streaming thread; the summary is read once the playback has stopped. Portable.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "tools/zelkrec/avi_reader.h"
#include "tools/zelkrec/frame_consumer.h"

class ReferenceCheck final : public FrameConsumer {
 public:
  struct Difference {
    long long frame = 0;
    bool sizeDiffers = false;
    int x = 0;
    int y = 0;
    std::array<std::uint8_t, 3> played{};
    std::array<std::uint8_t, 3> reference{};
    int playedWidth = 0;
    int playedHeight = 0;
  };

  // `layout` is the reference stream's bitmap layout.
  ReferenceCheck(std::span<const std::uint8_t> file, const AviContents& reference,
                 const BitmapLayout& layout);

  HRESULT consume(const RgbPicture& picture) override;
  std::string failure() const override { return failure_; }

  long long framesPlayed() const { return framesPlayed_; }
  // Same number of frames, and every one the same.
  bool identical() const;
  // One line: "30 frames of 800 x 600, all identical", or the first difference ("frame 3
  // differs at pixel (12, 40): ...") and how many frames differ, and the frame counts when
  // they differ.
  std::string summary() const;

 private:
  std::span<const std::uint8_t> file_;
  const AviContents& reference_;
  BitmapLayout layout_;
  RgbPicture expected_;
  long long framesPlayed_ = 0;
  long long framesDiffering_ = 0;
  std::optional<Difference> first_;
  std::string failure_;
};
