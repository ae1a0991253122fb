// The encoder's input pin "Input". It asks the upstream allocator for enough buffers to let the
// producer work ahead (best effort), and says that Receive may block (the
// output queue's thread and the downstream pin may hold it up). Called by the upstream pin on
// the graph's thread (NotifyAllocator) and the streaming thread (ReceiveCanBlock).
#pragma once

#include "dshow/transform.h"

class ZelkencInputPin final : public CTransformInputPin {
 public:
  // The buffers asked of the upstream allocator: the sample being coded and room for the
  // producer to work ahead.
  static constexpr LONG kMinimumBuffers = 4;

  ZelkencInputPin(CTransformFilter* filter, HRESULT* hr);

  HRESULT STDMETHODCALLTYPE NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) override;
  HRESULT STDMETHODCALLTYPE ReceiveCanBlock() override { return S_OK; }
};
