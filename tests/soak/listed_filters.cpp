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
