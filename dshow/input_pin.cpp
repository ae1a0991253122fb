// Sample reception and flushing of an input pin.
#include "dshow/input_pin.h"

#include "dshow/allocator.h"

using Microsoft::WRL::ComPtr;

CBaseInputPin::CBaseInputPin(CBaseFilter* filter, CCritSec* lock, HRESULT* hr, const wchar_t* name)
    : CUnknownWith(filter, lock, hr, name, PINDIR_INPUT) {}

HRESULT CBaseInputPin::NonDelegatingQueryInterface(REFIID iid, void** object) {
  if (iid == IID_IMemInputPin) return GetInterface(static_cast<IMemInputPin*>(this), object);
  return CBasePin::NonDelegatingQueryInterface(iid, object);
}

HRESULT CBaseInputPin::BreakConnect() {
  allocator_.Reset();
  readOnly_ = false;
  return CBasePin::BreakConnect();
}

HRESULT CBaseInputPin::Inactive() {
  runtimeError_ = false;
  flushing_ = false;
  return CBasePin::Inactive();
}

HRESULT CBaseInputPin::GetAllocator(IMemAllocator** allocator) {
  if (!allocator) return E_POINTER;
  CAutoLock lock(lock_);
  if (!allocator_) {
    HRESULT hr = CreateMemAllocator(&allocator_);
    if (FAILED(hr)) return hr;
  }
  *allocator = allocator_.Get();
  (*allocator)->AddRef();
  return S_OK;
}

HRESULT CBaseInputPin::NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) {
  if (!allocator) return E_POINTER;
  CAutoLock lock(lock_);
  allocator_ = allocator;
  readOnly_ = readOnly != FALSE;
  return S_OK;
}

HRESULT CBaseInputPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES*) { return E_NOTIMPL; }

HRESULT CBaseInputPin::CheckStreaming() {
  if (IsStopped()) return VFW_E_WRONG_STATE;
  if (flushing_) return S_FALSE;
  if (runtimeError_) return VFW_E_RUNTIME_ERROR;
  return S_OK;
}

HRESULT CBaseInputPin::Receive(IMediaSample* sample) {
  if (!sample) return E_POINTER;
  HRESULT hr = CheckStreaming();
  if (hr != S_OK) return hr;

  AM_MEDIA_TYPE* changed = nullptr;
  if (sample->GetMediaType(&changed) == S_OK && changed) {
    CMediaType type(*changed);
    DeleteMediaType(changed);
    if (CheckMediaType(&type) != S_OK) {
      runtimeError_ = true;
      filter_->NotifyEvent(EC_ERRORABORT, VFW_E_TYPE_NOT_ACCEPTED, 0);
      return VFW_E_INVALIDMEDIATYPE;
    }
  }
  return S_OK;
}

HRESULT CBaseInputPin::ReceiveMultiple(IMediaSample** samples, LONG count, LONG* processed) {
  if (!samples || !processed) return E_POINTER;
  *processed = 0;
  HRESULT hr = S_OK;
  while (*processed < count) {
    hr = Receive(samples[*processed]);
    if (hr != S_OK) break;
    ++*processed;
  }
  return hr;
}

HRESULT CBaseInputPin::ReceiveCanBlock() {
  int outputs = 0;
  for (int i = 0; i < filter_->GetPinCount(); ++i) {
    CBasePin* pin = filter_->GetPin(i);
    PIN_DIRECTION direction;
    if (!pin || FAILED(pin->QueryDirection(&direction)) || direction != PINDIR_OUTPUT) continue;
    IPin* downstream = pin->GetConnected();
    if (!downstream) continue;
    ++outputs;
    ComPtr<IMemInputPin> input;
    if (FAILED(downstream->QueryInterface(IID_PPV_ARGS(&input)))) return S_OK;
    if (input->ReceiveCanBlock() != S_FALSE) return S_OK;
  }
  return outputs == 0 ? S_OK : S_FALSE;
}

HRESULT CBaseInputPin::BeginFlush() {
  flushing_ = true;
  return S_OK;
}

HRESULT CBaseInputPin::EndFlush() {
  flushing_ = false;
  runtimeError_ = false;
  return S_OK;
}

HRESULT CBaseInputPin::EndOfStream() {
  return CheckStreaming() == VFW_E_WRONG_STATE ? VFW_E_WRONG_STATE : S_OK;
}
