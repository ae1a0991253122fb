// The encoder's input pin "Input". It makes sure the upstream allocator has enough buffers for
// the one the encoder keeps as its reference frame, and says that Receive may block (the
// output queue's thread and the downstream pin may hold it up). Called by the upstream pin on
// the graph's thread (NotifyAllocator) and the streaming thread (ReceiveCanBlock).
#pragma once

#include "dshow/transform.h"

class ZelkencInputPin final : public CTransformInputPin {
 public:
  // The buffers the upstream allocator needs at least: the reference frame, the sample being
  // coded, and room for the producer to work ahead.
  static constexpr LONG kMinimumBuffers = 4;

  ZelkencInputPin(CTransformFilter* filter, HRESULT* hr);

  HRESULT STDMETHODCALLTYPE NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) override;
  HRESULT STDMETHODCALLTYPE ReceiveCanBlock() override { return S_OK; }
};
