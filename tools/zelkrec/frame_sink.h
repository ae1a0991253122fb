// The end of a playback graph: a renderer with one input pin, "In", that takes uncompressed RGB
// video (16, 24 or 32 bits, either row order), turns every sample into a top-down RGB picture
// and hands it to a frame consumer, as fast as frames come (no clock). The upstream streaming
// thread calls Receive and EndOfStream; a consumer failure ends the stream with EC_ERRORABORT.
// The command waits on `ended`, which end of stream sets: the graph's own EC_COMPLETE may not
// reach it while the graph is still pausing, and a short file can end before it runs.
#pragma once

#include <windows.h>
#include <dshow.h>

#include <atomic>
#include <string>

#include "common/win_raii.h"
#include "dshow/base_filter.h"
#include "dshow/input_pin.h"
#include "tools/zelkrec/frame_consumer.h"

class FrameSink;

// The layout of a video type's bitmap, or why it cannot be shown.
BitmapLayoutResult videoLayout(const CMediaType& type);

class FrameSinkPin final : public CBaseInputPin {
 public:
  FrameSinkPin(FrameSink* filter, CCritSec* lock, HRESULT* hr);

  HRESULT CheckMediaType(const CMediaType* type) override;
  HRESULT SetMediaType(const CMediaType* type) override;
  HRESULT STDMETHODCALLTYPE Receive(IMediaSample* sample) override;
  HRESULT STDMETHODCALLTYPE EndOfStream() override;

 private:
  FrameSink* sink_;
  // The streaming thread's alone while connected.
  BitmapLayout layout_;
  RgbPicture picture_;
};

class FrameSink final : public CBaseFilter {
 public:
  // `consumer` outlives the filter.
  explicit FrameSink(FrameConsumer* consumer);

  int GetPinCount() override { return 1; }
  CBasePin* GetPin(int index) override { return index == 0 ? &pin_ : nullptr; }

  HANDLE ended() const { return ended_.get(); }
  long long frames() const { return frames_; }
  // Why the stream was ended, once it stopped after EC_ERRORABORT from here.
  const std::string& failure() const { return failure_; }

 private:
  friend class FrameSinkPin;

  CCritSec filterLock_;
  FrameSinkPin pin_;
  FrameConsumer* consumer_;
  UniqueHandle ended_;
  std::atomic<long long> frames_{0};
  std::string failure_;  // written on the streaming thread, read after it stopped
};
