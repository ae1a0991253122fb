// Allocator negotiation and delivery of an output pin.
#include "dshow/output_pin.h"

#include "dshow/allocator.h"

using Microsoft::WRL::ComPtr;

CBaseOutputPin::CBaseOutputPin(CBaseFilter* filter, CCritSec* lock, HRESULT* hr,
                               const wchar_t* name)
    : CBasePin(filter, lock, hr, name, PINDIR_OUTPUT) {}

HRESULT CBaseOutputPin::CheckConnect(IPin* pin) {
  HRESULT hr = CBasePin::CheckConnect(pin);
  if (FAILED(hr)) return hr;
  ComPtr<IMemInputPin> input;
  hr = pin->QueryInterface(IID_PPV_ARGS(&input));
  if (FAILED(hr)) return E_NOINTERFACE;
  inputPin_ = input;
  return S_OK;
}

HRESULT CBaseOutputPin::CompleteConnect(IPin*) {
  ComPtr<IMemAllocator> allocator;
  HRESULT hr = DecideAllocator(inputPin_.Get(), &allocator);
  if (FAILED(hr)) return hr;
  allocator_ = allocator;
  return S_OK;
}

HRESULT CBaseOutputPin::BreakConnect() {
  if (allocator_) {
    allocator_->Decommit();
    allocator_.Reset();
  }
  inputPin_.Reset();
  return S_OK;
}

HRESULT CBaseOutputPin::trySetUp(IMemInputPin* inputPin, IMemAllocator* allocator,
                                 ALLOCATOR_PROPERTIES* request) {
  HRESULT hr = DecideBufferSize(allocator, request);
  if (FAILED(hr)) return hr;
  return inputPin->NotifyAllocator(allocator, FALSE);
}

HRESULT CBaseOutputPin::DecideAllocator(IMemInputPin* inputPin, IMemAllocator** allocator) {
  if (!inputPin || !allocator) return E_POINTER;
  *allocator = nullptr;
  ALLOCATOR_PROPERTIES request = {};
  inputPin->GetAllocatorRequirements(&request);  // E_NOTIMPL leaves it zeroed
  if (request.cbAlign == 0) request.cbAlign = 1;

  ComPtr<IMemAllocator> candidate;
  if (SUCCEEDED(inputPin->GetAllocator(&candidate)) && candidate) {
    ALLOCATOR_PROPERTIES props = request;
    if (SUCCEEDED(trySetUp(inputPin, candidate.Get(), &props))) {
      *allocator = candidate.Detach();
      return S_OK;
    }
  }
  candidate.Reset();
  HRESULT hr = InitAllocator(&candidate);
  if (FAILED(hr)) return hr;
  ALLOCATOR_PROPERTIES props = request;
  hr = trySetUp(inputPin, candidate.Get(), &props);
  if (FAILED(hr)) return hr;
  *allocator = candidate.Detach();
  return S_OK;
}

HRESULT CBaseOutputPin::InitAllocator(IMemAllocator** allocator) {
  return CreateMemAllocator(allocator);
}

HRESULT CBaseOutputPin::Active() {
  if (!allocator_) return VFW_E_NO_ALLOCATOR;
  return allocator_->Commit();
}

HRESULT CBaseOutputPin::Inactive() {
  if (!allocator_) return VFW_E_NO_ALLOCATOR;
  return allocator_->Decommit();
}

HRESULT CBaseOutputPin::GetDeliveryBuffer(IMediaSample** sample, REFERENCE_TIME* start,
                                          REFERENCE_TIME* stop, DWORD flags) {
  if (!sample) return E_POINTER;
  *sample = nullptr;
  if (!allocator_) return VFW_E_NO_ALLOCATOR;
  return allocator_->GetBuffer(sample, start, stop, flags);
}

HRESULT CBaseOutputPin::Deliver(IMediaSample* sample) {
  if (!inputPin_) return VFW_E_NOT_CONNECTED;
  return inputPin_->Receive(sample);
}

HRESULT CBaseOutputPin::DeliverEndOfStream() {
  if (!connected_) return VFW_E_NOT_CONNECTED;
  return connected_->EndOfStream();
}

HRESULT CBaseOutputPin::DeliverBeginFlush() {
  if (!connected_) return VFW_E_NOT_CONNECTED;
  return connected_->BeginFlush();
}

HRESULT CBaseOutputPin::DeliverEndFlush() {
  if (!connected_) return VFW_E_NOT_CONNECTED;
  return connected_->EndFlush();
}

HRESULT CBaseOutputPin::DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
  if (!connected_) return VFW_E_NOT_CONNECTED;
  return connected_->NewSegment(start, stop, rate);
}
