// Whole-document puts to a capture filter.
#include "tests/soak/filter_document.h"

#include <wrl/client.h>

#include "common/win_raii.h"
#include "zelkgrab.h"

HRESULT putFilterDocument(IBaseFilter* capture, const wchar_t* document) {
  Microsoft::WRL::ComPtr<IZelkgrab> control;
  HRESULT hr =
      capture->QueryInterface(IID_IZelkgrab, reinterpret_cast<void**>(control.GetAddressOf()));
  if (FAILED(hr)) return hr;
  UniqueBstr text(::SysAllocString(document));
  return text ? control->put_sc_props(text.get()) : E_OUTOFMEMORY;
}
