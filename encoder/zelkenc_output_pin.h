// The encoder's output pin "Output". While active and connected it owns an output queue for
// the connected pin, and end-of-stream, flush and new-segment notifications go through it, so
// a downstream pin that blocks (a file writer, say) holds up the queue's thread rather than
// the upstream streaming thread; samples still go to the downstream pin directly. The graph's
// thread activates and deactivates the pin under the filter lock; notifications arrive on the
// streaming thread (end of stream, new segment) or the graph's thread (flush).
#pragma once

#include <memory>

#include "dshow/critsec.h"
#include "dshow/output_queue.h"
#include "dshow/transform.h"

class ZelkencOutputPin final : public CTransformOutputPin {
 public:
  ZelkencOutputPin(CTransformFilter* filter, HRESULT* hr);

  // Applications look for a compressor's settings on its output pin too.
  HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override;

  HRESULT Active() override;
  HRESULT Inactive() override;

  HRESULT DeliverEndOfStream() override;
  HRESULT DeliverBeginFlush() override;
  HRESULT DeliverEndFlush() override;
  HRESULT DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

 private:
  // Guards queue_: notifications come from other threads than activation.
  CCritSec queueLock_;
  std::unique_ptr<COutputQueue> queue_;
};
