// The capture filter's output pin "Capture": owns the parameter record and the capture
// surface, offers the desktop's RGB format at the tracked frame size, allocates DIB-section
// samples, and on its worker thread grabs, time-stamps and delivers one frame per period.
// Threads: the graph's thread negotiates and changes state (filter lock); application threads
// use IAMStreamConfig and IKsPropertySet; the worker runs FillBuffer; an output queue may
// deliver on its own thread. The pin lock guards the record, the surface, the times and the
// output queue; the worker holds it for a whole sample.
#pragma once

#include <windows.h>
#include <dshow.h>

#include <functional>
#include <memory>
#include <vector>

#include "capture/area_tracker.h"
#include "capture/capture_params.h"
#include "capture/capture_surface.h"
#include "capture/frame_scaler.h"
#include "capture/mouse_device.h"
#include "capture/panel_queue.h"
#include "capture/pointer_overlay.h"
#include "capture/screen_grab.h"
#include "config/configuration.h"
#include "config/control_object.h"
#include "config/running_objects.h"
#include "dshow/output_queue.h"
#include "dshow/source.h"

class CaptureFilter;

class CapturePin final
    : public CUnknownWith<CSourceStream, IAMStreamConfig, IKsPropertySet, ISpecifyPropertyPages>,
      public ParameterOwner {
 public:
  CapturePin(HRESULT* hr, CaptureFilter* filter);
  ~CapturePin() override;

  HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override;

  // Streaming.
  HRESULT FillBuffer(IMediaSample* sample) override;
  HRESULT OnThreadCreate() override;
  HRESULT OnThreadDestroy() override;
  HRESULT OnThreadStartPlay() override;
  HRESULT DoBufferProcessing() override;

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
  HRESULT Active() override;
  HRESULT Inactive() override;

  // Delivery, through the output queue while active.
  HRESULT Deliver(IMediaSample* sample) override;
  HRESULT DeliverEndOfStream() override;
  HRESULT DeliverBeginFlush() override;
  HRESULT DeliverEndFlush() override;
  HRESULT DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

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

  // A copy of the record, geometry refreshed first.
  CaptureParams Params();

  // The parameter operations; each holds the pin lock throughout, and a successful change is
  // saved before it returns.
  HRESULT GetParam(const wchar_t* path, int32_t* value) override;
  HRESULT SetParam(const wchar_t* path, int32_t value) override;
  HRESULT GetDocument(std::wstring* text) override;
  HRESULT PutDocument(const wchar_t* text) override;
  HRESULT CopyParams(CaptureParams* target);
  void RemoveListener(ControlObject* listener) override;
  // Lets `change` edit the record under the pin lock, then refreshes the geometry and tells
  // the listeners: the way the parameter operations write it.
  void ChangeParams(const std::function<void(CaptureParams&)>& change);

 private:
  // The parts of the per-sample procedure.
  void refreshGeometry();
  void drainEvents();
  HRESULT decideCapture(bool* capture);
  HRESULT prepareSampleBitmap(IMediaSample* sample, HBITMAP* bitmap, BYTE** bits);
  void noteFrameSizeChange();
  HRESULT copySurfaceToSample(BYTE* sampleBits, LONG length);
  // Scales the surface into the sample, fitted and centred, and fills the rest with the border.
  HRESULT scaleSurfaceToSample(BYTE* sampleBits, const BITMAPINFOHEADER& header);
  // What the grab reports to the panel and draws of the pointer.
  GrabHooks grabHooks();
  // The pointer's part of the grab: its snapshot, and in direct mode its drawing.
  GrabHooks pointerHooks();
  HRESULT drawPointerOnSample(HBITMAP sampleBitmap);

  // Runs whenever the record changed outside the worker's own bookkeeping: signals every
  // control object.
  void parametersChanged();
  HRESULT createControlObject(REFIID iid, void** object);
  HRESULT buildMediaType(CMediaType* type);
  const VIDEOINFOHEADER* connectedFormat() const;

  CaptureFilter* captureFilter_;
  CCritSec pinLock_;
  Configuration configuration_;
  CaptureParams params_;
  CaptureParams appliedParams_;
  ViewState viewState_;
  ParamSize formatOverride_ = {0, 0};
  CaptureSurface surface_;
  FrameScaler scaler_;
  CursorShot cursorShot_;    // the pointer of the current sample
  MouseDevice mouseDevice_;  // absent when DirectInput is not there: clicks are not shown
  REFERENCE_TIME nextTime_ = 0;
  bool geometryChanged_ = false;
  bool cursorChanged_ = false;
  std::unique_ptr<COutputQueue> outputQueue_;
  // The panel's queue, while the worker thread runs.
  PanelQueue queue_;
  // Held for the pin's life, so that the panel's server keeps running; never called.
  Microsoft::WRL::ComPtr<IZelkgrabEnum> enumRef_;
  bool connectedInstance_ = false;
  std::vector<ControlObject*> listeners_;  // not referenced: each removes itself
  // The filter's entry in the running object table.
  RunningObjectForwarder* forwarder_ = nullptr;
  DWORD rotCookie_ = 0;
};
