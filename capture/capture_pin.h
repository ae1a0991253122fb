// The capture filter's output pin "Capture": offers the desktop's RGB format at the tracked
// frame size, allocates DIB-section samples, answers IAMStreamConfig and IKsPropertySet, and
// on its worker thread decides, once per frame period, whether a frame is due, has the frame
// composer fill it and delivers it. The parameter record belongs to the filter's settings; the
// pin works on snapshots of it and stores back what tracking derives.
// Threads and locks: the graph's thread negotiates and changes state (filter lock);
// application threads use IAMStreamConfig, IKsPropertySet and the control objects; the worker
// runs FillBuffer; an output queue may deliver on its own thread. The pin lock guards the
// frame composer (surface and samples' bitmaps) and is held only while a frame is composed or
// the surface built; the tracking lock guards the view state and serialises geometry
// refreshes. Neither is held across a call into the panel, a registry access or a delivery.
#pragma once

#include <windows.h>
#include <dshow.h>

#include <atomic>
#include <cstdint>
#include <memory>

#include <wrl/client.h>

#include "capture/area_tracker.h"
#include "capture/frame_composer.h"
#include "capture/screen_info.h"
#include "capture/panel_link.h"
#include "common/win_raii.h"
#include "config/capture_settings.h"
#include "dshow/queued_output_pin.h"
#include "dshow/source.h"
#include "zelkpanel.h"

class CaptureFilter;

class CapturePin final : public CUnknownWith<CQueuedOutputPin<CSourceStream>, IAMStreamConfig,
                                             IKsPropertySet, ISpecifyPropertyPages> {
 public:
  CapturePin(HRESULT* hr, CaptureFilter* filter, CaptureSettings* settings);
  ~CapturePin() override;

  HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override;

  // Streaming.
  HRESULT FillBuffer(IMediaSample* sample) override;
  HRESULT OnThreadCreate() override;
  HRESULT OnThreadDestroy() override;
  HRESULT OnThreadStartPlay() override;
  HRESULT DoBufferProcessing() override;
  // Wakes a worker that waits for the graph to run.
  HRESULT Run(REFERENCE_TIME start) override;

  // Negotiation.
  HRESULT GetMediaType(CMediaType* type) override;
  HRESULT GetMediaType(int position, CMediaType* type) override;
  HRESULT CheckMediaType(const CMediaType* type) override;
  HRESULT SetMediaType(const CMediaType* type) override;
  HRESULT CompleteConnect(IPin* receivePin) override;
  HRESULT BreakConnect() override;
  HRESULT DecideAllocator(IMemInputPin* inputPin, IMemAllocator** allocator) override;
  HRESULT InitAllocator(IMemAllocator** allocator) override;
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;

  // IQualityControl: a live source cannot do anything about lateness.
  HRESULT STDMETHODCALLTYPE Notify(IBaseFilter* sender, Quality quality) override;

  // IAMStreamConfig
  HRESULT STDMETHODCALLTYPE SetFormat(AM_MEDIA_TYPE* type) override;
  HRESULT STDMETHODCALLTYPE GetFormat(AM_MEDIA_TYPE** type) override;
  HRESULT STDMETHODCALLTYPE GetNumberOfCapabilities(int* count, int* size) override;
  HRESULT STDMETHODCALLTYPE GetStreamCaps(int index, AM_MEDIA_TYPE** type, BYTE* caps) override;

  // IKsPropertySet: answers only the pin category (capture).
  HRESULT STDMETHODCALLTYPE Set(REFGUID set, DWORD id, void* instance, DWORD instanceSize,
                                void* data, DWORD dataSize) override;
  HRESULT STDMETHODCALLTYPE Get(REFGUID set, DWORD id, void* instance, DWORD instanceSize,
                                void* data, DWORD dataSize, DWORD* returned) override;
  HRESULT STDMETHODCALLTYPE QuerySupported(REFGUID set, DWORD id, DWORD* support) override;

  // ISpecifyPropertyPages: the one page that hands the filter to the control panel.
  HRESULT STDMETHODCALLTYPE GetPages(CAUUID* pages) override;

  // A copy of the record with its geometry refreshed for the pin as it is now.
  CaptureParams Params();
  // The same into a caller's record, whose size field must be the record size.
  HRESULT CopyParams(CaptureParams* target);

 private:
  // What the worker waits for after a period that delivered nothing.
  enum class Wake { AtStreamTime, WhenRunning, Retry };

  // Tracks the area for the pin's current view and stores the result in the settings;
  // returns the record as tracked. `changes` receives the settings' change count it reflects.
  // `desktop`, if given, is the desktop as just read (else it is read here).
  CaptureParams refreshGeometry(uint64_t* changes = nullptr,
                                const CaptureParams* desktop = nullptr);
  // The record's period, or the built-in one when the record's is unusable (0 or below).
  REFERENCE_TIME framePeriod(const CaptureParams& params) const;
  // Whether a sample is due now (S_OK) and, if not, what to wait for (VFW_S_STATE_INTERMEDIATE).
  HRESULT checkDue(REFERENCE_TIME period);
  // The capture decision of a due sample, after the events were taken.
  HRESULT decideCapture(const CaptureParams& params, REFERENCE_TIME period, bool* capture);
  void takePanelEvents();
  HRESULT prepareSampleBitmap(IMediaSample* sample, SampleBitmap* bitmap);
  // Sleeps until the next check: the wake time on the stream clock, a run, or a command.
  void waitForNextCheck(REFERENCE_TIME period);

  HRESULT createControlObject(REFIID iid, void** object);
  HRESULT buildMediaType(const CaptureParams& params, CMediaType* type);
  const VIDEOINFOHEADER* connectedFormat() const;

  CaptureFilter* captureFilter_;
  CaptureSettings& settings_;

  CCritSec pinLock_;
  FrameComposer composer_;
  ParamSize appliedFrameSize_ = {0, 0};  // the frame size the last size decision saw

  CCritSec trackLock_;
  ViewState viewState_;
  ParamSize formatOverride_ = {0, 0};

  // The worker's own state.
  REFERENCE_TIME nextTime_ = 0;
  Wake wake_ = Wake::Retry;
  REFERENCE_TIME wakeTime_ = 0;
  uint64_t seenChanges_ = 0;
  bool cursorChanged_ = false;
  PanelLink panel_;
  DesktopReader desktop_;
  // Set by tracking on any thread, taken by the worker.
  std::atomic<bool> geometryChanged_{false};
  // Set while the filter is told to run; reset by the worker once it sees it running.
  UniqueHandle runEvent_;

  // Held for the pin's life, so that the panel's server keeps running; never called.
  Microsoft::WRL::ComPtr<IZelkgrabEnum> enumRef_;
  bool connectedInstance_ = false;
};
