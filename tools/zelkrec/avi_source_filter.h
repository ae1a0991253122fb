// A push source that plays the first video stream of an AVI recording, for playback graphs
// that cannot use the system's AVI splitter (Wine's refuses streams it does not know, such as
// ZLKC). One output pin, "Output", offers exactly the file's video type: the subtype from the
// FOURCC or the bit count and masks, FORMAT_VideoInfo with the file's bitmap header and the
// stream's frame period, fixed-size samples for uncompressed video. The pin's worker thread
// delivers frame i as one sample stamped from i x period to (i + 1) x period, a sync point when
// the file marks it a key frame, and then ends the stream; each time the filter leaves the
// stopped state it starts again at the first frame. The recording is shared and read-only.
#pragma once

#include <memory>

#include "dshow/source.h"
#include "tools/zelkrec/avi_recording.h"

class AviSourceStream final : public CSourceStream {
 public:
  AviSourceStream(HRESULT* hr, CSource* filter, std::shared_ptr<const AviRecording> recording);

  HRESULT GetMediaType(CMediaType* type) override;
  using CSourceStream::GetMediaType;
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
  HRESULT FillBuffer(IMediaSample* sample) override;
  HRESULT OnThreadCreate() override;
  HRESULT OnThreadStartPlay() override;

 private:
  std::shared_ptr<const AviRecording> recording_;
  size_t largestFrame_ = 0;
  // The worker thread's alone.
  size_t next_ = 0;
};

class AviSourceFilter final : public CSource {
 public:
  explicit AviSourceFilter(std::shared_ptr<const AviRecording> recording);
};
