// Test source and transform built on the base-class layer.
#include "test_filters.h"

#include <algorithm>
#include <cstring>

namespace test_filters {

const CLSID kTestSourceClass = {
    0x5e1f7a10, 0x2c3d, 0x4b5e, {0x9f, 0x60, 0x71, 0x82, 0x93, 0xa4, 0xb5, 0x01}};
const CLSID kTestInvertClass = {
    0x5e1f7a10, 0x2c3d, 0x4b5e, {0x9f, 0x60, 0x71, 0x82, 0x93, 0xa4, 0xb5, 0x02}};

CMediaType frameType() {
  CMediaType type(&MEDIATYPE_Video);
  type.SetSubtype(&MEDIASUBTYPE_RGB32);
  type.SetFormatType(&FORMAT_VideoInfo);
  type.SetTemporalCompression(false);
  type.SetSampleSize(kFrameBytes);
  auto* info = reinterpret_cast<VIDEOINFOHEADER*>(type.AllocFormatBuffer(sizeof(VIDEOINFOHEADER)));
  info->AvgTimePerFrame = kPeriod;
  info->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info->bmiHeader.biWidth = kWidth;
  info->bmiHeader.biHeight = kHeight;
  info->bmiHeader.biPlanes = 1;
  info->bmiHeader.biBitCount = 32;
  info->bmiHeader.biCompression = BI_RGB;
  info->bmiHeader.biSizeImage = GetBitmapSize(&info->bmiHeader);
  return type;
}

NumberedStream::NumberedStream(HRESULT* hr, CSource* filter, LONG frameLimit, Delivery delivery)
    : CSourceStream(hr, filter, L"Frames"), frameLimit_(frameLimit), delivery_(delivery) {}

HRESULT NumberedStream::GetMediaType(CMediaType* type) {
  *type = frameType();
  return type->IsValid() ? S_OK : E_OUTOFMEMORY;
}

HRESULT NumberedStream::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
  request->cBuffers = std::max<long>(request->cBuffers, 3);
  request->cbBuffer = std::max<long>(request->cbBuffer, kFrameBytes);
  ALLOCATOR_PROPERTIES actual = {};
  HRESULT hr = allocator->SetProperties(request, &actual);
  if (FAILED(hr)) return hr;
  return actual.cbBuffer >= static_cast<long>(kFrameBytes) ? S_OK : E_FAIL;
}

HRESULT NumberedStream::FillBuffer(IMediaSample* sample) {
  if (frameLimit_ >= 0 && next_ >= frameLimit_) return S_FALSE;
  BYTE* data = nullptr;
  HRESULT hr = sample->GetPointer(&data);
  if (FAILED(hr)) return hr;
  std::fill_n(reinterpret_cast<DWORD*>(data), kFrameBytes / 4, static_cast<DWORD>(next_));
  REFERENCE_TIME start = next_ * kPeriod;
  REFERENCE_TIME stop = start + kPeriod;
  sample->SetTime(&start, &stop);
  sample->SetActualDataLength(kFrameBytes);
  sample->SetSyncPoint(TRUE);
  ++next_;
  ++framesFilled;
  return S_OK;
}

HRESULT NumberedStream::OnThreadCreate() {
  next_ = 0;
  ++threadsCreated;
  return S_OK;
}

HRESULT NumberedStream::OnThreadDestroy() {
  ++threadsDestroyed;
  return S_OK;
}

HRESULT NumberedStream::Active() {
  if (delivery_ != Delivery::Direct) {
    CAutoLock lock(&queueLock_);
    HRESULT hr = S_OK;
    const bool automatic = delivery_ == Delivery::AutoQueue;
    queue_ = std::make_unique<COutputQueue>(GetConnected(), &hr, automatic, false);
    if (FAILED(hr)) {
      queue_.reset();
      return hr;
    }
    queueThreaded = queue_->IsQueued();
  }
  return CSourceStream::Active();
}

HRESULT NumberedStream::Inactive() {
  HRESULT hr = CSourceStream::Inactive();
  CAutoLock lock(&queueLock_);
  queue_.reset();
  return hr;
}

HRESULT NumberedStream::Deliver(IMediaSample* sample) {
  CAutoLock lock(&queueLock_);
  HRESULT hr;
  if (queue_) {
    sample->AddRef();  // the queue takes over a reference
    hr = queue_->Receive(sample);
  } else {
    hr = CSourceStream::Deliver(sample);
  }
  if (hr != S_OK) ++deliveriesRefused;
  return hr;
}

HRESULT NumberedStream::DeliverEndOfStream() {
  CAutoLock lock(&queueLock_);
  if (!queue_) return CSourceStream::DeliverEndOfStream();
  queue_->EOS();
  return S_OK;
}

NumberedSource::NumberedSource(LONG frameLimit, Delivery delivery)
    : CSource(L"Numbered source", nullptr, kTestSourceClass) {
  HRESULT hr = S_OK;
  auto stream = std::make_unique<NumberedStream>(&hr, this, frameLimit, delivery);
  stream_ = stream.get();
  AddPin(std::move(stream));
}

InvertFilter::InvertFilter() : CTransformFilter(L"Invert", nullptr, kTestInvertClass) {}

HRESULT InvertFilter::CheckInputType(const CMediaType* in) {
  if (!in) return E_POINTER;
  if (*in->Type() != MEDIATYPE_Video || *in->Subtype() != MEDIASUBTYPE_RGB32 ||
      *in->FormatType() != FORMAT_VideoInfo || in->FormatLength() < sizeof(VIDEOINFOHEADER)) {
    return VFW_E_TYPE_NOT_ACCEPTED;
  }
  return S_OK;
}

HRESULT InvertFilter::CheckTransform(const CMediaType* in, const CMediaType* out) {
  HRESULT hr = CheckInputType(in);
  if (hr != S_OK) return hr;
  return *in == *out ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT InvertFilter::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
  request->cBuffers = std::max<long>(request->cBuffers, 2);
  request->cbBuffer =
      std::max<long>(request->cbBuffer, InputPin()->CurrentMediaType().GetSampleSize());
  ALLOCATOR_PROPERTIES actual = {};
  HRESULT hr = allocator->SetProperties(request, &actual);
  if (FAILED(hr)) return hr;
  return actual.cbBuffer >= request->cbBuffer ? S_OK : E_FAIL;
}

HRESULT InvertFilter::GetMediaType(int position, CMediaType* type) {
  if (!type) return E_POINTER;
  if (position < 0) return E_INVALIDARG;
  if (position > 0) return VFW_S_NO_MORE_ITEMS;
  *type = InputPin()->CurrentMediaType();
  return S_OK;
}

HRESULT InvertFilter::Transform(IMediaSample* in, IMediaSample* out) {
  BYTE* source = nullptr;
  BYTE* target = nullptr;
  if (FAILED(in->GetPointer(&source)) || FAILED(out->GetPointer(&target))) return E_FAIL;
  const long length = in->GetActualDataLength();
  if (length > out->GetSize()) return E_FAIL;
  for (long i = 0; i < length; ++i) target[i] = static_cast<BYTE>(~source[i]);
  out->SetActualDataLength(length);
  ++transformed;
  return S_OK;
}

HRESULT InvertFilter::EndOfStream() {
  if (endsOfStream++ == 0) transformedBeforeEnd = transformed.load();
  return CTransformFilter::EndOfStream();
}

HRESULT InvertFilter::BeginFlush() {
  ++beginFlushes;
  return CTransformFilter::BeginFlush();
}

HRESULT InvertFilter::EndFlush() {
  ++endFlushes;
  return CTransformFilter::EndFlush();
}

}  // namespace test_filters
