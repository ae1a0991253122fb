// A second process holding one capture filter, as a media application would: the filter is
// made from Zelkgrab.ax beside this program, so it lists itself in the running object table
// and holds the panel's instance enumerator. It lets the filter go and ends when the test sets
// the event "ZelkFilterHostQuit-<pid>", or after SECONDS.
//   filter_host SECONDS [graph [later]] [pages]
// "graph": the filter runs in a graph, into a Null Renderer; with "later", only once the event
// "ZelkFilterHostRun-<pid>" is set. "pages": the filter's property
// pages are asked for and given the filter, as capture programs' property frames do.
// Exit code 0 after a normal end, 1 when the filter or its graph could not be made, 2 on bad
// arguments.
#include <windows.h>
#include <dshow.h>
#include <wrl/client.h>

#include <cstdlib>
#include <string>

#include "common/com_registration.h"
#include "common/module_proc.h"
#include "common/win_raii.h"
#include "dshow/reference_clock.h"
#include "graph_support.h"
#include "zelkgrab.h"

using Microsoft::WRL::ComPtr;

namespace {

HRESULT runInGraph(IBaseFilter* filter, ComPtr<IGraphBuilder>* graph) {
  ComPtr<IBaseFilter> renderer;
  HRESULT hr = ::CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_PPV_ARGS(graph->ReleaseAndGetAddressOf()));
  if (SUCCEEDED(hr)) {
    hr = ::CoCreateInstance(graph_support::kNullRenderer, nullptr, CLSCTX_INPROC_SERVER,
                            IID_PPV_ARGS(&renderer));
  }
  if (SUCCEEDED(hr)) hr = (*graph)->AddFilter(filter, L"capture");
  if (SUCCEEDED(hr)) hr = (*graph)->AddFilter(renderer.Get(), L"renderer");
  // Wine's default graph clock can hang the graph's release.
  if (SUCCEEDED(hr)) hr = UseBaseReferenceClock(graph->Get());
  if (SUCCEEDED(hr)) {
    hr = (*graph)->ConnectDirect(graph_support::findPin(filter, PINDIR_OUTPUT).Get(),
                                 graph_support::findPin(renderer.Get(), PINDIR_INPUT).Get(),
                                 nullptr);
  }
  ComPtr<IMediaControl> control;
  if (SUCCEEDED(hr)) hr = graph->As(&control);
  if (SUCCEEDED(hr)) hr = control->Run();
  return FAILED(hr) ? hr : S_OK;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2 || _wtoi(argv[1]) <= 0) return 2;
  const DWORD seconds = static_cast<DWORD>(_wtoi(argv[1]));
  bool inGraph = false, later = false, pages = false;
  for (int i = 2; i < argc; ++i) {
    const std::wstring option = argv[i];
    if (option == L"graph") {
      inGraph = true;
    } else if (option == L"later") {
      later = true;
    } else if (option == L"pages") {
      pages = true;
    } else {
      return 2;
    }
  }
  const std::wstring quitName = L"ZelkFilterHostQuit-" + std::to_wstring(::GetCurrentProcessId());
  UniqueHandle quit(::CreateEventW(nullptr, TRUE, FALSE, quitName.c_str()));
  if (!quit) return 1;
  const std::wstring runName = L"ZelkFilterHostRun-" + std::to_wstring(::GetCurrentProcessId());
  UniqueHandle run(::CreateEventW(nullptr, TRUE, FALSE, runName.c_str()));
  if (!run) return 1;

  std::wstring path = modulePath(nullptr);
  path = path.substr(0, path.find_last_of(L"\\/") + 1) + L"Zelkgrab.ax";
  // Loaded before and freed after the apartment: COM lets go of what other processes held
  // of the filter only as the apartment ends.
  UniqueModule module(::LoadLibraryW(path.c_str()));
  // A window-owning thread, as a program showing property pages has.
  ComApartment apartment(COINIT_APARTMENTTHREADED);
  using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
  const auto getClassObject = moduleProc<GetClassObject>(module.get(), "DllGetClassObject");
  if (!getClassObject) return 1;
  ComPtr<IClassFactory> factory;
  ComPtr<IBaseFilter> filter;
  if (FAILED(getClassObject(CLSID_Zelkgrab, IID_PPV_ARGS(&factory))) ||
      FAILED(factory->CreateInstance(nullptr, IID_PPV_ARGS(&filter)))) {
    return 1;
  }
  factory.Reset();
  ComPtr<IGraphBuilder> graph;
  if (inGraph && !later && FAILED(runInGraph(filter.Get(), &graph))) return 1;
  if (pages) graph_support::askForPropertyPages(filter.Get());

  // Serves calls from other processes while it waits.
  const ULONGLONG deadline = ::GetTickCount64() + seconds * 1000ull;
  for (;;) {
    const ULONGLONG now = ::GetTickCount64();
    if (now >= deadline) break;
    HANDLE waits[] = {quit.get(), run.get()};
    const DWORD waitCount = inGraph && later && !graph ? 2 : 1;
    const DWORD woke = ::MsgWaitForMultipleObjects(waitCount, waits, FALSE,
                                                   static_cast<DWORD>(deadline - now), QS_ALLINPUT);
    if (waitCount == 2 && woke == WAIT_OBJECT_0 + 1) {
      if (FAILED(runInGraph(filter.Get(), &graph))) return 1;
      continue;
    }
    if (woke != WAIT_OBJECT_0 + waitCount) break;
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
  }
  if (graph) {
    ComPtr<IMediaControl> control;
    if (SUCCEEDED(graph.As(&control))) control->Stop();
  }
  graph.Reset();
  filter.Reset();
  return 0;
}
