// What a playback does with each decoded picture (write it out, compare it): the frame sink
// calls `consume` on the streaming thread for every frame, in stream order. A failure ends the
// playback; `failure` then says what went wrong, for the one-line message. Portable.
#pragma once

#include <string>

#include "common/portable.h"
#include "tools/zelkrec/rgb_picture.h"

class FrameConsumer {
 public:
  virtual ~FrameConsumer() = default;

  virtual HRESULT consume(const RgbPicture& picture) = 0;
  virtual std::string failure() const = 0;
};
