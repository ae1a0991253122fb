// The recording graph: capture filter -> frame tap (counts frames) -> [encoder] -> AVI Mux ->
// file writer, from the pin the capture graph builder finds by its category (capture). The capture filter
// is configured before it connects, since its format is fixed from then on. Used from the
// recorder's one thread.
#pragma once

#include <windows.h>
#include <dshow.h>
#include <wrl/client.h>

#include <memory>
#include <optional>
#include <string>

#include "tools/zelkrec/frame_counter.h"
#include "tools/zelkrec/frame_tap.h"

// What the recorder sets on the capture pin's format before connecting it (the rest goes
// through the filter's settings document first).
struct CaptureSettings {
  std::optional<REFERENCE_TIME> period;  // empty: keep the filter's own
};

// The connected stream, for the start-up line.
struct StreamFormat {
  LONG width = 0;
  LONG height = 0;
  WORD bitCount = 0;
  GUID subtype = GUID_NULL;
  REFERENCE_TIME period = 0;
};

// Frees a media type that came from CoTaskMemAlloc, with its format block.
struct TaskMediaTypeDeleter {
  void operator()(AM_MEDIA_TYPE* type) const;
};
using TaskMediaType = std::unique_ptr<AM_MEDIA_TYPE, TaskMediaTypeDeleter>;

class RecordingGraph {
 public:
  // `encoder` (may be null) compresses the stream before the mux; `pictures` (may be null)
  // gets every recorded frame as it goes to the encoder or the file.
  HRESULT build(IBaseFilter* capture, IBaseFilter* encoder, const CaptureSettings& settings,
                const std::wstring& file, FrameCounter* counter, FrameConsumer* pictures);
  HRESULT run();
  // Stopping makes the mux write its index: the file is complete afterwards.
  HRESULT stop();
  // Lets go of every filter.
  void release();

  // The first error the graph reported since the last call, S_OK for none; sets `*ended` when
  // the stream came to its end.
  HRESULT pollEvents(bool* ended);

  const StreamFormat& format() const { return format_; }
  // What was being done when a call failed.
  const std::string& step() const { return step_; }

 private:
  HRESULT configureCapture(IBaseFilter* capture, const CaptureSettings& settings);
  HRESULT addFrameTap(FrameCounter* counter, FrameConsumer* pictures);
  HRESULT addFileOutput(const std::wstring& file);
  HRESULT addMuxAndSink(const std::wstring& file);
  HRESULT connectStream(IBaseFilter* capture, IBaseFilter* encoder);
  HRESULT connectPins(IBaseFilter* from, IBaseFilter* to);
  HRESULT readConnectedFormat(IBaseFilter* capture);

  Microsoft::WRL::ComPtr<IGraphBuilder> graph_;
  Microsoft::WRL::ComPtr<ICaptureGraphBuilder2> builder_;
  Microsoft::WRL::ComPtr<FrameTap> tap_;
  Microsoft::WRL::ComPtr<IBaseFilter> mux_;
  Microsoft::WRL::ComPtr<IFileSinkFilter> sink_;
  TaskMediaType captureType_;
  StreamFormat format_;
  std::string step_;
};

// The subtype's short name ("RGB32"), or "other".
const char* subtypeName(const GUID& subtype);
