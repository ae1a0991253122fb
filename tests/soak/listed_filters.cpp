// Finding a process's filter entries by their names.
#include "tests/soak/listed_filters.h"

#include <cwchar>
#include <string>

#include "common/win_raii.h"

using Microsoft::WRL::ComPtr;

std::vector<ComPtr<IMoniker>> listedFilters(IRunningObjectTable* table, DWORD pid) {
  std::vector<ComPtr<IMoniker>> found;
  wchar_t suffix[32];
  std::swprintf(suffix, 32, L" pid %08x", static_cast<unsigned>(pid));
  const size_t length = std::wcslen(suffix);
  ComPtr<IEnumMoniker> entries;
  ComPtr<IBindCtx> context;
  if (FAILED(table->EnumRunning(&entries)) || FAILED(::CreateBindCtx(0, &context))) return found;
  ComPtr<IMoniker> moniker;
  while (entries->Next(1, moniker.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
    LPOLESTR raw = nullptr;
    if (FAILED(moniker->GetDisplayName(context.Get(), nullptr, &raw))) continue;
    CoTaskMemPtr<wchar_t> name(raw);
    const std::wstring text(raw);
    if (text.find(L"Zelkgrab ") != std::wstring::npos && text.size() >= length &&
        text.compare(text.size() - length, length, suffix) == 0) {
      found.push_back(moniker);
    }
  }
  return found;
}

HRESULT controlOfListedFilter(DWORD pid, DWORD ms, ComPtr<IZelkgrab>* control) {
  ComPtr<IRunningObjectTable> table;
  HRESULT hr = ::GetRunningObjectTable(0, &table);
  if (FAILED(hr)) return hr;
  const ULONGLONG deadline = ::GetTickCount64() + ms;
  std::vector<ComPtr<IMoniker>> entries;
  while ((entries = listedFilters(table.Get(), pid)).empty()) {
    if (::GetTickCount64() > deadline) return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
    ::Sleep(50);
  }
  ComPtr<IUnknown> object;
  hr = table->GetObject(entries.front().Get(), &object);
  if (FAILED(hr)) return hr;
  if (!object) return RPC_E_DISCONNECTED;
  return object->QueryInterface(IID_IZelkgrab,
                                reinterpret_cast<void**>(control->ReleaseAndGetAddressOf()));
}
