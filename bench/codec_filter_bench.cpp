// The encoder filter as applications run it: Zelkenc.ax loaded from its module under Wine, in a
// graph of Wine's filter graph manager between a source that pushes the generated desktop
// sequence and a sink, beside the encoder core coding the same frames in the same process.
// The ratio shows what the filter and the graph add to the core's work. Single-threaded: the
// source pushes on this thread and the filter encodes on it.
//   codec_filter_bench [FRAMES]   (default 120, 1280 x 720, zlib level 6)
#include <windows.h>
#include <dshow.h>
#include <wrl/client.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "bench/desktop_scene.h"
#include "codec/frame_encoder.h"
#include "codec/frame_format.h"
#include "codec/zlkc_media_type.h"
#include "codec_test_filters.h"
#include "common/com_registration.h"
#include "common/module_proc.h"
#include "common/win_raii.h"
#include "graph_support.h"

using Microsoft::WRL::ComPtr;
using Clock = std::chrono::steady_clock;

namespace {

constexpr LONG kWidth = 1280;
constexpr LONG kHeight = 720;
constexpr DWORD kLevel = 6;
constexpr REFERENCE_TIME kPeriod = 400000;
constexpr wchar_t kSettingsKey[] = L"SOFTWARE\\MorvainLabs\\Zelkenc";
// {638C2936-2071-4BEC-BD3F-EAA0C8F10F3F}
const CLSID kZelkenc = {
    0x638C2936, 0x2071, 0x4BEC, {0xBD, 0x3F, 0xEA, 0xA0, 0xC8, 0xF1, 0x0F, 0x3F}};

struct Figures {
  double seconds = 0;
  size_t outputBytes = 0;
};

int failed(const char* what, HRESULT hr) {
  std::fprintf(stderr, "codec_filter_bench: %s failed: 0x%08lX\n", what,
               static_cast<unsigned long>(hr));
  return 1;
}

// Every new encoder reads its level from here; the benchmark leaves no setting behind.
class EncoderLevel {
 public:
  explicit EncoderLevel(DWORD level) {
    UniqueRegKey key;
    ok_ = ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kSettingsKey, 0, nullptr, 0, KEY_SET_VALUE,
                            nullptr, key.put(), nullptr) == ERROR_SUCCESS &&
          ::RegSetValueExW(key.get(), L"quality", 0, REG_DWORD,
                           reinterpret_cast<const BYTE*>(&level), sizeof(level)) == ERROR_SUCCESS;
  }
  ~EncoderLevel() { ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kSettingsKey); }
  bool ok() const { return ok_; }

 private:
  bool ok_ = false;
};

HRESULT createEncoder(HMODULE module, ComPtr<IBaseFilter>* encoder) {
  using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
  auto getClassObject = moduleProc<GetClassObjectFn>(module, "DllGetClassObject");
  if (!getClassObject) return HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
  ComPtr<IClassFactory> factory;
  HRESULT hr = getClassObject(kZelkenc, IID_IClassFactory,
                              reinterpret_cast<void**>(factory.GetAddressOf()));
  if (FAILED(hr)) return hr;
  return factory->CreateInstance(nullptr, IID_IBaseFilter,
                                 reinterpret_cast<void**>(encoder->ReleaseAndGetAddressOf()));
}

HRESULT connect(IGraphBuilder* graph, IBaseFilter* from, IBaseFilter* to) {
  ComPtr<IPin> out = graph_support::findPin(from, PINDIR_OUTPUT);
  ComPtr<IPin> in = graph_support::findPin(to, PINDIR_INPUT);
  if (!out || !in) return E_UNEXPECTED;
  return graph->ConnectDirect(out.Get(), in.Get(), nullptr);
}

HRESULT runFilter(HMODULE module, const std::vector<std::vector<uint32_t>>& frames,
                  Figures* figures) {
  ComPtr<IGraphBuilder> graph;
  HRESULT hr = ::CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IGraphBuilder, reinterpret_cast<void**>(graph.GetAddressOf()));
  if (FAILED(hr)) return hr;
  ComPtr<IMediaFilter> timing;
  hr = graph.As(&timing);
  if (FAILED(hr)) return hr;
  // As fast as the filter goes: no clock holds the samples back.
  timing->SetSyncSource(nullptr);

  const LONG frameBytes = kWidth * kHeight * 4;
  ComPtr<codec_graph::PushSource> source = new codec_graph::PushSource(
      codec_graph::videoType(MEDIASUBTYPE_RGB32, kWidth, kHeight), 4, frameBytes);
  ComPtr<codec_graph::RecordingSink> sink = new codec_graph::RecordingSink(MEDIASUBTYPE_ZLKC);
  ComPtr<IBaseFilter> encoder;
  hr = createEncoder(module, &encoder);
  if (FAILED(hr)) return hr;
  for (auto [filter, name] : {std::pair<IBaseFilter*, const wchar_t*>{source.Get(), L"source"},
                              {encoder.Get(), L"Zelkenc"},
                              {sink.Get(), L"sink"}}) {
    hr = graph->AddFilter(filter, name);
    if (FAILED(hr)) return hr;
  }
  hr = connect(graph.Get(), source.Get(), encoder.Get());
  if (SUCCEEDED(hr)) hr = connect(graph.Get(), encoder.Get(), sink.Get());
  if (FAILED(hr)) return hr;
  ComPtr<IMediaControl> control;
  hr = graph.As(&control);
  if (FAILED(hr)) return hr;
  hr = control->Pause();
  if (FAILED(hr)) return hr;

  Clock::duration spent{};
  for (size_t i = 0; i < frames.size(); ++i) {
    codec_graph::SampleFlags flags;
    flags.start = static_cast<REFERENCE_TIME>(i) * kPeriod;
    flags.stop = flags.start + kPeriod;
    const auto started = Clock::now();
    hr = source->pin()->push(frames[i].data(), static_cast<size_t>(frameBytes), flags);
    spent += Clock::now() - started;
    if (FAILED(hr)) break;
  }
  control->Stop();
  if (FAILED(hr)) return hr;
  const std::vector<codec_graph::ReceivedSample> samples = sink->samples();
  if (samples.size() != frames.size()) return E_UNEXPECTED;
  for (const auto& sample : samples) figures->outputBytes += sample.data.size();
  figures->seconds = std::chrono::duration<double>(spent).count();
  return S_OK;
}

// The codec core alone, on the same frames, in the same process.
class VectorFrame final : public codec::SourceFrame {
 public:
  explicit VectorFrame(std::vector<uint32_t> pixels) : pixels_(std::move(pixels)) {}
  uint8_t* data() override { return reinterpret_cast<uint8_t*>(pixels_.data()); }
  size_t length() const override { return pixels_.size() * 4; }

 private:
  std::vector<uint32_t> pixels_;
};

HRESULT runCore(const std::vector<std::vector<uint32_t>>& frames, Figures* figures) {
  codec::FrameEncoder encoder;
  encoder.setLevel(kLevel);
  std::vector<uint8_t> out(codec::sampleCapacity(static_cast<size_t>(kWidth) * kHeight * 4));
  Clock::duration spent{};
  for (const auto& frame : frames) {
    // The copy stands for the source filling its sample; it is not timed.
    auto source = std::make_unique<VectorFrame>(frame);
    codec::EncodedSample sample;
    const auto started = Clock::now();
    HRESULT hr = encoder.encode(std::move(source), kWidth, kHeight, out.data(), out.size(), &sample);
    spent += Clock::now() - started;
    if (FAILED(hr)) return hr;
    figures->outputBytes += sample.length;
  }
  figures->seconds = std::chrono::duration<double>(spent).count();
  return S_OK;
}

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 120;
  if (count < 2 || count > 10000) {
    std::fprintf(stderr, "usage: codec_filter_bench [FRAMES from 2 to 10000]\n");
    return 2;
  }
  ComApartment apartment(COINIT_MULTITHREADED);
  if (FAILED(apartment.result())) return failed("initialising COM", apartment.result());
  EncoderLevel level(kLevel);
  if (!level.ok()) return failed("storing the encoder's level", E_FAIL);

  std::wstring path = modulePath(nullptr);
  path = path.substr(0, path.find_last_of(L"\\/") + 1) + L"Zelkenc.ax";
  UniqueModule module(::LoadLibraryW(path.c_str()));
  if (!module) return failed("loading Zelkenc.ax", HRESULT_FROM_WIN32(::GetLastError()));

  const DesktopScene scene(kWidth, kHeight);
  std::vector<std::vector<uint32_t>> frames(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    frames[i].resize(static_cast<size_t>(kWidth) * kHeight);
    scene.draw(i, frames[i].data());
  }

  // One short warm-up run of each, then the measured ones.
  Figures warmFilter, warmCore, filter, core;
  const std::vector<std::vector<uint32_t>> warmFrames(frames.begin(), frames.begin() + 2);
  HRESULT hr = runFilter(module.get(), warmFrames, &warmFilter);
  if (SUCCEEDED(hr)) hr = runCore(warmFrames, &warmCore);
  if (SUCCEEDED(hr)) hr = runFilter(module.get(), frames, &filter);
  if (FAILED(hr)) return failed("encoding through the filter", hr);
  hr = runCore(frames, &core);
  if (FAILED(hr)) return failed("encoding with the core", hr);
  if (filter.outputBytes != core.outputBytes) {
    std::fprintf(stderr, "codec_filter_bench: the filter wrote %zu bytes, the core %zu\n",
                 filter.outputBytes, core.outputBytes);
    return 1;
  }

  const double megabytes = static_cast<double>(count) * kWidth * kHeight * 4 / 1e6;
  std::printf("encoder filter under Wine: Zelkenc.ax in a graph beside the codec core, %ldx%ld, "
              "%d frames of the generated desktop, level %lu (large records on two threads)\n",
              kWidth, kHeight, count, kLevel);
  std::printf("%-24s %10s %10s %14s\n", "", "frames/s", "MB/s", "output bytes");
  for (auto [name, figures] : {std::pair<const char*, const Figures*>{"Zelkenc filter", &filter},
                               {"codec core", &core}}) {
    std::printf("%-24s %10.1f %10.1f %14zu\n", name, count / figures->seconds,
                megabytes / figures->seconds, figures->outputBytes);
  }
  std::printf("filter/core throughput ratio: %.2f\n", core.seconds / filter.seconds);
  return 0;
}
