// An input media sample as the frame encoder's source frame, read in place while it is coded.
// It holds a reference to the sample until the encoder lets the frame go.
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
