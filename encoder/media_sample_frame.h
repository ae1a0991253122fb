// An input media sample as the frame encoder's source frame. It holds a reference to the
// sample, so the encoder's reference frame is the upstream buffer itself, not a copy; the
// buffer goes back to its allocator when the encoder lets the frame go.
#pragma once

#include <windows.h>
#include <strmif.h>
#include <wrl/client.h>

#include "codec/source_frame.h"

class MediaSampleFrame final : public codec::SourceFrame {
 public:
  // `data` is the sample's buffer, as GetPointer gave it.
  MediaSampleFrame(IMediaSample* sample, BYTE* data) : sample_(sample), data_(data) {}

  uint8_t* data() override { return data_; }
  size_t length() const override {
    const LONG actual = sample_->GetActualDataLength();
    return actual > 0 ? static_cast<size_t>(actual) : 0;
  }

 private:
  Microsoft::WRL::ComPtr<IMediaSample> sample_;
  BYTE* data_;
};
