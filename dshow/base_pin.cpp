// Pin connection and media-type negotiation.
#include "dshow/base_pin.h"

#include "dshow/ref_counted.h"

#include <cstring>
#include <new>

using Microsoft::WRL::ComPtr;

namespace {

// Enumerates a pin's preferred types by asking the pin for each position on demand.
class CEnumMediaTypes final : public CRefCounted<IEnumMediaTypes, IID_IEnumMediaTypes> {
 public:
  CEnumMediaTypes(CBasePin* pin, int position) : pin_(pin), position_(position) {}

  HRESULT STDMETHODCALLTYPE Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) override {
    if (!types) return E_POINTER;
    if (count > 1 && !fetched) return E_INVALIDARG;
    ULONG done = 0;
    while (done < count) {
      CMediaType type;
      if (pin_->GetMediaType(position_, &type) != S_OK) break;
      AM_MEDIA_TYPE* copy = CreateMediaType(&type);
      if (!copy) {
        for (ULONG i = 0; i < done; ++i) DeleteMediaType(types[i]);
        if (fetched) *fetched = 0;
        return E_OUTOFMEMORY;
      }
      types[done++] = copy;
      ++position_;
    }
    if (fetched) *fetched = done;
    return done == count ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
    CMediaType type;
    for (ULONG i = 0; i < count; ++i) {
      if (pin_->GetMediaType(position_, &type) != S_OK) return S_FALSE;
      ++position_;
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Reset() override {
    position_ = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(IEnumMediaTypes** clone) override {
    if (!clone) return E_POINTER;
    *clone = new (std::nothrow) CEnumMediaTypes(pin_.Get(), position_);
    return *clone ? S_OK : E_OUTOFMEMORY;
  }

 private:
  ~CEnumMediaTypes() override = default;

  ComPtr<CBasePin> pin_;
  int position_;
};

bool isTypeRefusal(HRESULT hr) {
  return hr == S_FALSE || hr == E_FAIL || hr == E_INVALIDARG || hr == VFW_E_TYPE_NOT_ACCEPTED ||
         hr == VFW_E_INVALIDMEDIATYPE || hr == VFW_E_NO_ACCEPTABLE_TYPES;
}

}  // namespace

CBasePin::CBasePin(CBaseFilter* filter, CCritSec* lock, HRESULT* hr, const wchar_t* name,
                   PIN_DIRECTION direction)
    : CUnknownImpl(nullptr),
      filter_(filter),
      lock_(lock),
      name_(name ? name : L""),
      direction_(direction) {}

CBasePin::~CBasePin() = default;

HRESULT CBasePin::NonDelegatingQueryInterface(REFIID iid, void** object) {
  if (iid == IID_IPin) return GetInterface(static_cast<IPin*>(this), object);
  if (iid == IID_IQualityControl) return GetInterface(static_cast<IQualityControl*>(this), object);
  return CUnknownImpl::NonDelegatingQueryInterface(iid, object);
}

// The filter holds the one reference count of itself and its pins.
ULONG CBasePin::NonDelegatingAddRef() { return filter_->AddRef(); }
ULONG CBasePin::NonDelegatingRelease() { return filter_->Release(); }

HRESULT CBasePin::GetMediaType(int position, CMediaType*) {
  return position < 0 ? E_INVALIDARG : VFW_S_NO_MORE_ITEMS;
}

HRESULT CBasePin::SetMediaType(const CMediaType* type) { return mediaType_.Set(*type); }

HRESULT CBasePin::CheckConnect(IPin* pin) {
  PIN_DIRECTION other;
  HRESULT hr = pin->QueryDirection(&other);
  if (FAILED(hr)) return hr;
  return other == direction_ ? VFW_E_INVALID_DIRECTION : S_OK;
}

HRESULT CBasePin::CompleteConnect(IPin*) { return S_OK; }
HRESULT CBasePin::BreakConnect() { return S_OK; }
HRESULT CBasePin::Active() { return S_OK; }
HRESULT CBasePin::Inactive() { return S_OK; }
HRESULT CBasePin::Run(REFERENCE_TIME) { return S_OK; }

HRESULT CBasePin::Connect(IPin* receivePin, const AM_MEDIA_TYPE* type) {
  if (!receivePin) return E_POINTER;
  CAutoLock lock(lock_);
  if (connected_) return VFW_E_ALREADY_CONNECTED;
  if (!IsStopped()) return VFW_E_NOT_STOPPED;
  if (!type) return AgreeMediaType(receivePin, nullptr);
  CMediaType wanted(*type);
  return AgreeMediaType(receivePin, &wanted);
}

HRESULT CBasePin::AgreeMediaType(IPin* receivePin, const CMediaType* type) {
  if (type && !type->IsPartiallySpecified()) {
    bool late = false;
    HRESULT hr = AttemptConnection(receivePin, type, &late);
    return !late && isTypeRefusal(hr) ? VFW_E_TYPE_NOT_ACCEPTED : hr;
  }
  // A failure after both sides accepted a type (allocator, surface...) says more than
  // "no acceptable types"; report it.
  HRESULT lateFailure = S_OK;
  ComPtr<IEnumMediaTypes> theirs;
  if (SUCCEEDED(receivePin->EnumMediaTypes(&theirs)) && theirs) {
    if (tryTypes(receivePin, type, theirs.Get(), &lateFailure) == S_OK) return S_OK;
  }
  ComPtr<IEnumMediaTypes> ours;
  if (SUCCEEDED(EnumMediaTypes(&ours))) {
    if (tryTypes(receivePin, type, ours.Get(), &lateFailure) == S_OK) return S_OK;
  }
  return FAILED(lateFailure) ? lateFailure : VFW_E_NO_ACCEPTABLE_TYPES;
}

HRESULT CBasePin::tryTypes(IPin* receivePin, const CMediaType* partial, IEnumMediaTypes* types,
                           HRESULT* lateFailure) {
  types->Reset();
  for (;;) {
    AM_MEDIA_TYPE* next = nullptr;
    ULONG fetched = 0;
    if (types->Next(1, &next, &fetched) != S_OK || fetched != 1) return S_FALSE;
    CMediaType candidate(*next);
    DeleteMediaType(next);
    if (partial && !candidate.MatchesPartial(partial)) continue;
    bool late = false;
    HRESULT hr = AttemptConnection(receivePin, &candidate, &late);
    if (hr == S_OK) return S_OK;
    if (late || !isTypeRefusal(hr)) *lateFailure = hr;
  }
}

HRESULT CBasePin::AttemptConnection(IPin* receivePin, const CMediaType* type, bool* late) {
  if (late) *late = false;
  HRESULT hr = CheckConnect(receivePin);
  if (FAILED(hr)) {
    BreakConnect();
    return hr;
  }
  hr = CheckMediaType(type);
  if (hr != S_OK) {
    BreakConnect();
    return FAILED(hr) ? hr : VFW_E_TYPE_NOT_ACCEPTED;
  }
  hr = SetMediaType(type);
  if (FAILED(hr)) {
    BreakConnect();
    return hr;
  }
  connected_ = receivePin;
  hr = receivePin->ReceiveConnection(this, type);
  if (FAILED(hr)) {
    connected_.Reset();
    BreakConnect();
    return hr;
  }
  hr = CompleteConnect(receivePin);
  if (FAILED(hr)) {
    receivePin->Disconnect();
    connected_.Reset();
    BreakConnect();
    if (late) *late = true;
    return hr;
  }
  return S_OK;
}

HRESULT CBasePin::ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) {
  if (!connector || !type) return E_POINTER;
  CAutoLock lock(lock_);
  if (connected_) return VFW_E_ALREADY_CONNECTED;
  if (!IsStopped()) return VFW_E_NOT_STOPPED;
  HRESULT hr = CheckConnect(connector);
  if (FAILED(hr)) {
    BreakConnect();
    return hr;
  }
  CMediaType offered(*type);
  hr = CheckMediaType(&offered);
  if (hr != S_OK) {
    BreakConnect();
    return FAILED(hr) ? hr : VFW_E_TYPE_NOT_ACCEPTED;
  }
  hr = SetMediaType(&offered);
  if (FAILED(hr)) {
    BreakConnect();
    return hr;
  }
  connected_ = connector;
  hr = CompleteConnect(connector);
  if (FAILED(hr)) {
    connected_.Reset();
    BreakConnect();
    return hr;
  }
  return S_OK;
}

HRESULT CBasePin::Disconnect() {
  CAutoLock lock(lock_);
  if (!IsStopped()) return VFW_E_NOT_STOPPED;
  if (!connected_) return S_FALSE;
  HRESULT hr = BreakConnect();
  if (FAILED(hr)) return hr;
  connected_.Reset();
  mediaType_.InitMediaType();
  return S_OK;
}

HRESULT CBasePin::ConnectedTo(IPin** pin) {
  if (!pin) return E_POINTER;
  CAutoLock lock(lock_);
  *pin = connected_.Get();
  if (!*pin) return VFW_E_NOT_CONNECTED;
  (*pin)->AddRef();
  return S_OK;
}

HRESULT CBasePin::ConnectionMediaType(AM_MEDIA_TYPE* type) {
  if (!type) return E_POINTER;
  CAutoLock lock(lock_);
  if (!connected_) {
    std::memset(type, 0, sizeof(*type));
    return VFW_E_NOT_CONNECTED;
  }
  return CopyMediaType(type, &mediaType_);
}

HRESULT CBasePin::QueryPinInfo(PIN_INFO* info) {
  if (!info) return E_POINTER;
  info->pFilter = filter_;
  filter_->AddRef();
  size_t length = name_.copy(info->achName, MAX_PIN_NAME - 1);
  info->achName[length] = L'\0';
  info->dir = direction_;
  return S_OK;
}

HRESULT CBasePin::QueryDirection(PIN_DIRECTION* direction) {
  if (!direction) return E_POINTER;
  *direction = direction_;
  return S_OK;
}

HRESULT CBasePin::QueryId(LPWSTR* id) {
  if (!id) return E_POINTER;
  const size_t bytes = (name_.size() + 1) * sizeof(wchar_t);
  *id = static_cast<LPWSTR>(::CoTaskMemAlloc(bytes));
  if (!*id) return E_OUTOFMEMORY;
  std::memcpy(*id, name_.c_str(), bytes);
  return S_OK;
}

HRESULT CBasePin::QueryAccept(const AM_MEDIA_TYPE* type) {
  if (!type) return E_POINTER;
  CMediaType candidate(*type);
  return CheckMediaType(&candidate) == S_OK ? S_OK : S_FALSE;
}

HRESULT CBasePin::EnumMediaTypes(IEnumMediaTypes** types) {
  if (!types) return E_POINTER;
  *types = new (std::nothrow) CEnumMediaTypes(this, 0);
  return *types ? S_OK : E_OUTOFMEMORY;
}

HRESULT CBasePin::QueryInternalConnections(IPin**, ULONG*) { return E_NOTIMPL; }

HRESULT CBasePin::EndOfStream() { return S_OK; }

HRESULT CBasePin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
  segmentStart_ = start;
  segmentStop_ = stop;
  segmentRate_ = rate;
  return S_OK;
}

HRESULT CBasePin::Notify(IBaseFilter* sender, Quality quality) {
  return qualitySink_ ? qualitySink_->Notify(sender, quality) : E_NOTIMPL;
}

HRESULT CBasePin::SetSink(IQualityControl* sink) {
  qualitySink_ = sink;
  return S_OK;
}
