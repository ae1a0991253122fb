// A media application for the soak's fault runs: one capture filter, made from Zelkgrab.ax
// beside this program, streaming a small area into a Sample Grabber that counts the frames
// and a Null Renderer. Every period delivers a frame, whatever changed, so that the count
// shows the stream going; the filter shows the panel's frame, so a panel that serves it shows.
// The host publishes its state and obeys Stop, Run and Quit (see fault_host_link.h), timing
// each Stop. Its one thread is a single-threaded apartment with a message loop, as a capture
// program's window thread is, so calls from other processes run on it; "pages" asks for the
// filter's property pages as capture programs do, which opens the panel's dialog on it. It ends on
// Quit or after SECONDS.
//   fault_host SECONDS [pages]
// Exit code 0 after a normal end, 1 when the filter or its graph could not be made, 2 on bad
// arguments.
#include <windows.h>
#include <dshow.h>
#include <wrl/client.h>

#include <cwchar>

#include "common/win_raii.h"
#include "dshow/ref_counted.h"
#include "dshow/reference_clock.h"
#include "graph_support.h"
#include "tests/soak/fault_host_link.h"
#include "tests/soak/filter_document.h"
#include "tools/zelkrec/filter_loader.h"

using Microsoft::WRL::ComPtr;

namespace {

const CLSID kZelkgrab = {
    0xCA120208, 0x830C, 0x41EC, {0xA5, 0xF0, 0x69, 0xC2, 0x1F, 0x0E, 0x88, 0xCA}};

// Counts the samples into the shared block.
class FrameCounter final : public CRefCounted<ISampleGrabberCB, IID_ISampleGrabberCB> {
 public:
  explicit FrameCounter(FaultHostStatus* status) : status_(status) {}
  HRESULT STDMETHODCALLTYPE SampleCB(double, IMediaSample*) override {
    ::InterlockedIncrement(&status_->frames);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE BufferCB(double, BYTE*, long) override { return E_NOTIMPL; }

 private:
  FaultHostStatus* status_;
};

HRESULT showFrameOverSmallArea(IBaseFilter* capture) {
  return putFilterDocument(
      capture,
      L"<configuration><params><rect left=\"100\" top=\"100\" right=\"420\" bottom=\"340\"/>"
      L"<flags trackwnd=\"0\" trackscr=\"0\" trackmouse=\"0\" resize=\"0\" outputsize=\"0\" "
      L"showframe=\"1\" optcapture=\"0\" optdeliver=\"0\" regrot=\"1\" limitinst=\"0\"/>"
      L"</params></configuration>");
}

HRESULT buildGraph(IBaseFilter* capture, FaultHostStatus* status, ComPtr<IGraphBuilder>* graph) {
  HRESULT hr = ::CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_PPV_ARGS(graph->ReleaseAndGetAddressOf()));
  if (FAILED(hr)) return hr;
  ComPtr<ISampleGrabberCB> counter;
  counter.Attach(new FrameCounter(status));
  ComPtr<IBaseFilter> grabber =
      graph_support::makeSampleGrabber(counter.Get(), MEDIATYPE_Video, GUID_NULL);
  ComPtr<IBaseFilter> renderer;
  hr = grabber ? ::CoCreateInstance(graph_support::kNullRenderer, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_PPV_ARGS(&renderer))
               : E_FAIL;
  if (SUCCEEDED(hr)) hr = (*graph)->AddFilter(capture, L"capture");
  if (SUCCEEDED(hr)) hr = (*graph)->AddFilter(grabber.Get(), L"grabber");
  if (SUCCEEDED(hr)) hr = (*graph)->AddFilter(renderer.Get(), L"renderer");
  // Wine's default graph clock can hang the graph's release.
  if (SUCCEEDED(hr)) hr = UseBaseReferenceClock(graph->Get());
  if (SUCCEEDED(hr)) {
    hr =
        (*graph)->ConnectDirect(graph_support::findPin(capture, PINDIR_OUTPUT).Get(),
                                graph_support::findPin(grabber.Get(), PINDIR_INPUT).Get(), nullptr);
  }
  if (SUCCEEDED(hr)) {
    hr = (*graph)->ConnectDirect(graph_support::findPin(grabber.Get(), PINDIR_OUTPUT).Get(),
                                 graph_support::findPin(renderer.Get(), PINDIR_INPUT).Get(),
                                 nullptr);
  }
  return hr;
}

// Carries out the commands posted to the host's window.
class CommandWindow {
 public:
  CommandWindow(IMediaControl* control, FaultHostStatus* status)
      : control_(control), status_(status) {}
  ~CommandWindow() {
    if (window_) ::DestroyWindow(window_);
  }

  bool create(DWORD pid) {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = &CommandWindow::procedure;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"ZelkFaultHostCommands";
    ::RegisterClassW(&windowClass);
    window_ = ::CreateWindowW(windowClass.lpszClassName, faultHostWindowName(pid).c_str(), 0, 0, 0,
                              0, 0, HWND_MESSAGE, nullptr, windowClass.hInstance, this);
    return window_ != nullptr;
  }

 private:
  static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
      ::SetWindowLongPtrW(
          window, GWLP_USERDATA,
          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
    }
    auto* self = reinterpret_cast<CommandWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self && message >= WM_APP && message <= WM_APP + 2) {
      self->carryOut(static_cast<FaultHostCommand>(message - WM_APP));
      return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
  }

  void carryOut(FaultHostCommand command) {
    if (command == FaultHostCommand::Quit) {
      ::PostQuitMessage(0);
      return;
    }
    if (command == FaultHostCommand::Stop) {
      const ULONGLONG started = ::GetTickCount64();
      status_->lastResult = control_->Stop();
      status_->lastStopMs = static_cast<LONG>(::GetTickCount64() - started);
      status_->streaming = 0;
    } else {
      status_->lastResult = control_->Run();
      status_->streaming = SUCCEEDED(status_->lastResult);
    }
    ::InterlockedIncrement(&status_->commandsDone);
  }

  IMediaControl* control_;
  FaultHostStatus* status_;
  HWND window_ = nullptr;
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2 || argc > 3 || _wtoi(argv[1]) <= 0) return 2;
  const bool pages = argc == 3 && std::wcscmp(argv[2], L"pages") == 0;
  if (argc == 3 && !pages) return 2;
  const DWORD seconds = static_cast<DWORD>(_wtoi(argv[1]));
  const DWORD pid = ::GetCurrentProcessId();

  UniqueHandle mapping(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                            sizeof(FaultHostStatus),
                                            faultHostBlockName(pid).c_str()));
  if (!mapping) return 1;
  auto* status = static_cast<FaultHostStatus*>(
      ::MapViewOfFile(mapping.get(), FILE_MAP_WRITE, 0, 0, sizeof(FaultHostStatus)));
  if (!status) return 1;
  status->lastStopMs = -1;
  // A window-owning thread, as a program showing property pages has; it serves the calls of
  // other processes from its message loop.
  ComApartment apartment(COINIT_APARTMENTTHREADED);
  FilterModule module;
  ComPtr<IBaseFilter> capture;
  ComPtr<IGraphBuilder> graph;
  ComPtr<IMediaControl> control;
  if (FAILED(module.create(L"Zelkgrab.ax", kZelkgrab, IID_IBaseFilter,
                           reinterpret_cast<void**>(capture.GetAddressOf()))) ||
      FAILED(showFrameOverSmallArea(capture.Get())) ||
      FAILED(buildGraph(capture.Get(), status, &graph)) || FAILED(graph.As(&control)) ||
      FAILED(control->Run())) {
    return 1;
  }
  status->streaming = 1;
  if (pages) graph_support::askForPropertyPages(capture.Get());

  CommandWindow commands(control.Get(), status);
  if (!commands.create(pid)) return 1;
  // SECONDS bound the host even if nobody asks it to quit.
  ::SetTimer(nullptr, 0, seconds * 1000, [](HWND, UINT, UINT_PTR, DWORD) { ::PostQuitMessage(0); });
  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) ::DispatchMessageW(&message);
  control->Stop();
  control.Reset();
  graph.Reset();
  capture.Reset();
  ::UnmapViewOfFile(status);
  return 0;
}
