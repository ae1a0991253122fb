// The soak's host: a media application that, for MINUTES, builds a graph with the capture
// filter again and again (into a Null Renderer; through the encoder into one; through the
// encoder into the AVI Mux and a file), runs it for a random short time, pauses, runs again, stops
// and tears it all down. One line a cycle on stdout: its length and this process's memory as the
// system reports it. Every KEEP-th file cycle keeps its recording for the script to play back.
//   soak_host MINUTES RUN OUTDIR KEEP [VARIANT | mixed] [keep-stubs]
// RUN numbers the random choices, so that a run can be repeated.
// "keep-stubs" leaves the running-object entries' stubs as Wine keeps them (see below).
// Exit code 0 when every cycle went through, 1 when one failed (the line says where), 2 on bad
// arguments.
#include <windows.h>
#include <dshow.h>
#include <psapi.h>
#include <wrl/client.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <random>
#include <string>

#include "common/win_raii.h"
#include "dshow/reference_clock.h"
#include "tests/soak/filter_document.h"
#include "tests/soak/listed_filters.h"
#include "tools/zelkrec/filter_loader.h"
#include "tools/zelkrec/stream_file_sink.h"

using Microsoft::WRL::ComPtr;

namespace {

const CLSID kZelkgrab = {
    0xCA120208, 0x830C, 0x41EC, {0xA5, 0xF0, 0x69, 0xC2, 0x1F, 0x0E, 0x88, 0xCA}};
const CLSID kZelkenc = {
    0x638C2936, 0x2071, 0x4BEC, {0xBD, 0x3F, 0xEA, 0xA0, 0xC8, 0xF1, 0x0F, 0x3F}};
// Wine's Null Renderer; mingw's headers lack its class id.
const CLSID kNullRenderer = {
    0xC1F400A4, 0x3F08, 0x11D3, {0x9F, 0x0B, 0x00, 0x60, 0x08, 0x03, 0x9E, 0x37}};

// The three graphs take turns; the last two, given on the command line alone, narrow a leak
// down: the capture filter made and let go with no graph, and a graph without our filters.
enum class Variant { Renderer, Encoder, File, FilterOnly, GraphOnly };
const char* const kVariantNames[] = {"renderer", "encoder", "file", "filter-only", "graph-only"};

struct Failure {
  const char* step;
  HRESULT hr;
};

ComPtr<IPin> firstPin(IBaseFilter* filter, PIN_DIRECTION direction) {
  ComPtr<IEnumPins> pins;
  if (FAILED(filter->EnumPins(&pins))) return nullptr;
  ComPtr<IPin> pin;
  while (pins->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
    PIN_DIRECTION found;
    ComPtr<IPin> peer;
    if (SUCCEEDED(pin->QueryDirection(&found)) && found == direction &&
        pin->ConnectedTo(&peer) == VFW_E_NOT_CONNECTED) {
      return pin;
    }
  }
  return nullptr;
}

// With the output pin's current format when it has one (the capture pin), as recorders do.
HRESULT connect(IGraphBuilder* graph, IBaseFilter* from, IBaseFilter* to) {
  ComPtr<IPin> out = firstPin(from, PINDIR_OUTPUT);
  ComPtr<IPin> in = firstPin(to, PINDIR_INPUT);
  if (!out || !in) return VFW_E_NOT_FOUND;
  ComPtr<IAMStreamConfig> config;
  AM_MEDIA_TYPE* type = nullptr;
  if (SUCCEEDED(out.As(&config))) config->GetFormat(&type);
  const HRESULT hr = graph->ConnectDirect(out.Get(), in.Get(), type);
  if (type) {
    ::CoTaskMemFree(type->pbFormat);
    if (type->pUnk) type->pUnk->Release();
    ::CoTaskMemFree(type);
  }
  return hr;
}

HRESULT addNew(IGraphBuilder* graph, REFCLSID clsid, const wchar_t* name,
               ComPtr<IBaseFilter>* filter) {
  HRESULT hr = ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_PPV_ARGS(filter->ReleaseAndGetAddressOf()));
  return SUCCEEDED(hr) ? graph->AddFilter(filter->Get(), name) : hr;
}

// A small area, so that the recordings stay small; the control client moves it around.
HRESULT setSmallArea(IBaseFilter* capture) {
  return putFilterDocument(
      capture,
      L"<configuration><params><rect left=\"100\" top=\"100\" right=\"420\" bottom=\"340\"/>"
      L"<flags trackwnd=\"0\" trackscr=\"0\" trackmouse=\"0\" resize=\"0\" outputsize=\"0\"/>"
      L"</params></configuration>");
}

// Wine keeps every interface a remote client obtained through a running-object entry in the
// entry object's stubs for as long as the entry is listed, even after the client let go; the
// filter, which lists itself until it is destroyed, then lives for ever. Disconnecting the
// entry's object lets them go (a client's release does on Windows), so that the soak measures
// the filter and not that retention. Without it every filter the client touched stays alive.
void disconnectListedFilters() {
  ComPtr<IRunningObjectTable> table;
  if (FAILED(::GetRunningObjectTable(0, &table))) return;
  for (const ComPtr<IMoniker>& entry : listedFilters(table.Get(), ::GetCurrentProcessId())) {
    ComPtr<IUnknown> object;
    if (SUCCEEDED(table->GetObject(entry.Get(), &object)) && object) {
      ::CoDisconnectObject(object.Get(), 0);
    }
  }
}

class Cycle {
 public:
  Cycle(FilterModule* captureModule, FilterModule* encoderModule, std::mt19937* random)
      : captureModule_(captureModule), encoderModule_(encoderModule), random_(random) {}

  // One graph from start to end; `file` is the recording of a File cycle.
  bool run(Variant variant, const std::wstring& file, Failure* failure) {
    if (variant == Variant::FilterOnly) {
      const HRESULT hr = captureModule_->createFilter(L"Zelkgrab.ax", kZelkgrab, &capture_);
      return check(hr, "creating the capture filter", failure) &&
             check(setSmallArea(capture_.Get()), "setting the area", failure);
    }
    if (variant == Variant::GraphOnly) {
      HRESULT hr = ::CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_PPV_ARGS(&graph_));
      if (SUCCEEDED(hr)) hr = addNew(graph_.Get(), kNullRenderer, L"renderer", &last_);
      if (SUCCEEDED(hr)) hr = UseBaseReferenceClock(graph_.Get());
      ComPtr<IMediaControl> control;
      if (SUCCEEDED(hr)) hr = graph_.As(&control);
      if (SUCCEEDED(hr)) hr = control->Run();
      if (SUCCEEDED(hr)) hr = control->Stop();
      return check(hr, "running a graph of Wine's filters", failure);
    }
    if (!build(variant, file, failure)) return false;
    ComPtr<IMediaControl> control;
    if (!check(graph_.As(&control), "asking for IMediaControl", failure)) return false;
    if (!check(control->Run(), "running", failure)) return false;
    pause(100, 600);
    if (!check(control->Pause(), "pausing", failure)) return false;
    pause(50, 150);
    if (!check(control->Run(), "running again", failure)) return false;
    pause(100, 400);
    // The source first, as the recorder does: Wine's mux, stopped before its upstream filters
    // as graphs stop, takes a sample still on its way after it let its stream go, and crashes.
    if (!check(capture_->Stop(), "stopping the capture filter", failure)) return false;
    return check(control->Stop(), "stopping", failure);
  }

 private:
  bool check(HRESULT hr, const char* step, Failure* failure) {
    if (SUCCEEDED(hr)) return true;
    *failure = {step, hr};
    return false;
  }

  void pause(int fromMs, int toMs) {
    ::Sleep(std::uniform_int_distribution<int>(fromMs, toMs)(*random_));
  }

  bool build(Variant variant, const std::wstring& file, Failure* failure) {
    HRESULT hr =
        ::CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&graph_));
    if (!check(hr, "creating the graph", failure)) return false;
    hr = captureModule_->createFilter(L"Zelkgrab.ax", kZelkgrab, &capture_);
    if (!check(hr, "creating the capture filter", failure)) return false;
    if (!check(setSmallArea(capture_.Get()), "setting the area", failure)) return false;
    if (!check(graph_->AddFilter(capture_.Get(), L"capture"), "adding the capture filter",
               failure)) {
      return false;
    }
    ComPtr<IBaseFilter> upstream = capture_;
    // Recordings are compressed, as people make them (and Wine's mux refuses the capture pin
    // without a filter in between).
    if (variant != Variant::Renderer) {
      hr = encoderModule_->createFilter(L"Zelkenc.ax", kZelkenc, &encoder_);
      if (SUCCEEDED(hr)) hr = graph_->AddFilter(encoder_.Get(), L"encoder");
      if (SUCCEEDED(hr)) hr = connect(graph_.Get(), capture_.Get(), encoder_.Get());
      if (!check(hr, "adding the encoder", failure)) return false;
      upstream = encoder_;
    }
    if (variant == Variant::File) {
      hr = addNew(graph_.Get(), CLSID_AviDest, L"mux", &last_);
      ComPtr<StreamFileSink> sink(new StreamFileSink);
      if (SUCCEEDED(hr)) hr = sink->SetFileName(file.c_str(), nullptr);
      if (SUCCEEDED(hr)) hr = graph_->AddFilter(sink.Get(), L"file");
      if (!check(hr, "adding the mux and the file", failure)) return false;
      // Wine's mux writes only fully interleaved files, as the recorder sets it.
      ComPtr<IConfigInterleaving> interleaving;
      if (SUCCEEDED(last_.As(&interleaving))) interleaving->put_Mode(INTERLEAVE_FULL);
      // The mux's output first, as the capture graph builder connects a file output.
      hr = connect(graph_.Get(), last_.Get(), sink.Get());
      if (!check(hr, "connecting the mux to the file", failure)) return false;
      hr = connect(graph_.Get(), upstream.Get(), last_.Get());
      if (!check(hr, "connecting the encoder to the mux", failure)) return false;
    } else {
      hr = addNew(graph_.Get(), kNullRenderer, L"renderer", &last_);
      if (SUCCEEDED(hr)) hr = connect(graph_.Get(), upstream.Get(), last_.Get());
      if (!check(hr, "adding the renderer", failure)) return false;
    }
    // Wine's default graph clock can hang the graph's release.
    return check(UseBaseReferenceClock(graph_.Get()), "setting the clock", failure);
  }

  FilterModule* captureModule_;
  FilterModule* encoderModule_;
  std::mt19937* random_;
  // Released in reverse order: the graph first.
  ComPtr<IBaseFilter> capture_;
  ComPtr<IBaseFilter> encoder_;
  ComPtr<IBaseFilter> last_;
  ComPtr<IGraphBuilder> graph_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5 || argc > 7) {
    std::fprintf(stderr, "usage: soak_host MINUTES RUN OUTDIR KEEP [VARIANT] [keep-stubs]\n");
    return 2;
  }
  int only = -1;
  bool keepStubs = false;
  for (int arg = 5; arg < argc; ++arg) {
    const std::string word = argv[arg];
    int named = -1;
    for (int i = 0; i < static_cast<int>(std::size(kVariantNames)); ++i) {
      if (word == kVariantNames[i]) named = i;
    }
    if (word == "keep-stubs") {
      keepStubs = true;
    } else if (named >= 0) {
      only = named;
    } else if (word != "mixed") {
      std::fprintf(stderr, "soak_host: unknown argument '%s'\n", argv[arg]);
      return 2;
    }
  }
  const double minutes = std::atof(argv[1]);
  std::mt19937 random(static_cast<unsigned>(std::strtoul(argv[2], nullptr, 10)));
  const std::string folder = argv[3];
  const int keep = std::atoi(argv[4]);
  if (minutes <= 0 || keep < 1) {
    std::fprintf(stderr, "soak_host: MINUTES and KEEP must be above 0\n");
    return 2;
  }
  // Calls of the control client arrive on the system's threads, not through a message loop.
  ComApartment apartment(COINIT_MULTITHREADED);
  FilterModule captureModule;
  FilterModule encoderModule;
  std::printf("soak_host: started, pid %lu\n", ::GetCurrentProcessId());
  std::fflush(stdout);

  const auto end = std::chrono::steady_clock::now() +
                   std::chrono::milliseconds(static_cast<long long>(minutes * 60000));
  int fileCycles = 0;
  for (int index = 0; std::chrono::steady_clock::now() < end; ++index) {
    const auto variant = static_cast<Variant>(only >= 0 ? only : index % 3);
    std::string file;
    if (variant == Variant::File) {
      file = folder + "\\cycle-" + std::to_string(index) + ".avi";
    }
    const auto started = std::chrono::steady_clock::now();
    Failure failure{};
    bool ok;
    {
      Cycle cycle(&captureModule, &encoderModule, &random);
      ok = cycle.run(variant, std::wstring(file.begin(), file.end()), &failure);
      if (keepStubs == false) disconnectListedFilters();
    }
    const long long ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::steady_clock::now() - started)
                             .count();
    PROCESS_MEMORY_COUNTERS memory = {sizeof memory};
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &memory, sizeof memory);
    const bool kept = variant == Variant::File && ok && fileCycles++ % keep == 0;
    if (variant == Variant::File && !kept) ::DeleteFileA(file.c_str());
    std::printf("cycle %d %s ms %lld pagefile %zu workingset %zu%s%s\n", index,
                kVariantNames[static_cast<int>(variant)], ms, memory.PagefileUsage,
                memory.WorkingSetSize, kept ? " kept " : "", kept ? file.c_str() : "");
    std::fflush(stdout);
    if (!ok) {
      std::printf("soak_host: cycle %d failed %s: 0x%08lX\n", index, failure.step,
                  static_cast<unsigned long>(failure.hr));
      return 1;
    }
  }
  std::printf("soak_host: done\n");
  return 0;
}
