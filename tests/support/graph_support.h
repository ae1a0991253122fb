// Helpers for tests that build real filter graphs under Wine: the class ids of Wine's filters
// that mingw's headers lack, pin lookup, waiting for graph events, and a Sample Grabber
// callback that records what reached it; a capture program's request for property pages.
#pragma once

#include <windows.h>
#include <dshow.h>
#include <qedit.h>
#include <wrl/client.h>

#include <atomic>
#include <mutex>
#include <vector>

namespace graph_support {

extern const CLSID kNullRenderer;
extern const CLSID kSampleGrabber;

// The first pin of `filter` in `direction`, or null.
Microsoft::WRL::ComPtr<IPin> findPin(IBaseFilter* filter, PIN_DIRECTION direction);

// Waits up to `timeoutMs` for event `code` from the graph; false on time-out. Other events are
// passed over.
bool waitForEvent(IGraphBuilder* graph, long code, DWORD timeoutMs, LONG_PTR* param1 = nullptr);

// One sample as it reached the grabber.
struct SeenSample {
  REFERENCE_TIME start = 0;
  REFERENCE_TIME stop = 0;
  HRESULT timeResult = E_FAIL;
  long length = 0;
  DWORD firstWord = 0;
};

// The grabber's callback: records every sample, thread-safe. Reference-counted, since the
// grabber keeps it until the graph lets go of the grabber; make it with `new` into a ComPtr.
class SampleRecorder final : public ISampleGrabberCB {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG remaining = --references_;
    if (remaining == 0) delete this;
    return remaining;
  }
  HRESULT STDMETHODCALLTYPE SampleCB(double time, IMediaSample* sample) override;
  HRESULT STDMETHODCALLTYPE BufferCB(double, BYTE*, long) override { return E_NOTIMPL; }

  // Waits until at least `count` samples arrived; false on time-out.
  bool waitFor(size_t count, DWORD timeoutMs);
  std::vector<SeenSample> samples();
  // The data of the latest sample.
  std::vector<BYTE> lastData();
  void clear();

 private:
  std::atomic<ULONG> references_{0};

  std::mutex mutex_;
  std::vector<SeenSample> samples_;
  std::vector<BYTE> lastData_;
};

// A grabber that accepts `major`/`subtype` (GUID_NULL: anything) and calls `callback`.
Microsoft::WRL::ComPtr<IBaseFilter> makeSampleGrabber(ISampleGrabberCB* callback, const GUID& major,
                                                      const GUID& subtype);

// Does with the filter's property pages what a property frame does before it shows them:
// makes each page, gives it the filter and releases it when the page refuses. The capture
// filter's page refuses, and its release opens the panel's dialog on the filter. (Wine's own
// frame shows itself without pages when every page refuses, and then cannot be closed.)
void askForPropertyPages(IBaseFilter* filter);

}  // namespace graph_support
