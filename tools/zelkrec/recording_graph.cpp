// Graph building and control for the recorder.
#include "tools/zelkrec/recording_graph.h"

#include "tools/zelkrec/graph_events.h"
#include "tools/zelkrec/stream_file_sink.h"
#include "common/win_raii.h"
#include "dshow/reference_clock.h"

using Microsoft::WRL::ComPtr;

namespace {

void clearMediaType(AM_MEDIA_TYPE& type) {
  ::CoTaskMemFree(type.pbFormat);
  type.pbFormat = nullptr;
  type.cbFormat = 0;
  if (type.pUnk) type.pUnk->Release();
  type.pUnk = nullptr;
}

const VIDEOINFOHEADER* videoInfo(const AM_MEDIA_TYPE& type) {
  if (type.formattype != FORMAT_VideoInfo || type.cbFormat < sizeof(VIDEOINFOHEADER) ||
      !type.pbFormat) {
    return nullptr;
  }
  return reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat);
}

}  // namespace

void TaskMediaTypeDeleter::operator()(AM_MEDIA_TYPE* type) const {
  clearMediaType(*type);
  ::CoTaskMemFree(type);
}

const char* subtypeName(const GUID& subtype) {
  if (subtype == MEDIASUBTYPE_RGB32) return "RGB32";
  if (subtype == MEDIASUBTYPE_RGB24) return "RGB24";
  if (subtype == MEDIASUBTYPE_RGB565) return "RGB565";
  if (subtype == MEDIASUBTYPE_RGB555) return "RGB555";
  if (subtype == MEDIASUBTYPE_RGB8) return "RGB8";
  return "other";
}

HRESULT RecordingGraph::build(IBaseFilter* capture, IBaseFilter* encoder,
                              const CaptureSettings& settings, const std::wstring& file,
                              FrameCounter* counter, FrameConsumer* pictures) {
  step_ = "creating the filter graph manager";
  HRESULT hr =
      ::CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&graph_));
  if (FAILED(hr)) return hr;
  step_ = "creating the capture graph builder";
  hr = ::CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER,
                          IID_PPV_ARGS(&builder_));
  if (FAILED(hr)) return hr;
  hr = builder_->SetFiltergraph(graph_.Get());
  if (FAILED(hr)) return hr;

  step_ = "adding the capture filter to the graph";
  hr = graph_->AddFilter(capture, L"Capture");
  if (FAILED(hr)) return hr;
  hr = configureCapture(capture, settings);
  if (FAILED(hr)) return hr;
  hr = addFrameTap(counter, pictures);
  if (FAILED(hr)) return hr;
  if (encoder) {
    step_ = "adding the encoder to the graph";
    hr = graph_->AddFilter(encoder, L"Encoder");
    if (FAILED(hr)) return hr;
  }

  hr = addFileOutput(file);
  if (FAILED(hr)) return hr;

  hr = connectStream(capture, encoder);
  if (FAILED(hr)) return hr;
  return readConnectedFormat(capture);
}

HRESULT RecordingGraph::configureCapture(IBaseFilter* capture, const CaptureSettings& settings) {
  step_ = "finding the capture pin's stream configuration";
  ComPtr<IAMStreamConfig> config;
  HRESULT hr = builder_->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, capture,
                                       IID_IAMStreamConfig, &config);
  if (FAILED(hr)) return hr;

  if (settings.period) {
    step_ = "setting the frame period";
    AM_MEDIA_TYPE* current = nullptr;
    hr = config->GetFormat(&current);
    if (FAILED(hr)) return hr;
    TaskMediaType owner(current);
    if (!videoInfo(*current)) return VFW_E_INVALIDMEDIATYPE;
    reinterpret_cast<VIDEOINFOHEADER*>(current->pbFormat)->AvgTimePerFrame = *settings.period;
    hr = config->SetFormat(current);
    if (FAILED(hr)) return hr;
  }

  // The pin connects with exactly this type: it names the frame period, which the mux writes
  // into the file's header.
  step_ = "reading the capture format";
  AM_MEDIA_TYPE* format = nullptr;
  hr = config->GetFormat(&format);
  if (FAILED(hr)) return hr;
  captureType_.reset(format);
  return videoInfo(*format) ? S_OK : VFW_E_INVALIDMEDIATYPE;
}

HRESULT RecordingGraph::addFrameTap(FrameCounter* counter, FrameConsumer* pictures) {
  step_ = "adding the frame counter to the graph";
  tap_ = new FrameTap(counter, pictures);
  return graph_->AddFilter(tap_.Get(), L"Frame counter");
}

// The builder's own file output (AVI Mux and File Writer) where it exists. Wine's builder does
// not implement SetOutputFileName, and Wine's File Writer lacks the IStream on its pin that the
// mux writes through, so there the mux feeds a sink of our own.
HRESULT RecordingGraph::addFileOutput(const std::wstring& file) {
  step_ = "adding the AVI Mux and the File Writer";
  HRESULT hr = builder_->SetOutputFileName(&MEDIASUBTYPE_Avi, file.c_str(), &mux_, &sink_);
  if (FAILED(hr)) {
    sink_.Reset();
    mux_.Reset();
    hr = addMuxAndSink(file);
  }
  if (FAILED(hr)) return hr;

  // Wine's mux writes nothing but fully interleaved files; with one stream that is no loss.
  ComPtr<IConfigInterleaving> interleaving;
  if (SUCCEEDED(mux_.As(&interleaving))) interleaving->put_Mode(INTERLEAVE_FULL);
  return S_OK;
}

HRESULT RecordingGraph::addMuxAndSink(const std::wstring& file) {
  step_ = "creating the AVI Mux";
  HRESULT hr =
      ::CoCreateInstance(CLSID_AviDest, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&mux_));
  if (FAILED(hr)) return hr;
  hr = graph_->AddFilter(mux_.Get(), L"AVI Mux");
  if (FAILED(hr)) return hr;

  step_ = "setting up the file sink";
  ComPtr<StreamFileSink> sink(new StreamFileSink);
  hr = sink->SetFileName(file.c_str(), nullptr);
  if (FAILED(hr)) return hr;
  hr = graph_->AddFilter(sink.Get(), L"File sink");
  if (FAILED(hr)) return hr;
  sink_ = sink;

  step_ = "connecting the AVI Mux to the file sink";
  ComPtr<IPin> muxOut;
  hr = builder_->FindPin(mux_.Get(), PINDIR_OUTPUT, nullptr, nullptr, TRUE, 0, &muxOut);
  if (FAILED(hr)) return hr;
  ComPtr<IPin> sinkIn;
  hr = builder_->FindPin(static_cast<IBaseFilter*>(sink.Get()), PINDIR_INPUT, nullptr, nullptr,
                         TRUE, 0, &sinkIn);
  if (FAILED(hr)) return hr;
  return graph_->ConnectDirect(muxOut.Get(), sinkIn.Get(), nullptr);
}

// Pin by pin rather than RenderStream: Wine's builder puts a Smart Tee after the capture pin,
// and the mux then fails to start (its sample allocator is never given properties).
HRESULT RecordingGraph::connectStream(IBaseFilter* capture, IBaseFilter* encoder) {
  step_ = "finding the capture pin";
  ComPtr<IPin> captureOut;
  HRESULT hr = builder_->FindPin(capture, PINDIR_OUTPUT, &PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video,
                                 TRUE, 0, &captureOut);
  if (FAILED(hr)) return hr;
  step_ = "connecting the capture pin to the frame counter";
  ComPtr<IPin> tapIn;
  hr = builder_->FindPin(tap_.Get(), PINDIR_INPUT, nullptr, nullptr, TRUE, 0, &tapIn);
  if (FAILED(hr)) return hr;
  hr = graph_->ConnectDirect(captureOut.Get(), tapIn.Get(), captureType_.get());
  if (FAILED(hr)) return hr;

  if (!encoder) {
    step_ = "connecting the frame counter to the AVI Mux";
    return connectPins(tap_.Get(), mux_.Get());
  }
  step_ = "connecting the frame counter to the encoder";
  hr = connectPins(tap_.Get(), encoder);
  if (FAILED(hr)) return hr;
  step_ = "connecting the encoder to the AVI Mux";
  return connectPins(encoder, mux_.Get());
}

// The first free output pin of `from` straight to the first free input pin of `to`.
HRESULT RecordingGraph::connectPins(IBaseFilter* from, IBaseFilter* to) {
  ComPtr<IPin> out;
  HRESULT hr = builder_->FindPin(from, PINDIR_OUTPUT, nullptr, nullptr, TRUE, 0, &out);
  if (FAILED(hr)) return hr;
  ComPtr<IPin> in;
  hr = builder_->FindPin(to, PINDIR_INPUT, nullptr, nullptr, TRUE, 0, &in);
  if (FAILED(hr)) return hr;
  return graph_->ConnectDirect(out.Get(), in.Get(), nullptr);
}

HRESULT RecordingGraph::readConnectedFormat(IBaseFilter* capture) {
  step_ = "reading the connected format";
  ComPtr<IPin> pin;
  HRESULT hr = builder_->FindPin(capture, PINDIR_OUTPUT, &PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video,
                                 FALSE, 0, &pin);
  if (FAILED(hr)) return hr;
  AM_MEDIA_TYPE type = {};
  hr = pin->ConnectionMediaType(&type);
  if (FAILED(hr)) return hr;
  const VIDEOINFOHEADER* info = videoInfo(type);
  if (info) {
    format_.width = info->bmiHeader.biWidth;
    format_.height =
        info->bmiHeader.biHeight < 0 ? -info->bmiHeader.biHeight : info->bmiHeader.biHeight;
    format_.bitCount = info->bmiHeader.biBitCount;
    format_.period = info->AvgTimePerFrame;
  }
  format_.subtype = type.subtype;
  clearMediaType(type);
  if (!info) return VFW_E_INVALIDMEDIATYPE;
  // Wine's AVI Mux divides by the period when it writes the header.
  if (format_.period <= 0) {
    step_ = "checking the connected format (it names no frame period)";
    return VFW_E_INVALIDMEDIATYPE;
  }
  return S_OK;
}

HRESULT RecordingGraph::run() {
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

HRESULT RecordingGraph::stop() {
  step_ = "stopping the graph";
  if (tap_) tap_->close();
  ComPtr<IMediaControl> control;
  HRESULT hr = graph_.As(&control);
  if (FAILED(hr)) return hr;
  return control->Stop();
}

void RecordingGraph::release() {
  sink_.Reset();
  mux_.Reset();
  tap_.Reset();
  builder_.Reset();
  graph_.Reset();
}

HRESULT RecordingGraph::pollEvents(bool* ended) {
  const HRESULT error = drainGraphEvents(graph_.Get(), ended);
  if (error != S_OK) step_ = "recording (the graph reported an error)";
  return error;
}
