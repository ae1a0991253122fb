// Filter state, clock, graph membership and pin enumeration.
#include "dshow/base_filter.h"

#include <vector>

#include "dshow/base_pin.h"
#include "dshow/ref_counted.h"

using Microsoft::WRL::ComPtr;

namespace {

// A snapshot of the filter's pins; each pin reference holds the filter.
class CEnumPins final : public CRefCounted<IEnumPins, IID_IEnumPins> {
 public:
  explicit CEnumPins(std::vector<ComPtr<IPin>> pins, size_t position = 0)
      : pins_(std::move(pins)), position_(position) {}

  HRESULT STDMETHODCALLTYPE Next(ULONG count, IPin** pins, ULONG* fetched) override {
    if (!pins) return E_POINTER;
    if (count > 1 && !fetched) return E_INVALIDARG;
    ULONG done = 0;
    while (done < count && position_ < pins_.size()) {
      pins[done] = pins_[position_].Get();
      pins[done]->AddRef();
      ++done;
      ++position_;
    }
    if (fetched) *fetched = done;
    return done == count ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
    if (pins_.size() - position_ < count) {
      position_ = pins_.size();
      return S_FALSE;
    }
    position_ += count;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Reset() override {
    position_ = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(IEnumPins** clone) override {
    if (!clone) return E_POINTER;
    *clone = new (std::nothrow) CEnumPins(pins_, position_);
    return *clone ? S_OK : E_OUTOFMEMORY;
  }

 private:
  ~CEnumPins() override = default;

  std::vector<ComPtr<IPin>> pins_;
  size_t position_;
};

}  // namespace

CBaseFilter::CBaseFilter(const wchar_t* name, IUnknown* outer, CCritSec* lock, const CLSID& clsid)
    : CUnknownImpl(outer), lock_(lock), clsid_(clsid), name_(name ? name : L"") {}

CBaseFilter::~CBaseFilter() = default;

HRESULT CBaseFilter::NonDelegatingQueryInterface(REFIID iid, void** object) {
  if (iid == IID_IBaseFilter) return GetInterface(static_cast<IBaseFilter*>(this), object);
  if (iid == IID_IMediaFilter) return GetInterface(static_cast<IMediaFilter*>(this), object);
  if (iid == IID_IPersist) return GetInterface(static_cast<IPersist*>(this), object);
  return CUnknownImpl::NonDelegatingQueryInterface(iid, object);
}

HRESULT CBaseFilter::GetClassID(CLSID* clsid) {
  if (!clsid) return E_POINTER;
  *clsid = clsid_;
  return S_OK;
}

HRESULT CBaseFilter::Stop() {
  CAutoLock lock(lock_);
  HRESULT result = S_OK;
  if (state_ != State_Stopped) {
    for (int i = 0; i < GetPinCount(); ++i) {
      CBasePin* pin = GetPin(i);
      if (pin && pin->IsConnected()) {
        HRESULT hr = pin->Inactive();
        if (FAILED(hr) && SUCCEEDED(result)) result = hr;
      }
    }
  }
  state_ = State_Stopped;
  return result;
}

HRESULT CBaseFilter::Pause() {
  CAutoLock lock(lock_);
  if (state_ == State_Stopped) {
    for (int i = 0; i < GetPinCount(); ++i) {
      CBasePin* pin = GetPin(i);
      if (pin && pin->IsConnected()) {
        HRESULT hr = pin->Active();
        if (FAILED(hr)) return hr;
      }
    }
  }
  state_ = State_Paused;
  return S_OK;
}

HRESULT CBaseFilter::Run(REFERENCE_TIME start) {
  CAutoLock lock(lock_);
  {
    CAutoLock clockLock(&clockLock_);
    start_ = start;
  }
  if (state_ == State_Stopped) {
    HRESULT hr = Pause();
    if (FAILED(hr)) return hr;
  }
  if (state_ != State_Running) {
    for (int i = 0; i < GetPinCount(); ++i) {
      CBasePin* pin = GetPin(i);
      if (pin && pin->IsConnected()) {
        HRESULT hr = pin->Run(start);
        if (FAILED(hr)) return hr;
      }
    }
  }
  state_ = State_Running;
  return S_OK;
}

HRESULT CBaseFilter::GetState(DWORD, FILTER_STATE* state) {
  if (!state) return E_POINTER;
  *state = state_;
  return S_OK;
}

HRESULT CBaseFilter::SetSyncSource(IReferenceClock* clock) {
  CAutoLock lock(lock_);
  CAutoLock clockLock(&clockLock_);
  clock_ = clock;
  return S_OK;
}

HRESULT CBaseFilter::GetSyncSource(IReferenceClock** clock) {
  if (!clock) return E_POINTER;
  CAutoLock clockLock(&clockLock_);
  *clock = clock_.Get();
  if (*clock) (*clock)->AddRef();
  return S_OK;
}

HRESULT CBaseFilter::EnumPins(IEnumPins** pins) {
  if (!pins) return E_POINTER;
  std::vector<ComPtr<IPin>> snapshot;
  {
    CAutoLock lock(lock_);
    for (int i = 0; i < GetPinCount(); ++i) {
      if (CBasePin* pin = GetPin(i)) snapshot.emplace_back(static_cast<IPin*>(pin));
    }
  }
  *pins = new (std::nothrow) CEnumPins(std::move(snapshot));
  return *pins ? S_OK : E_OUTOFMEMORY;
}

HRESULT CBaseFilter::FindPin(LPCWSTR id, IPin** pin) {
  if (!id || !pin) return E_POINTER;
  CAutoLock lock(lock_);
  for (int i = 0; i < GetPinCount(); ++i) {
    CBasePin* candidate = GetPin(i);
    if (candidate && candidate->Name() == id) {
      *pin = candidate;
      candidate->AddRef();
      return S_OK;
    }
  }
  *pin = nullptr;
  return VFW_E_NOT_FOUND;
}

HRESULT CBaseFilter::QueryFilterInfo(FILTER_INFO* info) {
  if (!info) return E_POINTER;
  size_t length = name_.copy(info->achName, MAX_FILTER_NAME - 1);
  info->achName[length] = L'\0';
  info->pGraph = graph_;
  if (graph_) graph_->AddRef();
  return S_OK;
}

HRESULT CBaseFilter::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) {
  CAutoLock lock(lock_);
  graph_ = graph;
  eventSink_ = nullptr;
  if (graph) {
    // Kept without a reference: the graph owns us and outlives our membership.
    ComPtr<IMediaEventSink> sink;
    if (SUCCEEDED(graph->QueryInterface(IID_PPV_ARGS(&sink)))) eventSink_ = sink.Get();
    if (name) name_ = name;
  }
  return S_OK;
}

HRESULT CBaseFilter::QueryVendorInfo(LPWSTR* info) {
  if (!info) return E_POINTER;
  *info = nullptr;
  return E_NOTIMPL;
}

HRESULT CBaseFilter::NotifyEvent(long code, LONG_PTR param1, LONG_PTR param2) {
  IMediaEventSink* sink = eventSink_;
  if (!sink) return E_NOTIMPL;
  if (code == EC_COMPLETE) param2 = reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(this));
  return sink->Notify(code, param1, param2);
}

HRESULT CBaseFilter::StreamTime(REFERENCE_TIME* time) {
  if (!time) return E_POINTER;
  ComPtr<IReferenceClock> clock;
  REFERENCE_TIME start;
  {
    // Not the filter lock: streaming threads ask for the time while the control thread
    // holds that lock waiting for them to stop.
    CAutoLock clockLock(&clockLock_);
    clock = clock_;
    start = start_;
  }
  if (!clock) return VFW_E_NO_CLOCK;
  HRESULT hr = clock->GetTime(time);
  if (FAILED(hr)) return hr;
  *time -= start;
  return S_OK;
}
