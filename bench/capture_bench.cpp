// Capture throughput: frames per second and CPU time per frame of the capture filter into a
// null sink, at a given capture size, as fast as the filter can go (a period far below the
// grab time, so every sample waits only for the grab). Prints one line for the driver script:
//   zelkgrab WIDTHxHEIGHT frames=N seconds=S fps=F cpu_ms_per_frame=C
#include <windows.h>
#include <dshow.h>
#include <initguid.h>
#include <qedit.h>
#include <wrl/client.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "capture/capture_filter.h"
#include "capture/capture_pin.h"
#include "common/win_raii.h"

using Microsoft::WRL::ComPtr;

namespace {

const CLSID kNullRenderer = {
    0xC1F400A4, 0x3F08, 0x11D3, {0x9F, 0x0B, 0x00, 0x60, 0x08, 0x03, 0x9E, 0x37}};
const CLSID kSampleGrabber = {
    0xC1F400A0, 0x3F08, 0x11D3, {0x9F, 0x0B, 0x00, 0x60, 0x08, 0x03, 0x9E, 0x37}};

// Counts the frames that pass; lives as long as main.
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

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: capture_bench WIDTH HEIGHT SECONDS\n");
    return 2;
  }
  const int width = std::atoi(argv[1]);
  const int height = std::atoi(argv[2]);
  const int seconds = std::atoi(argv[3]);
  ComApartment apartment(COINIT_MULTITHREADED);

  HRESULT hr = S_OK;
  ComPtr<CaptureFilter> capture = static_cast<CaptureFilter*>(CaptureFilter::create(nullptr, &hr));
  if (!capture || FAILED(hr)) return fail("creating the capture filter", hr);
  capture->settings().change([&](CaptureParams& params) {
    params.rect = {0, 0, width, height};
    params.area = params.rect;
    params.sampletime = 1000;  // 0.1 ms: far below a grab, so the filter runs flat out
  });

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
  const double startCpu = processCpuSeconds();
  const ULONGLONG startTick = ::GetTickCount64();
  ::Sleep(static_cast<DWORD>(seconds * 1000));
  const long frames = counter.frames.load() - startFrames;
  const double cpu = processCpuSeconds() - startCpu;
  const double elapsed = static_cast<double>(::GetTickCount64() - startTick) / 1000.0;
  control->Stop();

  std::printf("zelkgrab %dx%d frames=%ld seconds=%.2f fps=%.1f cpu_ms_per_frame=%.3f\n",
              before.frameSize.cx, before.frameSize.cy, frames, elapsed, frames / elapsed,
              frames > 0 ? cpu * 1000.0 / frames : 0.0);
  return frames > 0 ? 0 : 1;
}
