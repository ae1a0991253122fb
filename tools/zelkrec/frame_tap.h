// A pass-through filter between the capture pin and the mux that shows every frame to the
// frame counter: video in, the same type out, each sample copied once. Wine's Sample Grabber
// cannot serve here, since it does not pass its upstream allocator on to the AVI Mux, whose
// own sample allocator then has no properties and the graph fails to pause (VFW_E_BADALIGN).
// It also ends the recording exactly: frames past the target are dropped, and once the
// recorder closes the tap nothing reaches the mux, which Wine's mux needs while it stops (a
// sample arriving during its stop crashes it). The upstream streaming thread calls Receive and
// Transform; the recorder's thread calls close; the counter outlives the graph. With a
// picture consumer it also hands over every frame it lets through, as the file gets it (before
// any encoder), so a recording can be checked against what was captured.
#pragma once

#include <windows.h>
#include <dshow.h>

#include "dshow/transform.h"
#include "tools/zelkrec/frame_consumer.h"
#include "tools/zelkrec/frame_counter.h"
#include "tools/zelkrec/rgb_picture.h"

class FrameTap final : public CTransformFilter {
 public:
  // `pictures` may be null; it outlives the graph like the counter.
  FrameTap(FrameCounter* counter, FrameConsumer* pictures);

  HRESULT CheckInputType(const CMediaType* in) override;
  HRESULT CheckTransform(const CMediaType* in, const CMediaType* out) override;
  HRESULT GetMediaType(int position, CMediaType* type) override;
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
  HRESULT Transform(IMediaSample* in, IMediaSample* out) override;
  HRESULT Receive(IMediaSample* sample) override;
  HRESULT SetMediaType(PIN_DIRECTION direction, const CMediaType* type) override;

  // Lets no more samples through; returns once none is on its way downstream.
  void close();

 private:
  HRESULT handOver(const BYTE* frame, long length);

  FrameCounter* counter_;
  FrameConsumer* pictures_;
  BitmapLayout layout_;
  RgbPicture picture_;
  CCritSec gateLock_;
  bool closed_ = false;
};
