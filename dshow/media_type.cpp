// Ownership, copying and comparison of media types, and the bitmap rules.
#include "dshow/media_type.h"

#include <cstdlib>
#include <cstring>
#include <utility>

void FreeMediaType(AM_MEDIA_TYPE& type) {
  if (type.cbFormat != 0 || type.pbFormat) {
    ::CoTaskMemFree(type.pbFormat);
    type.cbFormat = 0;
    type.pbFormat = nullptr;
  }
  if (type.pUnk) {
    type.pUnk->Release();
    type.pUnk = nullptr;
  }
}

void DeleteMediaType(AM_MEDIA_TYPE* type) {
  if (!type) return;
  FreeMediaType(*type);
  ::CoTaskMemFree(type);
}

HRESULT CopyMediaType(AM_MEDIA_TYPE* target, const AM_MEDIA_TYPE* source) {
  if (!target || !source) return E_POINTER;
  *target = *source;
  if (source->cbFormat != 0 && source->pbFormat) {
    target->pbFormat = static_cast<BYTE*>(::CoTaskMemAlloc(source->cbFormat));
    if (!target->pbFormat) {
      target->cbFormat = 0;
      target->pUnk = nullptr;
      return E_OUTOFMEMORY;
    }
    std::memcpy(target->pbFormat, source->pbFormat, source->cbFormat);
  } else {
    target->cbFormat = 0;
    target->pbFormat = nullptr;
  }
  if (target->pUnk) target->pUnk->AddRef();
  return S_OK;
}

AM_MEDIA_TYPE* CreateMediaType(const AM_MEDIA_TYPE* source) {
  auto* type = static_cast<AM_MEDIA_TYPE*>(::CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
  if (!type) return nullptr;
  if (FAILED(CopyMediaType(type, source))) {
    ::CoTaskMemFree(type);
    return nullptr;
  }
  return type;
}

GUID GetBitmapSubtype(const BITMAPINFOHEADER* header) {
  if (!header) return GUID_NULL;
  const auto* masks =
      reinterpret_cast<const DWORD*>(reinterpret_cast<const BYTE*>(header) + header->biSize);
  switch (header->biCompression) {
    case BI_RGB:
      switch (header->biBitCount) {
        case 1:
          return MEDIASUBTYPE_RGB1;
        case 4:
          return MEDIASUBTYPE_RGB4;
        case 8:
          return MEDIASUBTYPE_RGB8;
        case 16:
          return MEDIASUBTYPE_RGB555;
        case 24:
          return MEDIASUBTYPE_RGB24;
        case 32:
          return MEDIASUBTYPE_RGB32;
        default:
          return GUID_NULL;
      }
    case BI_BITFIELDS:
      // 15 is how some desktops report their 555 depth.
      if (header->biBitCount == 16 || header->biBitCount == 15) {
        if (masks[0] == 0xF800 && masks[1] == 0x07E0 && masks[2] == 0x001F) {
          return MEDIASUBTYPE_RGB565;
        }
        if (masks[0] == 0x7C00 && masks[1] == 0x03E0 && masks[2] == 0x001F) {
          return MEDIASUBTYPE_RGB555;
        }
        return GUID_NULL;
      }
      if (header->biBitCount == 32 && masks[0] == 0xFF0000 && masks[1] == 0xFF00 &&
          masks[2] == 0xFF) {
        return MEDIASUBTYPE_RGB32;
      }
      return GUID_NULL;
    default: {
      // Compressed formats: the FOURCC in the first field of the base media subtype.
      GUID subtype = MEDIASUBTYPE_YUY2;
      subtype.Data1 = header->biCompression;
      return subtype;
    }
  }
}

DWORD GetBitmapSize(const BITMAPINFOHEADER* header) {
  if (!header) return 0;
  const DWORD rowBytes =
      ((static_cast<DWORD>(header->biWidth) * header->biBitCount + 31) & ~31u) / 8;
  return rowBytes * static_cast<DWORD>(std::labs(header->biHeight));
}

CMediaType::CMediaType() { clear(); }

CMediaType::CMediaType(const GUID* majorType) {
  clear();
  if (majorType) majortype = *majorType;
}

CMediaType::CMediaType(const AM_MEDIA_TYPE& type) {
  clear();
  Set(type);
}

CMediaType::CMediaType(const CMediaType& type)
    : CMediaType(static_cast<const AM_MEDIA_TYPE&>(type)) {}

CMediaType::CMediaType(CMediaType&& type) noexcept {
  static_cast<AM_MEDIA_TYPE&>(*this) = type;
  type.clear();
}

CMediaType::~CMediaType() { FreeMediaType(*this); }

CMediaType& CMediaType::operator=(const AM_MEDIA_TYPE& type) {
  Set(type);
  return *this;
}

CMediaType& CMediaType::operator=(const CMediaType& type) {
  Set(type);
  return *this;
}

CMediaType& CMediaType::operator=(CMediaType&& type) noexcept {
  if (this != &type) {
    FreeMediaType(*this);
    static_cast<AM_MEDIA_TYPE&>(*this) = type;
    type.clear();
  }
  return *this;
}

HRESULT CMediaType::Set(const AM_MEDIA_TYPE& type) {
  if (&type == this) return S_OK;
  FreeMediaType(*this);
  HRESULT hr = CopyMediaType(this, &type);
  if (FAILED(hr)) clear();
  return hr;
}

bool CMediaType::operator==(const CMediaType& other) const {
  return majortype == other.majortype && subtype == other.subtype &&
         formattype == other.formattype && cbFormat == other.cbFormat &&
         (cbFormat == 0 || std::memcmp(pbFormat, other.pbFormat, cbFormat) == 0);
}

bool CMediaType::MatchesPartial(const CMediaType* partial) const {
  if (partial->majortype != GUID_NULL && majortype != partial->majortype) return false;
  if (partial->subtype != GUID_NULL && subtype != partial->subtype) return false;
  if (partial->formattype != GUID_NULL) {
    if (formattype != partial->formattype) return false;
    if (cbFormat != partial->cbFormat) return false;
    if (cbFormat != 0 && std::memcmp(pbFormat, partial->pbFormat, cbFormat) != 0) return false;
  }
  return true;
}

bool CMediaType::IsPartiallySpecified() const {
  return majortype == GUID_NULL || subtype == GUID_NULL || formattype == GUID_NULL;
}

bool CMediaType::SetFormat(const BYTE* format, ULONG length) {
  BYTE* block = AllocFormatBuffer(length);
  if (!block && length != 0) return false;
  if (length != 0) std::memcpy(block, format, length);
  return true;
}

BYTE* CMediaType::AllocFormatBuffer(ULONG length) {
  ResetFormatBuffer();
  if (length == 0) return nullptr;
  pbFormat = static_cast<BYTE*>(::CoTaskMemAlloc(length));
  if (!pbFormat) return nullptr;
  std::memset(pbFormat, 0, length);
  cbFormat = length;
  return pbFormat;
}

BYTE* CMediaType::ReallocFormatBuffer(ULONG length) {
  if (length == cbFormat && pbFormat) return pbFormat;
  auto* block = static_cast<BYTE*>(::CoTaskMemAlloc(length));
  if (!block) return nullptr;
  std::memset(block, 0, length);
  if (pbFormat) std::memcpy(block, pbFormat, cbFormat < length ? cbFormat : length);
  ::CoTaskMemFree(pbFormat);
  pbFormat = block;
  cbFormat = length;
  return pbFormat;
}

void CMediaType::ResetFormatBuffer() {
  ::CoTaskMemFree(pbFormat);
  pbFormat = nullptr;
  cbFormat = 0;
}

void CMediaType::SetSampleSize(ULONG size) {
  if (size == 0) {
    SetVariableSize();
  } else {
    bFixedSizeSamples = TRUE;
    lSampleSize = size;
  }
}

void CMediaType::SetVariableSize() { bFixedSizeSamples = FALSE; }

void CMediaType::InitMediaType() {
  FreeMediaType(*this);
  clear();
}

void CMediaType::clear() {
  std::memset(static_cast<AM_MEDIA_TYPE*>(this), 0, sizeof(AM_MEDIA_TYPE));
  bFixedSizeSamples = TRUE;
  lSampleSize = 1;
}
