// The window enumerator of the panel's server.
#include "panel/window_enum.h"

#include <new>

CZelkgrabWndEnum::CZelkgrabWndEnum() : entries_(listTopLevelWindows(::GetCurrentProcessId())) {}

HRESULT CZelkgrabWndEnum::create(REFIID iid, void** object) {
  CZelkgrabWndEnum* windows = new (std::nothrow) CZelkgrabWndEnum();
  if (!windows) return E_OUTOFMEMORY;
  const HRESULT hr = windows->QueryInterface(iid, object);
  windows->Release();
  return hr;
}

HRESULT CZelkgrabWndEnum::get_count(ULONG* pCount) {
  if (!pCount) return E_POINTER;
  *pCount = static_cast<ULONG>(entries_.size());
  return S_OK;
}

HRESULT CZelkgrabWndEnum::get_name(ULONG n, BSTR* pName) {
  if (!pName) return E_POINTER;
  if (n >= entries_.size()) return E_INVALIDARG;
  const std::wstring& name = entries_[n].name;
  *pName = ::SysAllocStringLen(name.data(), static_cast<UINT>(name.size()));
  return *pName ? S_OK : E_OUTOFMEMORY;
}

HRESULT CZelkgrabWndEnum::get_windowhandle(ULONG n, LONGLONG* pHandle) {
  if (!pHandle) return E_POINTER;
  if (n >= entries_.size()) return E_INVALIDARG;
  // Window handles are 32-bit values on every platform the panel runs on.
  const auto handle = static_cast<int32_t>(reinterpret_cast<uintptr_t>(entries_[n].window));
  *pHandle = handle;
  return S_OK;
}
