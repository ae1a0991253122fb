// Allocator buffer-count demand of the encoder's input.
#include "encoder/buffer_count.h"

#include <vfwmsgs.h>

HRESULT RaiseBufferCount(IMemAllocator* allocator, LONG minimum) {
  if (!allocator) return E_FAIL;
  ALLOCATOR_PROPERTIES wanted = {};
  if (FAILED(allocator->GetProperties(&wanted))) return E_FAIL;
  if (wanted.cBuffers >= minimum) return S_OK;
  wanted.cBuffers = minimum;

  ALLOCATOR_PROPERTIES actual = {};
  HRESULT hr = allocator->SetProperties(&wanted, &actual);
  if (hr == VFW_E_ALREADY_COMMITTED || hr == E_UNEXPECTED) {
    hr = allocator->Decommit();
    if (SUCCEEDED(hr)) hr = allocator->SetProperties(&wanted, &actual);
    const HRESULT committed = allocator->Commit();
    if (FAILED(committed)) hr = committed;
  }
  if (FAILED(hr) || actual.cBuffers < minimum) return E_FAIL;
  return S_OK;
}
