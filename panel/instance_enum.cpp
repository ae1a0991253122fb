// The instance enumerator of the panel's server.
#include "panel/instance_enum.h"

#include <cwchar>
#include <new>

#include "common/win_raii.h"
#include "panel/main_dialog.h"
#include "zelkgrab.h"

namespace {

// Filter entries are "!Zelkgrab %08x pid %08x"; the filters' graphs are listed too, and skipped.
constexpr wchar_t kInstancePrefix[] = L"!Zelkgrab";

constexpr DWORD kAnyServer =
    CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;

HRESULT displayName(IMoniker* moniker, CoTaskMemPtr<OLECHAR>* name) {
  Microsoft::WRL::ComPtr<IBindCtx> context;
  HRESULT hr = ::CreateBindCtx(0, &context);
  if (FAILED(hr)) return hr;
  return moniker->GetDisplayName(context.Get(), nullptr, name->put());
}

}  // namespace

CZelkgrabEnum::CZelkgrabEnum() {
  if (FAILED(::GetRunningObjectTable(0, &table_))) table_.Reset();
}

HRESULT CZelkgrabEnum::create(REFIID iid, void** object) {
  CZelkgrabEnum* instances = new (std::nothrow) CZelkgrabEnum();
  if (!instances) return E_OUTOFMEMORY;
  const HRESULT hr = instances->QueryInterface(iid, object);
  instances->Release();
  return hr;
}

HRESULT CZelkgrabEnum::enumerate() {
  if (!table_) return E_UNEXPECTED;
  if (enumerated_) return S_FALSE;
  enumerated_ = true;
  Microsoft::WRL::ComPtr<IEnumMoniker> entries;
  HRESULT hr = table_->EnumRunning(&entries);
  if (FAILED(hr)) return hr;
  std::vector<Microsoft::WRL::ComPtr<IMoniker>> kept;
  Microsoft::WRL::ComPtr<IMoniker> moniker;
  while (entries->Next(1, moniker.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
    CoTaskMemPtr<OLECHAR> name;
    if (FAILED(displayName(moniker.Get(), &name)) || !name.get()) continue;
    if (std::wcsncmp(name.get(), kInstancePrefix, std::wcslen(kInstancePrefix)) != 0) continue;
    try {
      kept.push_back(moniker);
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
  }
  instances_ = std::move(kept);
  return S_OK;
}

HRESULT CZelkgrabEnum::get_count(ULONG* pCount) {
  if (!pCount) return E_POINTER;
  enumerate();
  *pCount = static_cast<ULONG>(instances_.size());
  return S_OK;
}

HRESULT CZelkgrabEnum::get_name(ULONG n, BSTR* pName) {
  if (!pName) return E_POINTER;
  enumerate();
  if (n >= instances_.size()) return E_INVALIDARG;
  CoTaskMemPtr<OLECHAR> name;
  HRESULT hr = displayName(instances_[n].Get(), &name);
  if (FAILED(hr)) return hr;
  *pName = ::SysAllocString(name.get());
  return *pName ? S_OK : E_OUTOFMEMORY;
}

HRESULT CZelkgrabEnum::runningObject(ULONG n, IUnknown** object) {
  if (!table_) return E_UNEXPECTED;
  enumerate();
  if (n >= instances_.size()) return E_INVALIDARG;
  return table_->GetObject(instances_[n].Get(), object);
}

HRESULT CZelkgrabEnum::get_object(ULONG n, IUnknown** ppObj) {
  if (!ppObj) return E_POINTER;
  *ppObj = nullptr;
  Microsoft::WRL::ComPtr<IUnknown> object;
  HRESULT hr = runningObject(n, &object);
  if (FAILED(hr)) return hr;
  Microsoft::WRL::ComPtr<IZelkgrab> control;
  hr = object.As(&control);
  if (FAILED(hr)) return E_NOINTERFACE;
  *ppObj = control.Detach();
  return S_OK;
}

HRESULT CZelkgrabEnum::CreateDlgN(LONG n) {
  Microsoft::WRL::ComPtr<IUnknown> object;
  HRESULT hr = n < 0 ? ::CoCreateInstance(CLSID_Zelkgrab, nullptr, kAnyServer, IID_IUnknown,
                                          reinterpret_cast<void**>(object.GetAddressOf()))
                     : runningObject(static_cast<ULONG>(n), &object);
  if (FAILED(hr)) return hr;
  return CreateDlg(object.Get());
}

HRESULT CZelkgrabEnum::CreateDlg(IUnknown* pZelkgrab) {
  if (!pZelkgrab) return E_POINTER;
  Microsoft::WRL::ComPtr<IZelkgrab> control;
  // An object without the control interface gets a dialog showing only its About tab.
  if (FAILED(pZelkgrab->QueryInterface(IID_PPV_ARGS(&control)))) control.Reset();
  return CScrDlgMain::open(control.Get());
}
