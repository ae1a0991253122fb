// Graph building and control for playback.
#include "tools/zelkrec/playback_graph.h"

#include "tools/zelkrec/console_text.h"
#include "tools/zelkrec/fourcc.h"
#include "tools/zelkrec/graph_events.h"
#include "dshow/reference_clock.h"

using Microsoft::WRL::ComPtr;

namespace {

// {BF4F1E7E-1AD1-4CA2-9C01-359CDD8F5DA5}: the one place that names the decoder's class; it
// must match the class Zelkdec.ax registers.
const CLSID kZelkdec = {
    0xBF4F1E7E, 0x1AD1, 0x4CA2, {0x9C, 0x01, 0x35, 0x9C, 0xDD, 0x8F, 0x5D, 0xA5}};
constexpr wchar_t kZelkdecModule[] = L"Zelkdec.ax";

// The filter's first pin of `direction`.
HRESULT findPin(IBaseFilter* filter, PIN_DIRECTION direction, ComPtr<IPin>* found) {
  ComPtr<IEnumPins> pins;
  HRESULT hr = filter->EnumPins(&pins);
  if (FAILED(hr)) return hr;
  ComPtr<IPin> pin;
  while (pins->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
    PIN_DIRECTION pinDirection;
    if (SUCCEEDED(pin->QueryDirection(&pinDirection)) && pinDirection == direction) {
      *found = pin;
      return S_OK;
    }
  }
  return VFW_E_NOT_FOUND;
}

}  // namespace

HRESULT PlaybackGraph::build(std::shared_ptr<const AviRecording> recording, FrameConsumer* consumer,
                             FilterModule* decoderModule) {
  step_ = "creating the filter graph manager";
  HRESULT hr =
      ::CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&graph_));
  if (FAILED(hr)) return hr;

  const AviVideoFormat video = recording->video();
  step_ = "adding the AVI source to the graph";
  source_ = new AviSourceFilter(std::move(recording));
  hr = graph_->AddFilter(source_.Get(), L"AVI source");
  if (FAILED(hr)) return hr;
  step_ = "adding the frame sink to the graph";
  sink_ = new FrameSink(consumer);
  hr = graph_->AddFilter(sink_.Get(), L"Frame sink");
  if (FAILED(hr)) return hr;

  IPin* sourceOut = source_->GetPin(0);
  IPin* sinkIn = sink_->GetPin(0);
  if (video.compression == kZlkcCompression) {
    return connectThroughZelkdec(sourceOut, sinkIn, decoderModule);
  }
  // Connect tries the pins directly first, and then with filters in between.
  step_ = video.uncompressed()
              ? "connecting the AVI source to the frame sink"
              : "finding a decoder for the " + fourccText(video.compression) + " stream";
  return graph_->Connect(sourceOut, sinkIn);
}

HRESULT PlaybackGraph::connectThroughZelkdec(IPin* sourceOut, IPin* sinkIn,
                                             FilterModule* decoderModule) {
  step_ = "creating the ZLKC decoder";
  HRESULT hr =
      decoderModule->createFilter(kZelkdecModule, kZelkdec, decoder_.ReleaseAndGetAddressOf());
  if (FAILED(hr)) {
    step_ = decoderModule->fromRegistration()
                ? "creating the registered ZLKC decoder"
                : "no decoder for the ZLKC stream: Zelkdec is not registered, and loading " +
                      toUtf8(decoderModule->source().empty() ? std::wstring(kZelkdecModule)
                                                             : decoderModule->source());
    return hr;
  }
  step_ = "adding Zelkdec to the graph";
  hr = graph_->AddFilter(decoder_.Get(), L"Zelkdec");
  if (FAILED(hr)) return hr;
  ComPtr<IPin> decoderIn;
  ComPtr<IPin> decoderOut;
  step_ = "finding Zelkdec's pins";
  hr = findPin(decoder_.Get(), PINDIR_INPUT, &decoderIn);
  if (SUCCEEDED(hr)) hr = findPin(decoder_.Get(), PINDIR_OUTPUT, &decoderOut);
  if (FAILED(hr)) return hr;
  step_ = "connecting the AVI source to Zelkdec";
  hr = graph_->ConnectDirect(sourceOut, decoderIn.Get(), nullptr);
  if (FAILED(hr)) return hr;
  step_ = "connecting Zelkdec to the frame sink";
  return graph_->ConnectDirect(decoderOut.Get(), sinkIn, nullptr);
}

HRESULT PlaybackGraph::run() {
  step_ = "starting the graph";
  ComPtr<IMediaControl> control;
  HRESULT hr = graph_.As(&control);
  if (FAILED(hr)) return hr;
  // Not the graph's default clock, which can hang its release under Wine; without ours the
  // default one serves. Set now that every filter is in the graph, so each of them gets it.
  UseBaseReferenceClock(graph_.Get());
  // S_FALSE only says the change goes on asynchronously; frames tell when it streams.
  return control->Run();
}

HRESULT PlaybackGraph::stop() {
  step_ = "stopping the graph";
  ComPtr<IMediaControl> control;
  HRESULT hr = graph_.As(&control);
  if (FAILED(hr)) return hr;
  return control->Stop();
}

void PlaybackGraph::release() {
  decoder_.Reset();
  source_.Reset();
  graph_.Reset();
}

HRESULT PlaybackGraph::pollEvents() {
  bool ended = false;
  const HRESULT error = drainGraphEvents(graph_.Get(), &ended);
  if (error != S_OK) step_ = "playing (the graph reported an error)";
  return error;
}
