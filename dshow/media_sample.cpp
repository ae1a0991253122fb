// The sample's own state and the IMediaSample(2) rules; the trip back to the allocator.
#include "dshow/media_sample.h"

#include <vfwmsgs.h>

#include <cstring>

#include "dshow/allocator.h"
#include "dshow/media_type.h"

void CMediaSample::MediaTypeDeleter::operator()(AM_MEDIA_TYPE* type) const {
  DeleteMediaType(type);
}

CMediaSample::CMediaSample(CBaseAllocator* allocator, BYTE* buffer, LONG length)
    : allocator_(allocator), buffer_(buffer), size_(length), actual_(length) {}

CMediaSample::~CMediaSample() = default;

HRESULT CMediaSample::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IMediaSample || iid == IID_IMediaSample2) {
    *object = static_cast<IMediaSample2*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG CMediaSample::AddRef() { return static_cast<ULONG>(++references_); }

ULONG CMediaSample::Release() {
  LONG remaining = --references_;
  // The allocator may delete this sample (and itself) inside ReleaseBuffer: touch nothing after.
  if (remaining == 0 && allocator_) allocator_->ReleaseBuffer(this);
  return static_cast<ULONG>(remaining);
}

HRESULT CMediaSample::GetPointer(BYTE** buffer) {
  if (!buffer) return E_POINTER;
  *buffer = buffer_;
  return S_OK;
}

LONG CMediaSample::GetSize() { return size_; }

HRESULT CMediaSample::GetTime(REFERENCE_TIME* start, REFERENCE_TIME* end) {
  if (!start || !end) return E_POINTER;
  if (!hasFlag(AM_SAMPLE_TIMEVALID)) return VFW_E_SAMPLE_TIME_NOT_SET;
  *start = start_;
  if (!hasFlag(AM_SAMPLE_STOPVALID)) {
    // A start alone still gives the caller an interval it can use.
    *end = start_ + 1;
    return VFW_S_NO_STOP_TIME;
  }
  *end = end_;
  return S_OK;
}

HRESULT CMediaSample::SetTime(REFERENCE_TIME* start, REFERENCE_TIME* end) {
  if (!start) {
    setFlag(AM_SAMPLE_TIMEVALID | AM_SAMPLE_STOPVALID, false);
    return S_OK;
  }
  start_ = *start;
  setFlag(AM_SAMPLE_TIMEVALID, true);
  setFlag(AM_SAMPLE_STOPVALID, end != nullptr);
  if (end) end_ = *end;
  return S_OK;
}

HRESULT CMediaSample::IsSyncPoint() { return hasFlag(AM_SAMPLE_SPLICEPOINT) ? S_OK : S_FALSE; }

HRESULT CMediaSample::SetSyncPoint(BOOL syncPoint) {
  setFlag(AM_SAMPLE_SPLICEPOINT, syncPoint != FALSE);
  return S_OK;
}

HRESULT CMediaSample::IsPreroll() { return hasFlag(AM_SAMPLE_PREROLL) ? S_OK : S_FALSE; }

HRESULT CMediaSample::SetPreroll(BOOL preroll) {
  setFlag(AM_SAMPLE_PREROLL, preroll != FALSE);
  return S_OK;
}

LONG CMediaSample::GetActualDataLength() { return actual_; }

HRESULT CMediaSample::SetActualDataLength(LONG length) {
  if (length < 0) return E_INVALIDARG;
  if (length > size_) return VFW_E_BUFFER_OVERFLOW;
  actual_ = length;
  return S_OK;
}

HRESULT CMediaSample::GetMediaType(AM_MEDIA_TYPE** type) {
  if (!type) return E_POINTER;
  *type = nullptr;
  if (!hasFlag(AM_SAMPLE_TYPECHANGED) || !mediaType_) return S_FALSE;
  *type = CreateMediaType(mediaType_.get());
  return *type ? S_OK : E_OUTOFMEMORY;
}

HRESULT CMediaSample::SetMediaType(AM_MEDIA_TYPE* type) {
  if (!type) {
    mediaType_.reset();
    setFlag(AM_SAMPLE_TYPECHANGED, false);
    return S_OK;
  }
  OwnedMediaType copy(CreateMediaType(type));
  if (!copy) return E_OUTOFMEMORY;
  mediaType_ = std::move(copy);
  setFlag(AM_SAMPLE_TYPECHANGED, true);
  return S_OK;
}

HRESULT CMediaSample::IsDiscontinuity() {
  return hasFlag(AM_SAMPLE_DATADISCONTINUITY) ? S_OK : S_FALSE;
}

HRESULT CMediaSample::SetDiscontinuity(BOOL discontinuity) {
  setFlag(AM_SAMPLE_DATADISCONTINUITY, discontinuity != FALSE);
  return S_OK;
}

HRESULT CMediaSample::GetMediaTime(LONGLONG* start, LONGLONG* end) {
  if (!start || !end) return E_POINTER;
  if (!mediaTimeValid_) return VFW_E_MEDIA_TIME_NOT_SET;
  *start = mediaStart_;
  *end = mediaEnd_;
  return S_OK;
}

HRESULT CMediaSample::SetMediaTime(LONGLONG* start, LONGLONG* end) {
  if (!start && !end) {
    mediaTimeValid_ = false;
    return S_OK;
  }
  // Media times come in pairs; half a pair is a caller error, not a reset.
  if (!start || !end) return E_POINTER;
  mediaStart_ = *start;
  mediaEnd_ = *end;
  mediaTimeValid_ = true;
  return S_OK;
}

HRESULT CMediaSample::GetProperties(DWORD size, BYTE* properties) {
  if (size > sizeof(AM_SAMPLE2_PROPERTIES)) return E_INVALIDARG;
  if (size == 0) return S_OK;
  if (!properties) return E_POINTER;
  AM_SAMPLE2_PROPERTIES block{};
  block.cbData = size;
  block.dwTypeSpecificFlags = typeSpecificFlags_;
  block.dwSampleFlags = flags_;
  block.lActual = actual_;
  block.tStart = start_;
  block.tStop = end_;
  block.dwStreamId = streamId_;
  block.pMediaType = hasFlag(AM_SAMPLE_TYPECHANGED) ? mediaType_.get() : nullptr;
  block.pbBuffer = buffer_;
  block.cbBuffer = size_;
  std::memcpy(properties, &block, size);
  return S_OK;
}

HRESULT CMediaSample::SetProperties(DWORD size, const BYTE* properties) {
  if (size > sizeof(AM_SAMPLE2_PROPERTIES)) return E_INVALIDARG;
  if (size == 0) return S_OK;
  if (!properties) return E_POINTER;
  // Fields beyond the caller's prefix keep their current values.
  AM_SAMPLE2_PROPERTIES block{};
  HRESULT hr = GetProperties(sizeof(block), reinterpret_cast<BYTE*>(&block));
  if (FAILED(hr)) return hr;
  std::memcpy(&block, properties, size);

  if (block.pbBuffer != buffer_ || block.cbBuffer != size_) return E_INVALIDARG;
  if (block.lActual < 0) return E_INVALIDARG;
  if (block.lActual > size_) return VFW_E_BUFFER_OVERFLOW;
  const bool timeValid = (block.dwSampleFlags & AM_SAMPLE_TIMEVALID) != 0;
  const bool stopValid = (block.dwSampleFlags & AM_SAMPLE_STOPVALID) != 0;
  if (stopValid && !timeValid) return E_INVALIDARG;
  const bool typeChanged = (block.dwSampleFlags & AM_SAMPLE_TYPECHANGED) != 0;
  if (typeChanged && !block.pMediaType) return E_INVALIDARG;

  // Copy the new type before changing anything, so that a memory failure leaves the sample
  // as it was. Our own pointer back (a get-modify-set round trip) needs no copy.
  OwnedMediaType type;
  if (typeChanged && block.pMediaType != mediaType_.get()) {
    type.reset(CreateMediaType(block.pMediaType));
    if (!type) return E_OUTOFMEMORY;
  }

  typeSpecificFlags_ = block.dwTypeSpecificFlags;
  flags_ = block.dwSampleFlags;
  actual_ = block.lActual;
  start_ = block.tStart;
  end_ = block.tStop;
  streamId_ = block.dwStreamId;
  if (!typeChanged) {
    mediaType_.reset();
  } else if (type) {
    mediaType_ = std::move(type);
  }
  return S_OK;
}

void CMediaSample::SetPointer(BYTE* buffer, LONG length) {
  buffer_ = buffer;
  size_ = length;
  actual_ = length;
}

void CMediaSample::ClearProperties() {
  flags_ = 0;
  typeSpecificFlags_ = 0;
  streamId_ = AM_STREAM_MEDIA;
  start_ = 0;
  end_ = 0;
  mediaTimeValid_ = false;
  mediaStart_ = 0;
  mediaEnd_ = 0;
  mediaType_.reset();
  actual_ = size_;
}
