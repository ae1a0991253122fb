// Reading, changing and restoring the capture filter's settings document.
#include "tools/zelkrec/saved_filter_settings.h"

SavedFilterSettings::~SavedFilterSettings() { restore(); }

HRESULT SavedFilterSettings::read(IBaseFilter* capture) {
  HRESULT hr =
      capture->QueryInterface(IID_IZelkgrab, reinterpret_cast<void**>(control_.GetAddressOf()));
  if (FAILED(hr)) return hr;
  BSTR document = nullptr;
  hr = control_->get_sc_props(&document);
  if (FAILED(hr)) return hr;
  original_.reset(document);
  return S_OK;
}

HRESULT SavedFilterSettings::apply(const std::wstring& document) {
  if (!control_) return E_UNEXPECTED;
  UniqueBstr text(::SysAllocStringLen(document.data(), static_cast<UINT>(document.size())));
  if (!text) return E_OUTOFMEMORY;
  return control_->put_sc_props(text.get());
}

HRESULT SavedFilterSettings::restore() {
  if (!control_ || !original_) return S_OK;
  const HRESULT hr = control_->put_sc_props(original_.get());
  original_.reset();
  control_.Reset();
  return hr;
}
