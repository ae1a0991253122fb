// A second process for the running-object-table tests: finds this test's capture filter (or
// graph) by its entry name, binds it and drives it through marshalled interfaces.
//   rot_client PID filter CX   - find "Zelkgrab ... pid PID", check output cx is CX, set cy 123,
//                                read the whole document and put it back
//   rot_client PID absent      - succeed only if no such filter entry is listed
//   rot_client PID graph       - find "FilterGraph ... pid PID" and count its filters
// Exit code 0 on success; the reason otherwise on stderr.
#include <windows.h>
#include <objbase.h>
#include <dshow.h>
#include <wrl/client.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>

#include "common/win_raii.h"
#include "zelkgrab.h"

using Microsoft::WRL::ComPtr;

namespace {

int fail(const char* what, HRESULT hr) {
  std::fprintf(stderr, "rot_client: %s (0x%08lx)\n", what, static_cast<unsigned long>(hr));
  return 1;
}

// The first entry whose name has `prefix` and ends in the process id.
ComPtr<IMoniker> findEntry(IRunningObjectTable* table, const wchar_t* prefix, DWORD pid) {
  wchar_t suffix[32];
  std::swprintf(suffix, 32, L" pid %08x", static_cast<unsigned>(pid));
  ComPtr<IEnumMoniker> entries;
  ComPtr<IBindCtx> context;
  if (FAILED(table->EnumRunning(&entries)) || FAILED(::CreateBindCtx(0, &context))) return nullptr;
  ComPtr<IMoniker> moniker;
  while (entries->Next(1, moniker.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
    LPOLESTR raw = nullptr;
    if (FAILED(moniker->GetDisplayName(context.Get(), nullptr, &raw))) continue;
    CoTaskMemPtr<wchar_t> name(raw);
    std::wstring text(raw);
    const size_t start = text.find(prefix);
    if (start != std::wstring::npos && text.size() >= std::wcslen(suffix) &&
        text.compare(text.size() - std::wcslen(suffix), std::wstring::npos, suffix) == 0) {
      return moniker;
    }
  }
  return nullptr;
}

int driveFilter(IUnknown* object, long expectedCx) {
  ComPtr<IZelkgrab> control;
  HRESULT hr =
      object->QueryInterface(IID_IZelkgrab, reinterpret_cast<void**>(control.GetAddressOf()));
  if (FAILED(hr)) return fail("no IZelkgrab through the entry", hr);
  UniqueBstr cx(::SysAllocString(L"params\\output\\cx"));
  UniqueBstr cy(::SysAllocString(L"params\\output\\cy"));
  LONG value = 0;
  if ((hr = control->get_sc_prop(cx.get(), &value)) != S_OK) return fail("get output cx", hr);
  if (value != expectedCx) {
    std::fprintf(stderr, "rot_client: output cx is %ld, expected %ld\n", value, expectedCx);
    return 1;
  }
  if ((hr = control->put_sc_prop(cy.get(), 123)) != S_OK) return fail("put output cy", hr);
  BSTR document = nullptr;
  if ((hr = control->get_sc_props(&document)) != S_OK) return fail("get the document", hr);
  UniqueBstr owned(document);
  if (::SysStringLen(document) < 100) return fail("the document is too short", E_FAIL);
  if ((hr = control->put_sc_props(document)) != S_OK) return fail("put the document back", hr);
  return 0;
}

int countFilters(IUnknown* object) {
  ComPtr<IFilterGraph> graph;
  HRESULT hr =
      object->QueryInterface(IID_IFilterGraph, reinterpret_cast<void**>(graph.GetAddressOf()));
  if (FAILED(hr)) return fail("the graph entry gives no IFilterGraph", hr);
  ComPtr<IEnumFilters> filters;
  if (FAILED(hr = graph->EnumFilters(&filters))) return fail("enumerating the filters", hr);
  ComPtr<IBaseFilter> filter;
  int count = 0;
  ULONG fetched = 0;  // a remote call needs somewhere to put it
  while ((hr = filters->Next(1, filter.ReleaseAndGetAddressOf(), &fetched)) == S_OK) ++count;
  if (count < 1) return fail("the graph lists no filters", hr);
  std::printf("rot_client: the graph has %d filters\n", count);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return fail("usage: rot_client PID filter CX | absent | graph", E_INVALIDARG);
  const DWORD pid = static_cast<DWORD>(std::strtoul(argv[1], nullptr, 10));
  const std::string mode = argv[2];
  ComApartment apartment(COINIT_MULTITHREADED);
  ComPtr<IRunningObjectTable> table;
  HRESULT hr = ::GetRunningObjectTable(0, &table);
  if (FAILED(hr)) return fail("no running object table", hr);

  ComPtr<IMoniker> entry =
      findEntry(table.Get(), mode == "graph" ? L"FilterGraph " : L"Zelkgrab ", pid);
  if (mode == "absent") return entry ? fail("the filter is still listed", E_FAIL) : 0;
  if (!entry) return fail("no entry of the test process", E_FAIL);
  ComPtr<IUnknown> object;
  if (FAILED(hr = table->GetObject(entry.Get(), &object))) return fail("binding the entry", hr);
  if (mode == "graph") return countFilters(object.Get());
  return driveFilter(object.Get(), argc > 3 ? std::strtol(argv[3], nullptr, 10) : 0);
}
