// The capture filter object: its pin, its clock, and the small interfaces it answers itself.
#include "capture/capture_filter.h"

#include <cstring>
#include <memory>
#include <new>

#include "capture/capture_pin.h"
#include "capture/screen_info.h"
#include "common/module_proc.h"
#include "config/running_objects.h"

CUnknown* CaptureFilter::create(IUnknown* outer, HRESULT* hr) {
  *hr = S_OK;
  auto* filter = new (std::nothrow) CaptureFilter(outer, hr);
  if (!filter) *hr = E_OUTOFMEMORY;
  return filter;
}

CaptureFilter::CaptureFilter(IUnknown* outer, HRESULT* hr)
    : CUnknownWith(L"Zelkgrab", outer, CLSID_Zelkgrab), settings_(currentModule(), CLSID_Zelkgrab) {
  CaptureParams desktop;
  readScreenInfo(&desktop);
  settings_.load(desktop);

  HRESULT clockResult = S_OK;
  ownClock_ = new (std::nothrow) CBaseReferenceClock(nullptr, &clockResult);
  if (!ownClock_ || FAILED(clockResult)) {
    *hr = ownClock_ ? clockResult : E_OUTOFMEMORY;
    return;
  }
  HRESULT pinResult = S_OK;
  std::unique_ptr<CapturePin> pin(new (std::nothrow) CapturePin(&pinResult, this, &settings_));
  if (!pin || FAILED(pinResult)) {
    *hr = pin ? pinResult : E_OUTOFMEMORY;
    return;
  }
  pin_ = pin.get();
  *hr = AddPin(std::move(pin));
  if (FAILED(*hr)) return;
  // Other processes find the filter by this entry; unlisted, it still works.
  if (filterEntry_.list(GetOwner(), L"Zelkgrab %08x pid %08x") == E_OUTOFMEMORY) {
    *hr = E_OUTOFMEMORY;
  }
}

CaptureFilter::~CaptureFilter() {
  // First: a call through an entry must not reach a filter whose settings are gone.
  filterEntry_.clear();
  graphEntry_.clear();
  // What the next instance starts from.
  settings_.save();
}

HRESULT CaptureFilter::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) {
  // The graph owns the filter: its entry must not hold it, or releasing it would never end it.
  graphEntry_.clear();
  if (graph && pin_) {
    CaptureParams params = {};
    params.size = sizeof(params);
    if (SUCCEEDED(pin_->CopyParams(&params)) && params.has(CaptureFlag::RegRot)) {
      graphEntry_.list(graph, L"FilterGraph %08x pid %08x");
    }
  }
  return CSource::JoinFilterGraph(graph, name);
}

HRESULT CaptureFilter::NonDelegatingQueryInterface(REFIID iid, void** object) {
  if (iid == IID_IFileSourceFilter) {
    return GetInterface(static_cast<IFileSourceFilter*>(this), object);
  }
  if (iid == IID_IAMOpenProgress) return GetInterface(static_cast<IAMOpenProgress*>(this), object);
  // Applications look for the stream settings and the property pages on the filter as often
  // as on the pin.
  if ((iid == IID_IAMStreamConfig || iid == IID_IZelkgrab || iid == IID_ISpecifyPropertyPages) &&
      pin_) {
    return pin_->QueryInterface(iid, object);
  }
  return CSource::NonDelegatingQueryInterface(iid, object);
}

HRESULT CaptureFilter::GetState(DWORD timeout, FILTER_STATE* state) {
  HRESULT hr = CSource::GetState(timeout, state);
  if (SUCCEEDED(hr) && *state == State_Paused) return VFW_S_CANT_CUE;
  return hr;
}

HRESULT CaptureFilter::Load(LPCOLESTR fileName, const AM_MEDIA_TYPE*) {
  if (!fileName) return E_POINTER;
  CAutoLock lock(filterLock());
  fileName_ = fileName;
  return S_OK;
}

HRESULT CaptureFilter::GetCurFile(LPOLESTR* fileName, AM_MEDIA_TYPE* type) {
  if (!fileName) return E_POINTER;
  CAutoLock lock(filterLock());
  *fileName = nullptr;
  if (!fileName_.empty()) {
    const size_t bytes = (fileName_.size() + 1) * sizeof(wchar_t);
    *fileName = static_cast<LPOLESTR>(::CoTaskMemAlloc(bytes));
    if (!*fileName) return E_OUTOFMEMORY;
    std::memcpy(*fileName, fileName_.c_str(), bytes);
  }
  if (type) std::memset(type, 0, sizeof(*type));
  return S_OK;
}

HRESULT CaptureFilter::QueryProgress(LONGLONG* total, LONGLONG* available) {
  if (!total || !available) return E_POINTER;
  *total = 1;
  *available = 1;
  return VFW_S_ESTIMATED;
}

HRESULT CaptureFilter::AbortOperation() { return S_OK; }
