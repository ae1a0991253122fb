// The capture pin's stream settings (IAMStreamConfig), its category (IKsPropertySet) and
// its property page. Application threads call these at any time.
#include <cstring>

#include "capture/capture_pin.h"

namespace {

constexpr REFERENCE_TIME kMinFrameInterval = 39215;
constexpr REFERENCE_TIME kMaxFrameInterval = 10000000;
constexpr LONG kMinBitRate = 460800;
constexpr LONG kMaxBitRate = 110592000;

}  // namespace

HRESULT CapturePin::SetFormat(AM_MEDIA_TYPE* type) {
  if (!type || !type->pbFormat) return E_POINTER;
  if (type->cbFormat < sizeof(VIDEOINFOHEADER)) return E_INVALIDARG;
  const auto* info = reinterpret_cast<const VIDEOINFOHEADER*>(type->pbFormat);
  settings_.setSampleTime(info->AvgTimePerFrame);
  const ParamSize frame = settings_.snapshot().frameSize;
  const LONG width = info->bmiHeader.biWidth;
  const LONG height = info->bmiHeader.biHeight;
  CAutoLock lock(&trackLock_);
  formatOverride_.cx = (width == frame.cx || width < 2) ? 0 : width;
  formatOverride_.cy = (height == frame.cy || height < 2) ? 0 : height;
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
    reinterpret_cast<VIDEOINFOHEADER*>(format.Format())->AvgTimePerFrame =
        settings_.snapshot().sampletime;
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

  const ParamSize frameSize = settings_.snapshot().frameSize;
  const SIZE frame = {frameSize.cx, frameSize.cy};
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
