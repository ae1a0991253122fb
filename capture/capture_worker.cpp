// The capture pin's worker thread: when a sample is due, the per-sample procedure, and the
// waits between samples on the stream clock.
#include <algorithm>
#include <cstdlib>

#include "capture/capture_filter.h"
#include "capture/capture_pin.h"
#include "capture/dib_sample.h"
#include "capture/screen_info.h"

using Microsoft::WRL::ComPtr;

namespace {

// The longest the worker sleeps without looking again: the stream time may not be readable
// (no clock), and a clock may appear.
constexpr DWORD kLongestWaitMs = 1000;

DWORD millisecondsUntil(REFERENCE_TIME now, REFERENCE_TIME time) {
  if (time <= now) return 0;
  const REFERENCE_TIME ms = (time - now + 9999) / 10000;
  return static_cast<DWORD>(std::min<REFERENCE_TIME>(ms, kLongestWaitMs));
}

}  // namespace

HRESULT CapturePin::OnThreadCreate() {
  {
    CAutoLock lock(&pinLock_);
    nextTime_ = 0;
    composer_.surface().direct = true;
  }
  desktop_.open();
  // Outside any lock: the panel may have to be started, or may not answer.
  panel_.open();
  return S_OK;
}

HRESULT CapturePin::OnThreadDestroy() {
  panel_.close();
  desktop_.close();
  return S_OK;
}

HRESULT CapturePin::OnThreadStartPlay() { return S_OK; }

HRESULT CapturePin::Run(REFERENCE_TIME start) {
  ::SetEvent(runEvent_.get());
  return CBasePin::Run(start);
}

HRESULT CapturePin::DoBufferProcessing() {
  for (;;) {
    Command command;
    while (!CheckRequest(&command)) {
      IMediaSample* sample = nullptr;
      if (FAILED(GetDeliveryBuffer(&sample, nullptr, nullptr, 0))) {
        // Decommitted while stopping: the command follows.
        ::WaitForSingleObject(GetRequestHandle(), 1);
        continue;
      }
      HRESULT hr = FillBuffer(sample);
      if (hr == VFW_S_STATE_INTERMEDIATE) {
        sample->Release();
        waitForNextCheck(framePeriod(settings_.snapshot()));
        continue;
      }
      if (hr != S_OK) {
        sample->Release();
        DeliverEndOfStream();
        if (hr == S_FALSE) return S_OK;
        filter_->NotifyEvent(EC_ERRORABORT, hr, 0);
        return hr;
      }
      hr = Deliver(sample);
      sample->Release();
      if (hr != S_OK) return S_OK;
    }
    if (command == CMD_RUN || command == CMD_PAUSE) {
      Reply(S_OK);
    } else if (command == CMD_STOP || command == CMD_EXIT) {
      return S_FALSE;  // answered by the thread procedure
    } else {
      Reply(static_cast<DWORD>(E_UNEXPECTED));
    }
  }
}

void CapturePin::waitForNextCheck(REFERENCE_TIME period) {
  DWORD timeout = kLongestWaitMs;
  if (wake_ == Wake::AtStreamTime) {
    REFERENCE_TIME now = 0;
    if (SUCCEEDED(captureFilter_->StreamTime(&now))) timeout = millisecondsUntil(now, wakeTime_);
  } else if (wake_ == Wake::Retry) {
    timeout = millisecondsUntil(0, period);
  }
  if (timeout == 0) return;
  HANDLE waits[] = {GetRequestHandle(), runEvent_.get()};
  // WhenRunning waits for the run event; the others must not wake for it while it stays set.
  const DWORD count = wake_ == Wake::WhenRunning ? 2 : 1;
  ::WaitForMultipleObjects(count, waits, FALSE, timeout);
}

HRESULT CapturePin::checkDue(REFERENCE_TIME period) {
  FILTER_STATE state;
  if (FAILED(captureFilter_->GetState(0, &state)) || state != State_Running) {
    wake_ = Wake::WhenRunning;
    return VFW_S_STATE_INTERMEDIATE;
  }
  ::ResetEvent(runEvent_.get());
  REFERENCE_TIME now = 0;  // without a clock the stream time stays 0
  if (FAILED(captureFilter_->StreamTime(&now))) now = 0;
  if (now < nextTime_) {
    wake_ = Wake::AtStreamTime;
    wakeTime_ = nextTime_;
    return VFW_S_STATE_INTERMEDIATE;
  }
  // Missed periods are skipped, not delivered.
  while (nextTime_ + period < now) nextTime_ += period;
  return S_OK;
}

void CapturePin::takePanelEvents() {
  bool geometry = false;
  // Without the panel nothing says what changed, so everything may have.
  if (!panel_.drainEvents(&geometry, &cursorChanged_)) {
    geometry = true;
    cursorChanged_ = true;
  }
  if (geometry) geometryChanged_ = true;
}

HRESULT CapturePin::decideCapture(const CaptureParams& params, REFERENCE_TIME period,
                                  bool* capture) {
  const bool optCapture = params.has(CaptureFlag::OptCapture);
  const bool optDeliver = params.has(CaptureFlag::OptDeliver);
  const bool resize = params.has(CaptureFlag::Resize);
  const bool showMouse = !params.has(CaptureFlag::HideMouse);
  CaptureSurface& surface = composer_.surface();
  *capture = false;

  if (nextTime_ <= 0) {
    // The first sample since the thread started goes at once.
    nextTime_ = 0;
    geometryChanged_ = false;
    cursorChanged_ = false;
    *capture = true;
    surface.direct = !(optCapture || resize);
    return S_OK;
  }
  const bool geometryChanged = geometryChanged_;
  if (optCapture) {
    if (surface.direct) {
      *capture = true;
      surface.direct = false;
    } else if (!optDeliver || geometryChanged || (cursorChanged_ && showMouse)) {
      *capture = geometryChanged;
    } else {
      // Nothing changed: look again at the next period boundary.
      wake_ = Wake::AtStreamTime;
      wakeTime_ = nextTime_ + period;
      return VFW_S_STATE_INTERMEDIATE;
    }
  } else if (resize) {
    *capture = true;
    surface.direct = false;
  } else {
    surface.direct = true;
  }
  geometryChanged_ = false;
  cursorChanged_ = false;
  return S_OK;
}

HRESULT CapturePin::prepareSampleBitmap(IMediaSample* sample, SampleBitmap* bitmap) {
  ComPtr<IDibSampleBitmap> dib;
  HRESULT hr = sample->QueryInterface(IID_IDibSampleBitmap, &dib);
  if (FAILED(hr)) return hr;
  hr = dib->GetBitmap(&bitmap->bitmap);
  // A section that cannot go into the surface's DC any more is replaced.
  const HDC memoryDC = composer_.surface().memoryDC();
  bool selectable = false;
  if (SUCCEEDED(hr) && bitmap->bitmap) {
    HGDIOBJ previous = ::SelectObject(memoryDC, bitmap->bitmap);
    selectable = previous && previous != HGDI_ERROR;
    if (selectable) ::SelectObject(memoryDC, previous);
  }
  if (!selectable) {
    ComPtr<IMemAllocator> allocator(Allocator());
    auto* dibAllocator = static_cast<DibSampleAllocator*>(allocator.Get());
    if (!dibAllocator) return E_FAIL;
    hr = dibAllocator->ReplaceBitmap(sample);
    if (FAILED(hr)) return hr;
    hr = dib->GetBitmap(&bitmap->bitmap);
  }
  if (FAILED(hr)) return hr;
  if (!bitmap->bitmap) return E_FAIL;
  return sample->GetPointer(&bitmap->bits);
}

HRESULT CapturePin::FillBuffer(IMediaSample* sample) {
  if (!sample) return E_POINTER;
  // Whether anything is due comes first: the geometry and the panel are asked once a period.
  REFERENCE_TIME period = framePeriod(settings_.snapshot());
  if (nextTime_ > 0) {
    HRESULT hr = checkDue(period);
    if (hr != S_OK) return hr;
  }

  // The desktop for the tracking and the grab alike.
  HRESULT hr = desktop_.read();
  if (FAILED(hr)) return hr;
  uint64_t changes = 0;
  const CaptureParams params = refreshGeometry(&changes, &desktop_.desktop());
  period = framePeriod(params);
  // A caller's change counts as a change of geometry.
  if (changes != seenChanges_) {
    seenChanges_ = changes;
    geometryChanged_ = true;
  }
  const VIDEOINFOHEADER* format = connectedFormat();
  if (!format) return E_UNEXPECTED;
  {
    CAutoLock lock(&pinLock_);
    CaptureSurface& surface = composer_.surface();
    if (!surface.valid(&format->bmiHeader, params)) {
      surface.free();
      // Tried again a period later if it fails now.
      if (FAILED(surface.build(format->bmiHeader, params))) {
        wake_ = Wake::Retry;
        return VFW_S_STATE_INTERMEDIATE;
      }
    }
  }
  takePanelEvents();

  bool capture = false;
  FrameReport report;
  bool sizeChanged = false;
  {
    CAutoLock lock(&pinLock_);
    hr = decideCapture(params, period, &capture);
    if (hr != S_OK) return hr;

    SampleBitmap bitmap;
    hr = prepareSampleBitmap(sample, &bitmap);
    if (FAILED(hr)) return hr;
    const LONG rowBytes =
        (format->bmiHeader.biWidth * composer_.surface().bytesPerPixel() + 3) & ~3;
    bitmap.length = std::abs(format->bmiHeader.biHeight) * rowBytes;
    hr = sample->SetActualDataLength(bitmap.length);
    if (FAILED(hr)) return hr;

    sizeChanged =
        params.frameSize.cx != appliedFrameSize_.cx || params.frameSize.cy != appliedFrameSize_.cy;
    appliedFrameSize_ = params.frameSize;
    hr = composer_.compose(params, format->bmiHeader, bitmap, capture, &report,
                           &desktop_.uncovered(), desktop_.dc());
  }
  // The graph and the panel are told outside the lock.
  if (sizeChanged && params.has(CaptureFlag::NotFResize) && params.event >= 0x8000) {
    const CaptureSurface& surface = composer_.surface();
    const LONG_PTR size = (static_cast<LONG_PTR>(surface.height()) << 16) | surface.width();
    filter_->NotifyEvent(params.event, size, VFW_E_CHANGING_FORMAT);
  }
  panel_.report(report);
  if (FAILED(hr)) return hr;

  REFERENCE_TIME start = nextTime_;
  nextTime_ += period;
  REFERENCE_TIME stop = nextTime_;
  sample->SetTime(&start, &stop);
  sample->SetSyncPoint(TRUE);
  return S_OK;
}
