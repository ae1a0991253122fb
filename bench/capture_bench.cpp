// Capture figures for the driver script (bench/capture_bench.py), one mode per run:
//   capture_bench WIDTH HEIGHT SECONDS        the filter into a null sink, flat out (a period far
//                                             below the grab time, so every sample waits only
//                                             for the grab)
//   capture_bench bare WIDTH HEIGHT SECONDS   a bare BitBlt loop from the desktop into a DIB
//                                             section: what the platform allows at all
//   capture_bench static on|off SECONDS       the filter at 800x600, 25 fps, on a desktop where
//                                             nothing changes, with optcapture and optdeliver
//                                             both on or both off
// Each prints "measuring" and "measured" around its timed window, so the driver can add the
// X server's and the wineserver's CPU time of that window, then one line:
//   NAME WIDTHxHEIGHT frames=N seconds=S fps=F cpu_ms_per_frame=C cpu_ms=T delivered=D
// (process CPU only; frames are those of the window, delivered counts the filter's from the
// start, the first frame included).
#include <windows.h>
#include <dshow.h>
#include <initguid.h>
#include <qedit.h>
#include <wrl/client.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "capture/capture_filter.h"
#include "capture/capture_pin.h"
#include "common/win_raii.h"

using Microsoft::WRL::ComPtr;

namespace {

const CLSID kNullRenderer = {
    0xC1F400A4, 0x3F08, 0x11D3, {0x9F, 0x0B, 0x00, 0x60, 0x08, 0x03, 0x9E, 0x37}};
const CLSID kSampleGrabber = {
    0xC1F400A0, 0x3F08, 0x11D3, {0x9F, 0x0B, 0x00, 0x60, 0x08, 0x03, 0x9E, 0x37}};

// Counts the frames that pass; lives as long as the graph.
class FrameCounter final : public ISampleGrabberCB {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (iid != IID_IUnknown && iid != IID_ISampleGrabberCB) return E_NOINTERFACE;
    *object = static_cast<ISampleGrabberCB*>(this);
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE SampleCB(double, IMediaSample*) override {
    ++frames;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE BufferCB(double, BYTE*, long) override { return E_NOTIMPL; }

  std::atomic<long> frames{0};
};

double processCpuSeconds() {
  FILETIME created, exited, kernel, user;
  ::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user);
  auto seconds = [](const FILETIME& time) {
    ULARGE_INTEGER value;
    value.LowPart = time.dwLowDateTime;
    value.HighPart = time.dwHighDateTime;
    return static_cast<double>(value.QuadPart) / 1e7;
  };
  return seconds(kernel) + seconds(user);
}

double wallSeconds() {
  LARGE_INTEGER count, frequency;
  ::QueryPerformanceCounter(&count);
  ::QueryPerformanceFrequency(&frequency);
  return static_cast<double>(count.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// The timed window. The marker lines go out at once: the driver reads the servers' CPU time
// when it sees them.
class MeasuredWindow {
 public:
  MeasuredWindow() {
    std::printf("measuring\n");
    std::fflush(stdout);
    cpu_ = processCpuSeconds();
    wall_ = wallSeconds();
  }
  void end() {
    cpu_ = processCpuSeconds() - cpu_;
    wall_ = wallSeconds() - wall_;
    std::printf("measured\n");
    std::fflush(stdout);
  }
  double cpuSeconds() const { return cpu_; }
  double seconds() const { return wall_; }

 private:
  double cpu_;
  double wall_;
};

void report(const char* name, int width, int height, long frames, const MeasuredWindow& window,
            long delivered) {
  std::printf(
      "%s %dx%d frames=%ld seconds=%.3f fps=%.1f cpu_ms_per_frame=%.3f cpu_ms=%.1f "
      "delivered=%ld\n",
      name, width, height, frames, window.seconds(), frames / window.seconds(),
      frames > 0 ? window.cpuSeconds() * 1000.0 / frames : 0.0, window.cpuSeconds() * 1000.0,
      delivered);
  std::fflush(stdout);
}

ComPtr<IPin> firstPin(IBaseFilter* filter, PIN_DIRECTION direction) {
  ComPtr<IEnumPins> pins;
  filter->EnumPins(&pins);
  ComPtr<IPin> pin;
  while (pins && pins->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
    PIN_DIRECTION actual;
    if (SUCCEEDED(pin->QueryDirection(&actual)) && actual == direction) return pin;
  }
  return nullptr;
}

int fail(const char* what, HRESULT hr) {
  std::fprintf(stderr, "capture_bench: %s failed: 0x%08lx\n", what, static_cast<unsigned long>(hr));
  return 1;
}

// Every parameter the benchmark sets goes through here.
void setCaptureParams(CaptureSettings& settings, const ParamRect& rect, int64_t sampletime,
                      bool optimise) {
  settings.change([&](CaptureParams& params) {
    params.rect = rect;
    params.area = rect;
    params.sampletime = sampletime;
    params.set(CaptureFlag::OptCapture, optimise);
    params.set(CaptureFlag::OptDeliver, optimise);
  });
}

// The filter into a frame counter and Wine's Null Renderer, run for `seconds` after half a
// second of settling.
int runFilter(const char* name, const ParamRect& rect, int64_t sampletime, bool optimise,
              int seconds) {
  HRESULT hr = S_OK;
  ComPtr<CaptureFilter> capture = static_cast<CaptureFilter*>(CaptureFilter::create(nullptr, &hr));
  if (!capture || FAILED(hr)) return fail("creating the capture filter", hr);
  setCaptureParams(capture->settings(), rect, sampletime, optimise);

  FrameCounter counter;
  ComPtr<IGraphBuilder> graph;
  ComPtr<IBaseFilter> grabber;
  ComPtr<IBaseFilter> renderer;
  ComPtr<ISampleGrabber> grabberControl;
  if (FAILED(hr = ::CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_PPV_ARGS(&graph))) ||
      FAILED(hr = ::CoCreateInstance(kSampleGrabber, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_PPV_ARGS(&grabber))) ||
      FAILED(hr = ::CoCreateInstance(kNullRenderer, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_PPV_ARGS(&renderer))) ||
      FAILED(hr = grabber.As(&grabberControl)) ||
      FAILED(hr = grabberControl->SetCallback(&counter, 0))) {
    return fail("creating the graph", hr);
  }
  IBaseFilter* source = capture.Get();
  graph->AddFilter(source, L"capture");
  graph->AddFilter(grabber.Get(), L"counter");
  graph->AddFilter(renderer.Get(), L"renderer");
  // As the recorder runs it: on our clock (Wine's default one can hang the release).
  UseBaseReferenceClock(graph.Get());
  if (FAILED(hr = graph->ConnectDirect(firstPin(source, PINDIR_OUTPUT).Get(),
                                       firstPin(grabber.Get(), PINDIR_INPUT).Get(), nullptr)) ||
      FAILED(hr = graph->ConnectDirect(firstPin(grabber.Get(), PINDIR_OUTPUT).Get(),
                                       firstPin(renderer.Get(), PINDIR_INPUT).Get(), nullptr))) {
    return fail("connecting", hr);
  }
  ComPtr<IMediaControl> control;
  graph.As(&control);

  const CaptureParams before = capture->pin()->Params();
  if (FAILED(hr = control->Run())) return fail("running", hr);
  ::Sleep(500);  // let the stream settle
  const long startFrames = counter.frames.load();
  MeasuredWindow window;
  ::Sleep(static_cast<DWORD>(seconds * 1000));
  const long delivered = counter.frames.load();
  window.end();
  control->Stop();

  report(name, before.frameSize.cx, before.frameSize.cy, delivered - startFrames, window,
         delivered);
  return delivered > 0 ? 0 : 1;
}

// BitBlt from the desktop window's DC into a section of the screen's depth, nothing else: the
// rate the platform allows, which the filter's flat-out rate is held against.
int runBare(int width, int height, int seconds) {
  WindowDC screen(::GetDesktopWindow(), WindowDC::WholeWindow);
  if (!screen) return fail("GetWindowDC", E_FAIL);
  const int bits = ::GetDeviceCaps(screen.get(), BITSPIXEL);
  struct {
    BITMAPINFOHEADER header;
    DWORD masks[3];
  } info;
  std::memset(&info, 0, sizeof(info));
  info.header.biSize = sizeof(info.header);
  info.header.biWidth = width;
  info.header.biHeight = -height;
  info.header.biPlanes = 1;
  info.header.biBitCount = static_cast<WORD>(bits == 15 ? 16 : bits);
  info.header.biCompression = BI_RGB;
  if (bits == 16) {  // plain 16-bit RGB means 5-5-5; the screen's is 5-6-5
    info.header.biCompression = BI_BITFIELDS;
    info.masks[0] = 0xF800;
    info.masks[1] = 0x07E0;
    info.masks[2] = 0x001F;
  }
  void* sectionBits = nullptr;
  ScopedBitmap section(::CreateDIBSection(screen.get(), reinterpret_cast<BITMAPINFO*>(&info),
                                          DIB_RGB_COLORS, &sectionBits, nullptr, 0));
  UniqueMemoryDC memory(::CreateCompatibleDC(screen.get()));
  if (!section || !memory) return fail("creating the section", E_FAIL);
  SelectObjectGuard selected(memory.get(), section.get());
  if (!selected.selected()) return fail("selecting the section", E_FAIL);

  auto blit = [&] {
    const BOOL copied = ::BitBlt(memory.get(), 0, 0, width, height, screen.get(), 0, 0, SRCCOPY);
    ::GdiFlush();  // as the filter does before it reads the bits
    return copied;
  };
  for (int i = 0; i < 5; ++i) {
    if (!blit()) return fail("BitBlt", HRESULT_FROM_WIN32(::GetLastError()));
  }
  long frames = 0;
  MeasuredWindow window;
  const double stop = wallSeconds() + seconds;
  do {
    blit();
    ++frames;
  } while (wallSeconds() < stop);
  window.end();
  report("bare", width, height, frames, window, frames);
  return 0;
}

// The filter's own 800x600 rectangle at its default 25 fps, centred on the desktop.
int runStatic(bool optimise, int seconds) {
  const int width = 800;
  const int height = 600;
  const int left = (::GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  const int top = (::GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  return runFilter(optimise ? "static-opt-on" : "static-opt-off",
                   {left, top, left + width, top + height}, 400000, optimise, seconds);
}

int usage() {
  std::fprintf(stderr,
               "usage: capture_bench WIDTH HEIGHT SECONDS\n"
               "       capture_bench bare WIDTH HEIGHT SECONDS\n"
               "       capture_bench static on|off SECONDS\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  ComApartment apartment(COINIT_MULTITHREADED);
  if (argc == 5 && std::strcmp(argv[1], "bare") == 0) {
    return runBare(std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]));
  }
  if (argc == 4 && std::strcmp(argv[1], "static") == 0) {
    const bool on = std::strcmp(argv[2], "on") == 0;
    if (!on && std::strcmp(argv[2], "off") != 0) return usage();
    return runStatic(on, std::atoi(argv[3]));
  }
  if (argc != 4) return usage();
  const int width = std::atoi(argv[1]);
  const int height = std::atoi(argv[2]);
  // 0.1 ms: far below a grab, so the filter runs flat out.
  return runFilter("zelkgrab", {0, 0, width, height}, 1000, false, std::atoi(argv[3]));
}
