// Transform filter: pin wiring, negotiation through the filter's hooks, and the per-sample
// receive step.
#include "dshow/transform.h"

#include <cwchar>

using Microsoft::WRL::ComPtr;

CTransformInputPin::CTransformInputPin(CTransformFilter* filter, HRESULT* hr, const wchar_t* name)
    : CBaseInputPin(filter, filter->filterLock(), hr, name), transform_(filter) {}

HRESULT CTransformInputPin::CheckConnect(IPin* pin) {
  HRESULT hr = transform_->CheckConnect(PINDIR_INPUT, pin);
  if (FAILED(hr)) return hr;
  return CBaseInputPin::CheckConnect(pin);
}

HRESULT CTransformInputPin::BreakConnect() {
  transform_->BreakConnect(PINDIR_INPUT);
  return CBaseInputPin::BreakConnect();
}

HRESULT CTransformInputPin::CompleteConnect(IPin* receivePin) {
  HRESULT hr = transform_->CompleteConnect(PINDIR_INPUT, receivePin);
  if (FAILED(hr)) return hr;
  return CBaseInputPin::CompleteConnect(receivePin);
}

HRESULT CTransformInputPin::CheckMediaType(const CMediaType* type) {
  HRESULT hr = transform_->CheckInputType(type);
  if (hr != S_OK) return hr;
  // A reconnection must still suit the connected output.
  CTransformOutputPin* output = transform_->OutputPin();
  if (output && output->IsConnected()) {
    return transform_->CheckTransform(type, &output->CurrentMediaType());
  }
  return S_OK;
}

HRESULT CTransformInputPin::SetMediaType(const CMediaType* type) {
  HRESULT hr = CBaseInputPin::SetMediaType(type);
  if (FAILED(hr)) return hr;
  return transform_->SetMediaType(PINDIR_INPUT, type);
}

HRESULT CTransformInputPin::Receive(IMediaSample* sample) {
  CAutoLock lock(transform_->ReceiveLock());
  HRESULT hr = CBaseInputPin::Receive(sample);
  if (hr != S_OK) return hr;
  return transform_->Receive(sample);
}

HRESULT CTransformInputPin::EndOfStream() {
  CAutoLock lock(transform_->ReceiveLock());
  HRESULT hr = CheckStreaming();
  if (hr != S_OK) return hr;
  return transform_->EndOfStream();
}

HRESULT CTransformInputPin::BeginFlush() {
  CAutoLock lock(lock_);
  if (!IsConnected() || !transform_->OutputPin()->IsConnected()) return VFW_E_NOT_CONNECTED;
  HRESULT hr = CBaseInputPin::BeginFlush();
  if (FAILED(hr)) return hr;
  return transform_->BeginFlush();
}

HRESULT CTransformInputPin::EndFlush() {
  CAutoLock lock(lock_);
  if (!IsConnected() || !transform_->OutputPin()->IsConnected()) return VFW_E_NOT_CONNECTED;
  HRESULT hr = transform_->EndFlush();
  if (FAILED(hr)) return hr;
  return CBaseInputPin::EndFlush();
}

HRESULT CTransformInputPin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
  CBaseInputPin::NewSegment(start, stop, rate);
  return transform_->NewSegment(start, stop, rate);
}

CTransformOutputPin::CTransformOutputPin(CTransformFilter* filter, HRESULT* hr, const wchar_t* name)
    : CBaseOutputPin(filter, filter->filterLock(), hr, name), transform_(filter) {}

HRESULT CTransformOutputPin::CheckConnect(IPin* pin) {
  // The output type derives from the input type.
  if (!transform_->InputPin()->IsConnected()) return E_UNEXPECTED;
  HRESULT hr = transform_->CheckConnect(PINDIR_OUTPUT, pin);
  if (FAILED(hr)) return hr;
  return CBaseOutputPin::CheckConnect(pin);
}

HRESULT CTransformOutputPin::BreakConnect() {
  transform_->BreakConnect(PINDIR_OUTPUT);
  return CBaseOutputPin::BreakConnect();
}

HRESULT CTransformOutputPin::CompleteConnect(IPin* receivePin) {
  HRESULT hr = transform_->CompleteConnect(PINDIR_OUTPUT, receivePin);
  if (FAILED(hr)) return hr;
  return CBaseOutputPin::CompleteConnect(receivePin);
}

HRESULT CTransformOutputPin::CheckMediaType(const CMediaType* type) {
  CTransformInputPin* input = transform_->InputPin();
  if (!input->IsConnected()) return E_INVALIDARG;
  return transform_->CheckTransform(&input->CurrentMediaType(), type);
}

HRESULT CTransformOutputPin::SetMediaType(const CMediaType* type) {
  HRESULT hr = CBaseOutputPin::SetMediaType(type);
  if (FAILED(hr)) return hr;
  return transform_->SetMediaType(PINDIR_OUTPUT, type);
}

HRESULT CTransformOutputPin::GetMediaType(int position, CMediaType* type) {
  if (!transform_->InputPin()->IsConnected()) return E_UNEXPECTED;
  return transform_->GetMediaType(position, type);
}

HRESULT CTransformOutputPin::DecideBufferSize(IMemAllocator* allocator,
                                              ALLOCATOR_PROPERTIES* request) {
  return transform_->DecideBufferSize(allocator, request);
}

HRESULT CTransformOutputPin::Notify(IBaseFilter* sender, Quality quality) {
  if (transform_->AlterQuality(quality) == S_OK) return S_OK;
  // Not handled here: upstream may be able to do something about it.
  IPin* upstream = transform_->InputPin()->GetConnected();
  if (!upstream) return VFW_E_NOT_FOUND;
  ComPtr<IQualityControl> control;
  if (FAILED(upstream->QueryInterface(IID_PPV_ARGS(&control)))) return VFW_E_NOT_FOUND;
  return control->Notify(transform_, quality);
}

CTransformFilter::CTransformFilter(const wchar_t* name, IUnknown* outer, const CLSID& clsid)
    : CBaseFilter(name, outer, &filterLock_, clsid) {}

CTransformFilter::~CTransformFilter() = default;

void CTransformFilter::SetPins(std::unique_ptr<CTransformInputPin> input,
                               std::unique_ptr<CTransformOutputPin> output) {
  input_ = std::move(input);
  output_ = std::move(output);
}

bool CTransformFilter::ensurePins() {
  if (input_ && output_) return true;
  HRESULT hr = S_OK;
  input_ = std::make_unique<CTransformInputPin>(this, &hr, L"XForm In");
  output_ = std::make_unique<CTransformOutputPin>(this, &hr, L"XForm Out");
  if (FAILED(hr)) {
    input_.reset();
    output_.reset();
    return false;
  }
  return true;
}

CBasePin* CTransformFilter::GetPin(int index) {
  CAutoLock lock(&filterLock_);
  if (!ensurePins()) return nullptr;
  if (index == 0) return input_.get();
  if (index == 1) return output_.get();
  return nullptr;
}

HRESULT CTransformFilter::FindPin(LPCWSTR id, IPin** pin) {
  if (!id || !pin) return E_POINTER;
  *pin = nullptr;
  if (std::wcscmp(id, L"In") == 0) {
    *pin = GetPin(0);
  } else if (std::wcscmp(id, L"Out") == 0) {
    *pin = GetPin(1);
  } else {
    return VFW_E_NOT_FOUND;
  }
  if (!*pin) return E_OUTOFMEMORY;
  (*pin)->AddRef();
  return S_OK;
}

HRESULT CTransformFilter::Stop() {
  CAutoLock lock(&filterLock_);
  if (state_ == State_Stopped) return S_OK;
  if (!ensurePins()) return E_OUTOFMEMORY;
  // No more samples in; wait for one in progress; then release the output buffers.
  input_->Inactive();
  CAutoLock receive(&receiveLock_);
  output_->Inactive();
  HRESULT hr = StopStreaming();
  state_ = State_Stopped;
  return hr;
}

HRESULT CTransformFilter::Pause() {
  CAutoLock lock(&filterLock_);
  if (!ensurePins()) return E_OUTOFMEMORY;
  if (state_ == State_Paused) return S_OK;
  if (!input_->IsConnected()) {
    // Nothing will arrive: let downstream complete.
    if (output_->IsConnected()) output_->DeliverEndOfStream();
  } else if (state_ == State_Stopped) {
    CAutoLock receive(&receiveLock_);
    HRESULT hr = StartStreaming();
    if (FAILED(hr)) return hr;
  }
  return CBaseFilter::Pause();
}

HRESULT CTransformFilter::Transform(IMediaSample*, IMediaSample*) { return E_UNEXPECTED; }

HRESULT CTransformFilter::InitializeOutputSample(IMediaSample* in, IMediaSample** out) {
  REFERENCE_TIME start = 0;
  REFERENCE_TIME stop = 0;
  HRESULT timeResult = in->GetTime(&start, &stop);
  const bool hasStart = SUCCEEDED(timeResult);
  const bool hasStop = timeResult == S_OK;
  DWORD flags = 0;
  if (sampleSkipped_) flags |= AM_GBF_PREVFRAMESKIPPED;
  if (in->IsSyncPoint() != S_OK) flags |= AM_GBF_NOTASYNCPOINT;

  IMediaSample* sample = nullptr;
  HRESULT hr = output_->GetDeliveryBuffer(&sample, hasStart ? &start : nullptr,
                                          hasStop ? &stop : nullptr, flags);
  if (FAILED(hr)) return hr;
  if (hasStop) {
    sample->SetTime(&start, &stop);
  } else if (hasStart) {
    sample->SetTime(&start, nullptr);
  }
  sample->SetSyncPoint(in->IsSyncPoint() == S_OK);
  sample->SetPreroll(in->IsPreroll() == S_OK);
  sample->SetDiscontinuity(sampleSkipped_ || in->IsDiscontinuity() == S_OK);
  LONGLONG mediaStart = 0;
  LONGLONG mediaStop = 0;
  if (in->GetMediaTime(&mediaStart, &mediaStop) == S_OK)
    sample->SetMediaTime(&mediaStart, &mediaStop);
  sampleSkipped_ = false;
  *out = sample;
  return S_OK;
}

HRESULT CTransformFilter::Receive(IMediaSample* sample) {
  IMemInputPin* downstream = output_->ConnectedInputPin();
  if (!downstream) return VFW_E_NOT_CONNECTED;
  IMediaSample* out = nullptr;
  HRESULT hr = InitializeOutputSample(sample, &out);
  if (FAILED(hr)) return hr;
  hr = Transform(sample, out);
  if (hr == S_OK) {
    hr = downstream->Receive(out);
  } else if (hr == S_FALSE) {
    // Not delivered (preroll, nothing to show): the next output marks the gap.
    sampleSkipped_ = true;
    hr = S_OK;
  }
  out->Release();
  return hr;
}

HRESULT CTransformFilter::EndOfStream() { return output_->DeliverEndOfStream(); }
HRESULT CTransformFilter::BeginFlush() { return output_->DeliverBeginFlush(); }
HRESULT CTransformFilter::EndFlush() { return output_->DeliverEndFlush(); }

HRESULT CTransformFilter::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
  return output_->DeliverNewSegment(start, stop, rate);
}
