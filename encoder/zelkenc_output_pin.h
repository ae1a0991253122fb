// The encoder's output pin "Output". While active and connected it owns an output queue for
// the connected pin, and end-of-stream, flush and new-segment notifications go through it, so
// a downstream pin that blocks (a file writer, say) holds up the queue's thread rather than
// the upstream streaming thread; samples still go to the downstream pin directly. The graph's
// thread activates and deactivates the pin; notifications arrive on the streaming thread (end
// of stream, new segment) or the graph's thread (flush).
#pragma once

#include "dshow/queued_output_pin.h"
#include "dshow/transform.h"

class ZelkencOutputPin final : public CQueuedOutputPin<CTransformOutputPin> {
 public:
  ZelkencOutputPin(CTransformFilter* filter, HRESULT* hr);

  // Applications look for a compressor's settings on its output pin too.
  HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override;
};
