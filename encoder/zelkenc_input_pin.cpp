// The encoder's input pin: the allocator demand.
#include "encoder/zelkenc_input_pin.h"

#include "encoder/buffer_count.h"

ZelkencInputPin::ZelkencInputPin(CTransformFilter* filter, HRESULT* hr)
    : CTransformInputPin(filter, hr, L"Input") {}

HRESULT ZelkencInputPin::NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) {
  HRESULT hr = CTransformInputPin::NotifyAllocator(allocator, readOnly);
  if (FAILED(hr)) return hr;
  // Best effort: the encoder copies its reference frame and works with any number.
  RaiseBufferCount(allocator, kMinimumBuffers);
  return S_OK;
}
