// The capture pin: negotiation, allocation, stream configuration and the per-sample procedure.
#include "capture/capture_pin.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>

#include "capture/border_fill.h"
#include "capture/capture_filter.h"
#include "capture/dib_sample.h"
#include "capture/screen_grab.h"
#include "capture/screen_info.h"
#include "common/module_proc.h"
#include "config/parameter_set.h"

using Microsoft::WRL::ComPtr;

namespace {

// Only one capture pin of the process may be connected while limitinst is on.
CCritSec& connectedPinLock() {
  static CCritSec lock;
  return lock;
}
int g_connectedPinCount = 0;

void trace(const char* format, ...) {
  char text[128];
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(text, sizeof(text), format, arguments);
  va_end(arguments);
  ::OutputDebugStringA(text);
}

HWND windowOf(uint32_t handle) {
  return reinterpret_cast<HWND>(static_cast<intptr_t>(static_cast<int32_t>(handle)));
}

constexpr REFERENCE_TIME kMinFrameInterval = 39215;
constexpr REFERENCE_TIME kMaxFrameInterval = 10000000;
constexpr LONG kMinBitRate = 460800;
constexpr LONG kMaxBitRate = 110592000;

}  // namespace

CapturePin::CapturePin(HRESULT* hr, CaptureFilter* filter)
    : CUnknownWith(hr, filter, L"Capture"),
      captureFilter_(filter),
      configuration_(currentModule(), CLSID_Zelkgrab) {
  CAutoLock lock(&pinLock_);
  if (FAILED(::CoCreateInstance(CLSID_ZelkgrabEnum, nullptr,
                                CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER,
                                IID_IZelkgrabEnum,
                                reinterpret_cast<void**>(enumRef_.GetAddressOf())))) {
    enumRef_.Reset();
  }
  CaptureParams desktop;
  readScreenInfo(&desktop);
  configuration_.load(params_, desktop.rect);
  params_.screenBits = desktop.screenBits;

  // Other processes find the filter by this entry; unlisted, it still works.
  forwarder_ = new (std::nothrow) RunningObjectForwarder(GetOwner());
  if (!forwarder_) {
    *hr = E_OUTOFMEMORY;
    return;
  }
  registerRunningObject(forwarder_, L"Zelkgrab %08x pid %08x", &rotCookie_);

  if (!::IsWindow(windowOf(params_.hwnd))) params_.set(CaptureFlag::TrackWnd, false);
  refreshGeometry();
  appliedParams_ = params_;
  geometryChanged_ = false;

  // Without the mouse device the pointer is still drawn, only never as a click.
  mouseDevice_.create();
}

CapturePin::~CapturePin() {
  CAutoLock lock(&pinLock_);
  revokeRunningObject(rotCookie_);
  if (forwarder_) {
    forwarder_->Detach();
    forwarder_->Release();
  }
  surface_.free();
  // What the next instance starts from.
  configuration_.save(params_);
  mouseDevice_.reset();
}

HRESULT CapturePin::NonDelegatingQueryInterface(REFIID iid, void** object) {
  if (iid == IID_IAMStreamConfig) return GetInterface(static_cast<IAMStreamConfig*>(this), object);
  if (iid == IID_IKsPropertySet) return GetInterface(static_cast<IKsPropertySet*>(this), object);
  if (iid == IID_ISpecifyPropertyPages) {
    return GetInterface(static_cast<ISpecifyPropertyPages*>(this), object);
  }
  // Every request makes a control object of its own, with its own change event.
  if (iid == IID_IZelkgrab || iid == IID_IDispatch) return createControlObject(iid, object);
  return CSourceStream::NonDelegatingQueryInterface(iid, object);
}

void CapturePin::ChangeParams(const std::function<void(CaptureParams&)>& change) {
  CAutoLock lock(&pinLock_);
  change(params_);
  refreshGeometry();
  parametersChanged();
  geometryChanged_ = true;
}

CaptureParams CapturePin::Params() {
  CAutoLock lock(&pinLock_);
  refreshGeometry();
  return params_;
}

HRESULT CapturePin::GetParam(const wchar_t* path, int32_t* value) {
  CAutoLock lock(&pinLock_);
  return getParameter(params_, path, value);
}

HRESULT CapturePin::SetParam(const wchar_t* path, int32_t value) {
  CAutoLock lock(&pinLock_);
  HRESULT hr = setParameter(params_, path, value);
  if (hr != S_OK) return hr;
  parametersChanged();
  geometryChanged_ = true;
  configuration_.save(params_);
  return S_OK;
}

HRESULT CapturePin::GetDocument(std::wstring* text) {
  CAutoLock lock(&pinLock_);
  return buildDocument(params_, text);
}

HRESULT CapturePin::PutDocument(const wchar_t* text) {
  if (!text) return E_POINTER;
  CAutoLock lock(&pinLock_);
  HRESULT hr = configuration_.putDocument(params_, text);
  parametersChanged();
  geometryChanged_ = true;
  return hr;
}

HRESULT CapturePin::CopyParams(CaptureParams* target) {
  CAutoLock lock(&pinLock_);
  refreshGeometry();
  return copyParams(params_, target);
}

const VIDEOINFOHEADER* CapturePin::connectedFormat() const {
  if (!IsConnected() || mediaType_.formattype != FORMAT_VideoInfo || !mediaType_.pbFormat ||
      mediaType_.cbFormat < sizeof(VIDEOINFOHEADER)) {
    return nullptr;
  }
  return reinterpret_cast<const VIDEOINFOHEADER*>(mediaType_.pbFormat);
}

void CapturePin::refreshGeometry() {
  const CaptureParams before = params_;
  if (const VIDEOINFOHEADER* format = connectedFormat()) {
    viewState_.width = format->bmiHeader.biWidth;
    viewState_.height = format->bmiHeader.biHeight;
    viewState_.connected = true;
  } else {
    viewState_.width = formatOverride_.cx;
    viewState_.height = formatOverride_.cy;
    viewState_.connected = false;
  }
  trackArea(params_, viewState_);
  if (params_ != before) {
    parametersChanged();
    geometryChanged_ = true;
  }
}

void CapturePin::parametersChanged() {
  for (ControlObject* listener : listeners_) listener->Signal();
}

void CapturePin::RemoveListener(ControlObject* listener) {
  CAutoLock lock(&pinLock_);
  std::erase(listeners_, listener);
}

HRESULT CapturePin::createControlObject(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  auto* control = new (std::nothrow) ControlObject(filter_->GetOwner(), this);
  if (!control) return E_OUTOFMEMORY;
  control->NonDelegatingAddRef();
  HRESULT hr = control->NonDelegatingQueryInterface(iid, object);
  if (SUCCEEDED(hr)) {
    CAutoLock lock(&pinLock_);
    listeners_.push_back(control);
  }
  control->NonDelegatingRelease();
  return hr;
}

HRESULT CapturePin::buildMediaType(CMediaType* type) {
  auto* info = reinterpret_cast<VIDEOINFO*>(type->AllocFormatBuffer(sizeof(VIDEOINFO)));
  if (!info) return E_OUTOFMEMORY;
  BITMAPINFOHEADER& header = info->bmiHeader;
  header.biSize = sizeof(BITMAPINFOHEADER);
  header.biPlanes = 1;
  header.biBitCount = static_cast<WORD>(params_.screenBits);
  header.biWidth = formatOverride_.cx ? formatOverride_.cx : params_.frameSize.cx;
  header.biHeight = formatOverride_.cy ? formatOverride_.cy : params_.frameSize.cy;
  if (params_.screenBits == 16) {
    header.biCompression = BI_BITFIELDS;
    info->dwBitMasks[0] = 0xF800;
    info->dwBitMasks[1] = 0x07E0;
    info->dwBitMasks[2] = 0x001F;
  } else if (params_.screenBits == 15) {
    header.biCompression = BI_BITFIELDS;
    info->dwBitMasks[0] = 0x7C00;
    info->dwBitMasks[1] = 0x03E0;
    info->dwBitMasks[2] = 0x001F;
  } else {
    header.biCompression = BI_RGB;
  }
  trace("GetMediaType %d x %d", static_cast<int>(header.biWidth),
        static_cast<int>(header.biHeight));
  header.biSizeImage = GetBitmapSize(&header);

  type->SetType(&MEDIATYPE_Video);
  const GUID subtype = GetBitmapSubtype(&header);
  type->SetSubtype(&subtype);
  type->SetFormatType(&FORMAT_VideoInfo);
  type->SetTemporalCompression(false);
  type->SetSampleSize(header.biSizeImage);
  return S_OK;
}

HRESULT CapturePin::GetMediaType(CMediaType*) { return E_UNEXPECTED; }

HRESULT CapturePin::GetMediaType(int position, CMediaType* type) {
  if (position < 0) return E_INVALIDARG;
  if (position > 0) return VFW_S_NO_MORE_ITEMS;
  if (!type) return E_POINTER;
  CAutoLock filterLock(lock_);
  CAutoLock lock(&pinLock_);
  refreshGeometry();
  return buildMediaType(type);
}

HRESULT CapturePin::CheckMediaType(const CMediaType* type) {
  trace("CheckMediaType");
  if (!type) return E_POINTER;
  CMediaType own;
  HRESULT hr = GetMediaType(0, &own);
  if (FAILED(hr)) return hr;
  if (*type->FormatType() != FORMAT_VideoInfo || !type->Format() ||
      type->FormatLength() < sizeof(VIDEOINFOHEADER)) {
    return E_INVALIDARG;
  }
  // Any frame rate is fine; everything else must be exactly what we offer.
  reinterpret_cast<VIDEOINFOHEADER*>(own.Format())->AvgTimePerFrame =
      reinterpret_cast<const VIDEOINFOHEADER*>(type->Format())->AvgTimePerFrame;
  const bool same = *type->Type() == *own.Type() && *type->Subtype() == *own.Subtype() &&
                    type->FormatLength() == own.FormatLength() &&
                    std::memcmp(type->Format(), own.Format(), own.FormatLength()) == 0;
  return same ? S_OK : E_INVALIDARG;
}

HRESULT CapturePin::SetMediaType(const CMediaType* type) {
  CAutoLock filterLock(lock_);
  HRESULT hr = CSourceStream::SetMediaType(type);
  if (FAILED(hr)) return hr;
  if (!type->Format()) return E_UNEXPECTED;
  CAutoLock lock(&pinLock_);
  appliedParams_ = params_;
  return S_OK;
}

HRESULT CapturePin::CompleteConnect(IPin* receivePin) {
  {
    CAutoLock lock(&pinLock_);
    const VIDEOINFOHEADER* format = connectedFormat();
    if (!format) return E_UNEXPECTED;
    HRESULT hr = surface_.build(format->bmiHeader, params_);
    if (FAILED(hr)) return hr;
  }
  HRESULT hr = CSourceStream::CompleteConnect(receivePin);
  if (FAILED(hr)) return hr;

  CAutoLock processLock(&connectedPinLock());
  bool limited;
  {
    CAutoLock lock(&pinLock_);
    limited = params_.has(CaptureFlag::LimitInst);
  }
  if (limited && g_connectedPinCount > 0) return E_FAIL;
  ++g_connectedPinCount;
  connectedInstance_ = true;
  return S_OK;
}

HRESULT CapturePin::BreakConnect() {
  {
    CAutoLock lock(&pinLock_);
    surface_.free();
  }
  {
    CAutoLock processLock(&connectedPinLock());
    if (connectedInstance_) --g_connectedPinCount;
    connectedInstance_ = false;
  }
  return CSourceStream::BreakConnect();
}

HRESULT CapturePin::DecideAllocator(IMemInputPin* inputPin, IMemAllocator** allocator) {
  if (!inputPin || !allocator) return E_POINTER;
  *allocator = nullptr;
  ALLOCATOR_PROPERTIES request = {};
  inputPin->GetAllocatorRequirements(&request);
  if (request.cbAlign == 0) request.cbAlign = 1;
  // Always our own: samples must be DIB sections.
  ComPtr<IMemAllocator> own;
  HRESULT hr = InitAllocator(&own);
  if (FAILED(hr)) return hr;
  hr = DecideBufferSize(own.Get(), &request);
  if (SUCCEEDED(hr)) hr = inputPin->NotifyAllocator(own.Get(), FALSE);
  if (FAILED(hr)) return hr;
  *allocator = own.Detach();
  return S_OK;
}

HRESULT CapturePin::InitAllocator(IMemAllocator** allocator) {
  if (!allocator) return E_POINTER;
  CAutoLock lock(&pinLock_);
  auto* own = new (std::nothrow) DibSampleAllocator(surface_.outputHeader(), surface_.memoryDC());
  if (!own) return E_OUTOFMEMORY;
  *allocator = own;
  own->AddRef();
  return S_OK;
}

HRESULT CapturePin::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
  if (!allocator || !request) return E_POINTER;
  CAutoLock filterLock(lock_);
  const VIDEOINFOHEADER* format = connectedFormat();
  if (!format) return E_UNEXPECTED;
  request->cBuffers = 4;
  request->cbBuffer = static_cast<long>(format->bmiHeader.biSizeImage);
  ALLOCATOR_PROPERTIES actual = {};
  HRESULT hr = allocator->SetProperties(request, &actual);
  if (FAILED(hr)) return hr;
  return actual.cbBuffer < request->cbBuffer ? E_FAIL : S_OK;
}

HRESULT CapturePin::Active() {
  {
    CAutoLock lock(&pinLock_);
    if (IsConnected() && !outputQueue_) {
      HRESULT hr = S_OK;
      outputQueue_.reset(new (std::nothrow) COutputQueue(GetConnected(), &hr, true, false, 1, false,
                                                         10, THREAD_PRIORITY_NORMAL));
      if (!outputQueue_) return E_OUTOFMEMORY;
      if (FAILED(hr)) {
        outputQueue_.reset();
        return hr;
      }
    }
  }
  return CSourceStream::Active();
}

HRESULT CapturePin::Inactive() {
  {
    CAutoLock lock(&pinLock_);
    outputQueue_.reset();
  }
  return CSourceStream::Inactive();
}

HRESULT CapturePin::Deliver(IMediaSample* sample) {
  CAutoLock lock(&pinLock_);
  if (!outputQueue_) return S_OK;
  sample->AddRef();  // the queue takes over a reference
  return outputQueue_->Receive(sample);
}

HRESULT CapturePin::DeliverEndOfStream() {
  CAutoLock lock(&pinLock_);
  if (outputQueue_) outputQueue_->EOS();
  return S_OK;
}

HRESULT CapturePin::DeliverBeginFlush() {
  CAutoLock lock(&pinLock_);
  if (outputQueue_) outputQueue_->BeginFlush();
  return S_OK;
}

HRESULT CapturePin::DeliverEndFlush() {
  CAutoLock lock(&pinLock_);
  if (outputQueue_) outputQueue_->EndFlush();
  return S_OK;
}

HRESULT CapturePin::DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
  CAutoLock lock(&pinLock_);
  if (outputQueue_) outputQueue_->NewSegment(start, stop, rate);
  return S_OK;
}

HRESULT CapturePin::Notify(IBaseFilter*, Quality) { return S_OK; }

HRESULT CapturePin::OnThreadCreate() {
  CAutoLock lock(&pinLock_);
  nextTime_ = 0;
  surface_.direct = true;
  queue_.open();
  return S_OK;
}

HRESULT CapturePin::OnThreadDestroy() {
  CAutoLock lock(&pinLock_);
  queue_.close();
  return S_OK;
}

HRESULT CapturePin::OnThreadStartPlay() { return S_OK; }

HRESULT CapturePin::DoBufferProcessing() {
  for (;;) {
    Command command;
    while (!CheckRequest(&command)) {
      IMediaSample* sample = nullptr;
      if (FAILED(GetDeliveryBuffer(&sample, nullptr, nullptr, 0))) {
        ::Sleep(1);
        continue;
      }
      HRESULT hr = FillBuffer(sample);
      if (hr == VFW_S_STATE_INTERMEDIATE) {
        sample->Release();
        ::Sleep(1);
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
    } else if (command == CMD_STOP) {
      return S_FALSE;
    } else if (command == CMD_EXIT) {
      return S_FALSE;  // answered by the thread procedure
    } else {
      Reply(static_cast<DWORD>(E_UNEXPECTED));
    }
  }
}

void CapturePin::drainEvents() {
  // Without the panel nothing says what changed, so everything may have.
  if (!queue_.present()) {
    geometryChanged_ = true;
    cursorChanged_ = true;
    return;
  }
  queue_.drainEvents(&geometryChanged_, &cursorChanged_);
}

GrabHooks CapturePin::grabHooks() {
  GrabHooks hooks = pointerHooks();
  if (queue_.present()) {
    hooks.hideFrame = [this] { queue_.hideFrame(); };
    hooks.showFrame = [this](const ParamRect& screen) {
      if (params_.has(CaptureFlag::ShowFrame)) {
        queue_.showFrame(screen);
      } else {
        queue_.hideFrame();
      }
    };
  }
  return hooks;
}

HRESULT CapturePin::decideCapture(bool* capture) {
  const bool optCapture = params_.has(CaptureFlag::OptCapture);
  const bool optDeliver = params_.has(CaptureFlag::OptDeliver);
  const bool resize = params_.has(CaptureFlag::Resize);
  const bool showMouse = !params_.has(CaptureFlag::HideMouse);
  const REFERENCE_TIME period = params_.sampletime;
  *capture = false;

  if (nextTime_ <= 0) {
    // The first sample since the thread started goes at once.
    nextTime_ = 0;
    geometryChanged_ = false;
    cursorChanged_ = false;
    *capture = true;
    surface_.direct = !(optCapture || resize);
    return S_OK;
  }

  FILTER_STATE state;
  if (FAILED(captureFilter_->GetState(0, &state)) || state != State_Running) {
    return VFW_S_STATE_INTERMEDIATE;
  }
  REFERENCE_TIME now = 0;  // without a clock the stream time stays 0
  if (FAILED(captureFilter_->StreamTime(&now))) now = 0;
  if (now < nextTime_) return VFW_S_STATE_INTERMEDIATE;
  if (period > 0) {
    // Missed periods are skipped, not delivered.
    while (nextTime_ + period < now) nextTime_ += period;
  }

  if (optCapture) {
    if (surface_.direct) {
      *capture = true;
      surface_.direct = false;
    } else if (!optDeliver || geometryChanged_ || (cursorChanged_ && showMouse)) {
      *capture = geometryChanged_;
    } else {
      return VFW_S_STATE_INTERMEDIATE;
    }
  } else if (resize) {
    *capture = true;
    surface_.direct = false;
  } else {
    surface_.direct = true;
  }
  geometryChanged_ = false;
  cursorChanged_ = false;
  return S_OK;
}

HRESULT CapturePin::prepareSampleBitmap(IMediaSample* sample, HBITMAP* bitmap, BYTE** bits) {
  ComPtr<IDibSampleBitmap> dib;
  HRESULT hr = sample->QueryInterface(IID_IDibSampleBitmap, &dib);
  if (FAILED(hr)) return hr;
  hr = dib->GetBitmap(bitmap);
  // A section that cannot go into the surface's DC any more is replaced.
  bool selectable = false;
  if (SUCCEEDED(hr) && *bitmap) {
    HGDIOBJ previous = ::SelectObject(surface_.memoryDC(), *bitmap);
    selectable = previous && previous != HGDI_ERROR;
    if (selectable) ::SelectObject(surface_.memoryDC(), previous);
  }
  if (!selectable) {
    ComPtr<IMemAllocator> allocator(Allocator());
    auto* dibAllocator = static_cast<DibSampleAllocator*>(allocator.Get());
    if (!dibAllocator) return E_FAIL;
    hr = dibAllocator->ReplaceBitmap(sample);
    if (FAILED(hr)) return hr;
    hr = dib->GetBitmap(bitmap);
  }
  if (FAILED(hr)) return hr;
  if (!*bitmap) return E_FAIL;
  return sample->GetPointer(bits);
}

void CapturePin::noteFrameSizeChange() {
  if (params_.frameSize.cx == appliedParams_.frameSize.cx &&
      params_.frameSize.cy == appliedParams_.frameSize.cy) {
    return;
  }
  appliedParams_ = params_;
  if (params_.has(CaptureFlag::NotFResize) && params_.event >= 0x8000) {
    const LONG_PTR size = (static_cast<LONG_PTR>(surface_.height()) << 16) | surface_.width();
    filter_->NotifyEvent(params_.event, size, VFW_E_CHANGING_FORMAT);
  }
}

HRESULT CapturePin::copySurfaceToSample(BYTE* sampleBits, LONG length) {
  const LONG available = static_cast<LONG>(surface_.stride()) * surface_.height();
  if (!surface_.mainBits() || length > available) return E_UNEXPECTED;
  std::memcpy(sampleBits, surface_.mainBits(), length);
  return S_OK;
}

HRESULT CapturePin::scaleSurfaceToSample(BYTE* sampleBits, const BITMAPINFOHEADER& header) {
  const int targetWidth = header.biWidth;
  const int targetHeight = std::abs(header.biHeight);
  const int targetStride = ((header.biBitCount * targetWidth + 7) / 8 + 3) & ~3;
  const int sourceWidth = surface_.width();
  const int sourceHeight = surface_.height();
  const int bytes = surface_.bytesPerPixel();

  int width = targetWidth;
  int height = targetHeight;
  if (params_.has(CaptureFlag::ResizeAspect) && sourceWidth > 0 && sourceHeight > 0) {
    width = targetHeight * sourceWidth / sourceHeight;
    height = targetHeight;
    if (width > targetWidth) {
      width = targetWidth;
      height = targetWidth * sourceHeight / sourceWidth;
    }
  }
  const int left = (targetWidth - width) / 2;
  const int top = (targetHeight - height) / 2;
  const int mode =
      params_.has(CaptureFlag::ResizeType) ? FrameScaler::Linear : FrameScaler::Nearest;
  HRESULT hr = scaler_.prepare(sourceWidth, sourceHeight, width, height, bytes, mode);
  if (FAILED(hr)) return hr;
  hr = scaler_.run(sampleBits + static_cast<size_t>(top) * targetStride + bytes * left,
                   surface_.mainBits(), targetStride);
  if (FAILED(hr)) return hr;

  // What the fitted picture does not cover, in memory rows and pixel columns.
  const uint32_t border = surface_.borderPixel();
  fillRows(sampleBits, top, targetStride, 0, border, bytes);
  const int bottom = top + height;
  fillRows(sampleBits + static_cast<size_t>(bottom) * targetStride, targetHeight - bottom,
           targetStride, 0, border, bytes);
  const int right = left + width;
  for (int row = top; row < bottom; ++row) {
    uint8_t* line = sampleBits + static_cast<size_t>(row) * targetStride;
    if (left > 0) fillRows(line, 1, targetStride, left, border, bytes);
    if (right < targetWidth) {
      fillRows(line + right * bytes, 1, targetStride, targetWidth - right, border, bytes);
    }
  }
  return S_OK;
}

GrabHooks CapturePin::pointerHooks() {
  GrabHooks hooks;
  if (params_.has(CaptureFlag::HideMouse)) return hooks;
  // A snapshot that fails stays empty: this frame goes without a pointer.
  hooks.snapshotPointer = [this] { takeCursorShot(cursorShot_); };
  hooks.drawPointer = [this](HDC memoryDC) {
    drawPointer(memoryDC, cursorShot_, params_, mouseDevice_.device());
  };
  return hooks;
}

HRESULT CapturePin::drawPointerOnSample(HBITMAP sampleBitmap) {
  SelectObjectGuard selected(surface_.memoryDC(), sampleBitmap);
  if (!selected.selected()) return E_FAIL;
  return drawPointer(surface_.memoryDC(), cursorShot_, params_, mouseDevice_.device());
}

HRESULT CapturePin::FillBuffer(IMediaSample* sample) {
  if (!sample) return E_POINTER;
  CAutoLock lock(&pinLock_);
  refreshGeometry();

  const VIDEOINFOHEADER* format = connectedFormat();
  if (!format) return E_UNEXPECTED;
  if (!surface_.valid(&format->bmiHeader, params_)) {
    surface_.free();
    // Tried again on the next sample if it fails now.
    if (FAILED(surface_.build(format->bmiHeader, params_))) return VFW_S_STATE_INTERMEDIATE;
  }

  drainEvents();

  bool capture = false;
  HRESULT hr = decideCapture(&capture);
  if (hr != S_OK) return hr;

  HBITMAP bitmap = nullptr;
  BYTE* bits = nullptr;
  hr = prepareSampleBitmap(sample, &bitmap, &bits);
  if (FAILED(hr)) return hr;
  const LONG rowBytes = (format->bmiHeader.biWidth * surface_.bytesPerPixel() + 3) & ~3;
  const LONG length = std::abs(format->bmiHeader.biHeight) * rowBytes;
  hr = sample->SetActualDataLength(length);
  if (FAILED(hr)) return hr;

  const bool direct = surface_.direct;
  GrabTarget target = {direct ? bitmap : surface_.mainBitmap(), direct ? bits : surface_.mainBits(),
                       direct, capture};
  freeCursorShot(cursorShot_);
  noteFrameSizeChange();
  hr = grabFrame(surface_, params_, target, grabHooks());
  if (FAILED(hr)) return hr;

  const bool showMouse = !params_.has(CaptureFlag::HideMouse);
  if (!direct && params_.has(CaptureFlag::Resize)) {
    auto scale = [&] { return scaleSurfaceToSample(bits, format->bmiHeader); };
    // The pointer is in the surface only while it is scaled.
    hr = showMouse
             ? withPointerInSurface(&surface_, cursorShot_, params_, mouseDevice_.device(), scale)
             : scale();
    if (FAILED(hr)) return hr;
  } else if (!direct) {
    hr = copySurfaceToSample(bits, length);
    if (SUCCEEDED(hr) && showMouse) hr = drawPointerOnSample(bitmap);
    if (FAILED(hr)) return hr;
  }

  REFERENCE_TIME start = nextTime_;
  nextTime_ += params_.sampletime;
  REFERENCE_TIME stop = nextTime_;
  sample->SetTime(&start, &stop);
  sample->SetSyncPoint(TRUE);
  freeCursorShot(cursorShot_);
  return S_OK;
}

HRESULT CapturePin::SetFormat(AM_MEDIA_TYPE* type) {
  if (!type || !type->pbFormat) return E_POINTER;
  if (type->cbFormat < sizeof(VIDEOINFOHEADER)) return E_INVALIDARG;
  const auto* info = reinterpret_cast<const VIDEOINFOHEADER*>(type->pbFormat);
  CAutoLock lock(&pinLock_);
  params_.sampletime = info->AvgTimePerFrame;
  parametersChanged();
  const LONG width = info->bmiHeader.biWidth;
  const LONG height = info->bmiHeader.biHeight;
  formatOverride_.cx = (width == params_.frameSize.cx || width < 2) ? 0 : width;
  formatOverride_.cy = (height == params_.frameSize.cy || height < 2) ? 0 : height;
  return S_OK;
}

HRESULT CapturePin::GetFormat(AM_MEDIA_TYPE** type) {
  if (!type) return E_POINTER;
  *type = nullptr;
  CMediaType format;
  {
    CAutoLock filterLock(lock_);
    if (IsConnected()) {
      HRESULT hr = format.Set(mediaType_);
      if (FAILED(hr)) return hr;
    } else {
      HRESULT hr = GetMediaType(0, &format);
      if (FAILED(hr)) return hr;
    }
  }
  if (format.FormatLength() >= sizeof(VIDEOINFOHEADER)) {
    CAutoLock lock(&pinLock_);
    reinterpret_cast<VIDEOINFOHEADER*>(format.Format())->AvgTimePerFrame = params_.sampletime;
  }
  *type = CreateMediaType(&format);
  return *type ? S_OK : E_OUTOFMEMORY;
}

HRESULT CapturePin::GetNumberOfCapabilities(int* count, int* size) {
  if (!count || !size) return E_POINTER;
  *count = 1;
  *size = sizeof(VIDEO_STREAM_CONFIG_CAPS);
  return S_OK;
}

HRESULT CapturePin::GetStreamCaps(int index, AM_MEDIA_TYPE** type, BYTE* caps) {
  if (index < 0) return E_INVALIDARG;
  if (index > 0) return S_FALSE;
  if (!type || !caps) return E_POINTER;
  HRESULT hr = GetFormat(type);
  if (FAILED(hr)) return hr;

  SIZE frame;
  {
    CAutoLock lock(&pinLock_);
    frame = {params_.frameSize.cx, params_.frameSize.cy};
  }
  auto* config = reinterpret_cast<VIDEO_STREAM_CONFIG_CAPS*>(caps);
  std::memset(config, 0, sizeof(*config));
  config->guid = FORMAT_VideoInfo;
  config->VideoStandard = 0;
  config->InputSize = frame;
  config->MinCroppingSize = frame;
  config->MaxCroppingSize = frame;
  config->CropGranularityX = 1;
  config->CropGranularityY = 1;
  config->CropAlignX = 1;
  config->CropAlignY = 1;
  config->MinOutputSize = {1, 1};
  config->MaxOutputSize = frame;
  config->OutputGranularityX = 1;
  config->OutputGranularityY = 1;
  config->MinFrameInterval = kMinFrameInterval;
  config->MaxFrameInterval = kMaxFrameInterval;
  config->MinBitsPerSecond = kMinBitRate;
  config->MaxBitsPerSecond = kMaxBitRate;
  return S_OK;
}

HRESULT CapturePin::Set(REFGUID, DWORD, void*, DWORD, void*, DWORD) { return E_NOTIMPL; }

HRESULT CapturePin::Get(REFGUID set, DWORD id, void*, DWORD, void* data, DWORD dataSize,
                        DWORD* returned) {
  if (set != AMPROPSETID_Pin) return E_PROP_SET_UNSUPPORTED;
  if (id != AMPROPERTY_PIN_CATEGORY) return E_PROP_ID_UNSUPPORTED;
  if (!data) return E_POINTER;
  if (dataSize < sizeof(GUID)) return E_UNEXPECTED;
  *static_cast<GUID*>(data) = PIN_CATEGORY_CAPTURE;
  if (returned) *returned = sizeof(GUID);
  return S_OK;
}

HRESULT CapturePin::QuerySupported(REFGUID set, DWORD id, DWORD* support) {
  if (set != AMPROPSETID_Pin) return E_PROP_SET_UNSUPPORTED;
  if (id != AMPROPERTY_PIN_CATEGORY) return E_PROP_ID_UNSUPPORTED;
  if (support) *support = KSPROPERTY_SUPPORT_GET;
  return S_OK;
}

HRESULT CapturePin::GetPages(CAUUID* pages) {
  if (!pages) return E_POINTER;
  pages->cElems = 0;
  pages->pElems = static_cast<GUID*>(::CoTaskMemAlloc(sizeof(GUID)));
  if (!pages->pElems) return E_OUTOFMEMORY;
  pages->pElems[0] = CLSID_ZelkgrabProp;
  pages->cElems = 1;
  return S_OK;
}
