// The capture pin: construction, negotiation, allocation and the worker's per-sample procedure.
#include "capture/capture_pin.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>

#include "capture/capture_filter.h"
#include "capture/dib_sample.h"
#include "capture/screen_info.h"

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

}  // namespace

CapturePin::CapturePin(HRESULT* hr, CaptureFilter* filter, CaptureSettings* settings)
    : CUnknownWith(QueuedDelivery::SamplesAndNotifications, hr, filter, L"Capture"),
      captureFilter_(filter),
      settings_(*settings),
      runEvent_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
  if (!runEvent_) {
    *hr = HRESULT_FROM_WIN32(::GetLastError());
    return;
  }
  if (FAILED(::CoCreateInstance(CLSID_ZelkgrabEnum, nullptr,
                                CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER,
                                IID_IZelkgrabEnum,
                                reinterpret_cast<void**>(enumRef_.GetAddressOf())))) {
    enumRef_.Reset();
  }

  settings_.change([](CaptureParams& params) {
    if (!::IsWindow(paramToWindow(params.hwnd))) params.set(CaptureFlag::TrackWnd, false);
  });
  appliedFrameSize_ = refreshGeometry(&seenChanges_).frameSize;
  geometryChanged_ = false;
}

CapturePin::~CapturePin() {
  CAutoLock lock(&pinLock_);
  composer_.surface().free();
}

HRESULT CapturePin::NonDelegatingQueryInterface(REFIID iid, void** object) {
  if (iid == IID_IAMStreamConfig) return GetInterface(static_cast<IAMStreamConfig*>(this), object);
  if (iid == IID_IKsPropertySet) return GetInterface(static_cast<IKsPropertySet*>(this), object);
  if (iid == IID_ISpecifyPropertyPages) {
    return GetInterface(static_cast<ISpecifyPropertyPages*>(this), object);
  }
  // Every request makes a control object of its own, with its own change event.
  if (iid == IID_IZelkgrab || iid == IID_IDispatch) return createControlObject(iid, object);
  return CUnknownWith::NonDelegatingQueryInterface(iid, object);
}

CaptureParams CapturePin::Params() { return refreshGeometry(); }

HRESULT CapturePin::CopyParams(CaptureParams* target) {
  if (!target) return E_POINTER;
  if (target->size != sizeof(CaptureParams)) return E_INVALIDARG;
  *target = refreshGeometry();
  return S_OK;
}

const VIDEOINFOHEADER* CapturePin::connectedFormat() const {
  if (!IsConnected() || mediaType_.formattype != FORMAT_VideoInfo || !mediaType_.pbFormat ||
      mediaType_.cbFormat < sizeof(VIDEOINFOHEADER)) {
    return nullptr;
  }
  return reinterpret_cast<const VIDEOINFOHEADER*>(mediaType_.pbFormat);
}

CaptureParams CapturePin::refreshGeometry(uint64_t* changes, const CaptureParams* desktop) {
  CAutoLock lock(&trackLock_);
  ViewState view = viewState_;
  if (const VIDEOINFOHEADER* format = connectedFormat()) {
    view.width = format->bmiHeader.biWidth;
    view.height = format->bmiHeader.biHeight;
    view.connected = true;
  } else {
    view.width = formatOverride_.cx;
    view.height = formatOverride_.cy;
    view.connected = false;
  }
  // A caller's change between the snapshot and the store wins; tracking then starts again
  // from it. Callers do not change the record in a tight loop, so this ends quickly.
  CaptureParams params;
  for (int attempt = 0; attempt < 4; ++attempt) {
    uint64_t basedOn = 0;
    params = settings_.snapshot(&basedOn);
    ViewState tracked = view;
    if (desktop) {
      trackArea(params, tracked, *desktop);
    } else {
      trackArea(params, tracked);
    }
    bool stored = false;
    if (settings_.storeTracked(params, basedOn, &stored)) geometryChanged_ = true;
    if (stored) {
      viewState_ = tracked;
      if (changes) *changes = basedOn;
      return params;
    }
  }
  if (changes) settings_.snapshot(changes);
  return params;
}

REFERENCE_TIME CapturePin::framePeriod(const CaptureParams& params) const {
  return params.sampletime > 0 ? params.sampletime : settings_.builtInSampleTime();
}

HRESULT CapturePin::createControlObject(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  auto* control = new (std::nothrow) ControlObject(filter_->GetOwner(), &settings_);
  if (!control) return E_OUTOFMEMORY;
  control->NonDelegatingAddRef();
  HRESULT hr = control->NonDelegatingQueryInterface(iid, object);
  if (SUCCEEDED(hr)) settings_.AddListener(control);
  control->NonDelegatingRelease();
  return hr;
}

HRESULT CapturePin::buildMediaType(const CaptureParams& params, CMediaType* type) {
  auto* info = reinterpret_cast<VIDEOINFO*>(type->AllocFormatBuffer(sizeof(VIDEOINFO)));
  if (!info) return E_OUTOFMEMORY;
  BITMAPINFOHEADER& header = info->bmiHeader;
  header.biSize = sizeof(BITMAPINFOHEADER);
  header.biPlanes = 1;
  header.biBitCount = static_cast<WORD>(params.screenBits);
  {
    CAutoLock lock(&trackLock_);
    header.biWidth = formatOverride_.cx ? formatOverride_.cx : params.frameSize.cx;
    header.biHeight = formatOverride_.cy ? formatOverride_.cy : params.frameSize.cy;
  }
  if (params.screenBits == 16) {
    header.biCompression = BI_BITFIELDS;
    info->dwBitMasks[0] = 0xF800;
    info->dwBitMasks[1] = 0x07E0;
    info->dwBitMasks[2] = 0x001F;
  } else if (params.screenBits == 15) {
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
  return buildMediaType(refreshGeometry(), type);
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
  HRESULT hr = CUnknownWith::SetMediaType(type);
  if (FAILED(hr)) return hr;
  if (!type->Format()) return E_UNEXPECTED;
  const ParamSize frameSize = settings_.snapshot().frameSize;
  CAutoLock lock(&pinLock_);
  appliedFrameSize_ = frameSize;
  return S_OK;
}

HRESULT CapturePin::CompleteConnect(IPin* receivePin) {
  const CaptureParams params = settings_.snapshot();
  {
    CAutoLock lock(&pinLock_);
    const VIDEOINFOHEADER* format = connectedFormat();
    if (!format) return E_UNEXPECTED;
    HRESULT hr = composer_.surface().build(format->bmiHeader, params);
    if (FAILED(hr)) return hr;
  }
  HRESULT hr = CUnknownWith::CompleteConnect(receivePin);
  if (FAILED(hr)) return hr;

  CAutoLock processLock(&connectedPinLock());
  if (params.has(CaptureFlag::LimitInst) && g_connectedPinCount > 0) return E_FAIL;
  ++g_connectedPinCount;
  connectedInstance_ = true;
  return S_OK;
}

HRESULT CapturePin::BreakConnect() {
  {
    CAutoLock lock(&pinLock_);
    composer_.surface().free();
  }
  {
    CAutoLock processLock(&connectedPinLock());
    if (connectedInstance_) --g_connectedPinCount;
    connectedInstance_ = false;
  }
  return CUnknownWith::BreakConnect();
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
  const CaptureSurface& surface = composer_.surface();
  auto* own = new (std::nothrow) DibSampleAllocator(surface.outputHeader(), surface.memoryDC());
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

HRESULT CapturePin::Notify(IBaseFilter*, Quality) { return S_OK; }
