// The playback graph: AVI source -> (decoder) -> frame sink, built, run and stopped from the
// command's one thread. Uncompressed RGB connects straight to the sink; a ZLKC stream goes
// through Zelkdec, made from its registered class or else from Zelkdec.ax beside the program;
// any other format through whatever decoder the graph manager can insert.
#pragma once

#include <windows.h>
#include <dshow.h>
#include <wrl/client.h>

#include <memory>
#include <string>

#include "tools/zelkrec/avi_recording.h"
#include "tools/zelkrec/avi_source_filter.h"
#include "tools/zelkrec/filter_loader.h"
#include "tools/zelkrec/frame_sink.h"

class PlaybackGraph {
 public:
  // `decoderModule` and `consumer` outlive the graph.
  HRESULT build(std::shared_ptr<const AviRecording> recording, FrameConsumer* consumer,
                FilterModule* decoderModule);
  HRESULT run();
  HRESULT stop();
  // Lets go of the graph and its filters but the sink, whose counts stay readable.
  void release();

  // The first error the graph reported since the last call, S_OK for none.
  HRESULT pollEvents();
  // Signalled when the last frame has been consumed.
  HANDLE ended() const { return sink_->ended(); }
  long long frames() const { return sink_->frames(); }
  // What the sink or its consumer said when it ended the stream with an error.
  const std::string& sinkFailure() const { return sink_->failure(); }

  // What was being done when a call failed.
  const std::string& step() const { return step_; }

 private:
  HRESULT connectThroughZelkdec(IPin* sourceOut, IPin* sinkIn, FilterModule* decoderModule);

  Microsoft::WRL::ComPtr<IGraphBuilder> graph_;
  Microsoft::WRL::ComPtr<AviSourceFilter> source_;
  Microsoft::WRL::ComPtr<IBaseFilter> decoder_;
  Microsoft::WRL::ComPtr<FrameSink> sink_;
  std::string step_;
};

// The compression of Zelkgrab's own codec.
inline constexpr std::uint32_t kZlkcCompression = 0x434B4C5A;  // "ZLKC"
