// The frame tap: negotiation passes the input type through; streaming copies and counts.
#include "tools/zelkrec/frame_tap.h"

#include <algorithm>
#include <cstring>

#include "tools/zelkrec/frame_sink.h"

namespace {

// {7CA1AF92-4295-44EF-93F3-231860D0C17D}
const CLSID kFrameTap = {
    0x7CA1AF92, 0x4295, 0x44EF, {0x93, 0xF3, 0x23, 0x18, 0x60, 0xD0, 0xC1, 0x7D}};

LONG imageSize(const CMediaType& type) {
  if (type.lSampleSize > 0) return static_cast<LONG>(type.lSampleSize);
  if (*type.FormatType() != FORMAT_VideoInfo || type.FormatLength() < sizeof(VIDEOINFOHEADER)) {
    return 0;
  }
  const BITMAPINFOHEADER& header =
      reinterpret_cast<const VIDEOINFOHEADER*>(type.Format())->bmiHeader;
  if (header.biSizeImage > 0) return static_cast<LONG>(header.biSizeImage);
  const LONG rowBytes = ((header.biWidth * header.biBitCount + 31) / 32) * 4;
  return rowBytes * std::abs(header.biHeight);
}

}  // namespace

FrameTap::FrameTap(FrameCounter* counter, FrameConsumer* pictures)
    : CTransformFilter(L"Frame counter", nullptr, kFrameTap),
      counter_(counter),
      pictures_(pictures) {}

HRESULT FrameTap::SetMediaType(PIN_DIRECTION direction, const CMediaType* type) {
  if (direction != PINDIR_INPUT || !pictures_) return S_OK;
  const BitmapLayoutResult layout = videoLayout(*type);
  if (!layout.ok()) return VFW_E_TYPE_NOT_ACCEPTED;
  layout_ = layout.layout;
  return S_OK;
}

HRESULT FrameTap::handOver(const BYTE* frame, long length) {
  if (!convertToRgb(layout_, {frame, static_cast<size_t>(std::max(length, 0L))}, &picture_)) {
    return VFW_E_BUFFER_UNDERFLOW;
  }
  return pictures_->consume(picture_);
}

HRESULT FrameTap::CheckInputType(const CMediaType* in) {
  const bool video = *in->Type() == MEDIATYPE_Video && *in->FormatType() == FORMAT_VideoInfo &&
                     in->FormatLength() >= sizeof(VIDEOINFOHEADER);
  return video ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT FrameTap::CheckTransform(const CMediaType* in, const CMediaType* out) {
  return *in == *out ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT FrameTap::GetMediaType(int position, CMediaType* type) {
  if (position < 0) return E_INVALIDARG;
  if (position > 0) return VFW_S_NO_MORE_ITEMS;
  if (!InputPin()->IsConnected()) return VFW_E_NOT_CONNECTED;
  return type->Set(InputPin()->CurrentMediaType());
}

HRESULT FrameTap::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
  const LONG size = imageSize(InputPin()->CurrentMediaType());
  if (size <= 0) return VFW_E_INVALIDMEDIATYPE;
  request->cbBuffer = std::max(request->cbBuffer, size);
  request->cBuffers = std::max(request->cBuffers, 2L);
  request->cbAlign = std::max(request->cbAlign, 1L);
  ALLOCATOR_PROPERTIES actual = {};
  HRESULT hr = allocator->SetProperties(request, &actual);
  if (FAILED(hr)) return hr;
  return actual.cbBuffer >= size ? S_OK : E_FAIL;
}

HRESULT FrameTap::Transform(IMediaSample* in, IMediaSample* out) {
  BYTE* source = nullptr;
  BYTE* target = nullptr;
  HRESULT hr = in->GetPointer(&source);
  if (FAILED(hr)) return hr;
  hr = out->GetPointer(&target);
  if (FAILED(hr)) return hr;
  const long length = std::min(in->GetActualDataLength(), out->GetSize());
  std::memcpy(target, source, static_cast<size_t>(length));
  if (pictures_) {
    hr = handOver(target, length);
    if (FAILED(hr)) {
      // The capture source would take a refused frame as the end of its stream.
      NotifyEvent(EC_ERRORABORT, hr, 0);
      return hr;
    }
  }
  return out->SetActualDataLength(length);
}

HRESULT FrameTap::Receive(IMediaSample* sample) {
  CAutoLock gate(&gateLock_);
  // Dropped quietly: the source goes on until the graph stops it.
  if (closed_ || !counter_->admit(sample)) return S_OK;
  return CTransformFilter::Receive(sample);
}

void FrameTap::close() {
  CAutoLock gate(&gateLock_);
  closed_ = true;
}
