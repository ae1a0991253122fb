// The codec tests' push source, recording sink and test allocator.
#include "codec_test_filters.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace codec_graph {

namespace {

const CLSID kPushSourceClass = {
    0x7a3c51e2, 0x44b1, 0x4c0e, {0x8d, 0x21, 0x5e, 0x90, 0x13, 0x7f, 0x62, 0x01}};
const CLSID kRecordingSinkClass = {
    0x7a3c51e2, 0x44b1, 0x4c0e, {0x8d, 0x21, 0x5e, 0x90, 0x13, 0x7f, 0x62, 0x02}};

}  // namespace

CMediaType videoType(const GUID& subtype, LONG width, LONG height) {
  CMediaType type(&MEDIATYPE_Video);
  type.SetSubtype(&subtype);
  type.SetFormatType(&FORMAT_VideoInfo);
  auto* info = reinterpret_cast<VIDEOINFOHEADER*>(type.AllocFormatBuffer(sizeof(VIDEOINFOHEADER)));
  info->AvgTimePerFrame = 400000;
  info->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info->bmiHeader.biWidth = width;
  info->bmiHeader.biHeight = height;
  info->bmiHeader.biPlanes = 1;
  info->bmiHeader.biBitCount = 32;
  info->bmiHeader.biCompression = BI_RGB;
  info->bmiHeader.biSizeImage = GetBitmapSize(&info->bmiHeader);
  type.SetSampleSize(info->bmiHeader.biSizeImage);
  return type;
}

HRESULT TestAllocator::SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) {
  if (!request) return E_POINTER;
  ALLOCATOR_PROPERTIES limited = *request;
  if (maxBuffers_ > 0) limited.cBuffers = std::min(limited.cBuffers, maxBuffers_);
  if (maxBytes_ > 0) limited.cbBuffer = std::min(limited.cbBuffer, maxBytes_);
  return CMemAllocator::SetProperties(&limited, actual);
}

HRESULT TestAllocator::GetBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* end,
                                 DWORD flags) {
  HRESULT hr = CMemAllocator::GetBuffer(sample, start, end, flags);
  if (FAILED(hr) || fill_ < 0) return hr;
  BYTE* data = nullptr;
  if (SUCCEEDED((*sample)->GetPointer(&data))) {
    std::memset(data, fill_, static_cast<size_t>((*sample)->GetSize()));
  }
  return hr;
}

PushPin::PushPin(PushSource* filter, HRESULT* hr, const CMediaType& type, LONG buffers, LONG bytes)
    : CBaseOutputPin(filter, filter->filterLock(), hr, L"Out"),
      type_(type),
      buffers_(buffers),
      bytes_(bytes) {}

HRESULT PushPin::CheckMediaType(const CMediaType* type) { return *type == type_ ? S_OK : S_FALSE; }

HRESULT PushPin::GetMediaType(int position, CMediaType* type) {
  if (position < 0) return E_INVALIDARG;
  if (position > 0) return VFW_S_NO_MORE_ITEMS;
  *type = type_;
  return S_OK;
}

HRESULT PushPin::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
  request->cBuffers = buffers_;
  request->cbBuffer = bytes_;
  ALLOCATOR_PROPERTIES actual = {};
  HRESULT hr = allocator->SetProperties(request, &actual);
  if (FAILED(hr)) return hr;
  return actual.cbBuffer >= bytes_ ? S_OK : E_FAIL;
}

HRESULT PushPin::push(const void* data, size_t length, const SampleFlags& flags) {
  IMediaSample* sample = nullptr;
  HRESULT hr = GetDeliveryBuffer(&sample, nullptr, nullptr, AM_GBF_NOWAIT);
  if (FAILED(hr)) return hr;
  BYTE* buffer = nullptr;
  hr = sample->GetPointer(&buffer);
  if (SUCCEEDED(hr) && length > static_cast<size_t>(sample->GetSize())) hr = E_INVALIDARG;
  if (SUCCEEDED(hr)) {
    if (length) std::memcpy(buffer, data, length);
    sample->SetActualDataLength(static_cast<LONG>(length));
    sample->SetSyncPoint(flags.syncPoint);
    sample->SetPreroll(flags.preroll);
    sample->SetDiscontinuity(flags.discontinuity);
    REFERENCE_TIME start = flags.start;
    REFERENCE_TIME stop = flags.stop;
    sample->SetTime(&start, &stop);
    if (flags.mediaType) hr = sample->SetMediaType(const_cast<AM_MEDIA_TYPE*>(flags.mediaType));
  }
  if (SUCCEEDED(hr)) hr = Deliver(sample);
  if (length) {
    // What the buffer holds once the receiver is done with it.
    lastDelivered_.assign(buffer, buffer + length);
  }
  sample->Release();
  return hr;
}

PushSource::PushSource(const CMediaType& type, LONG buffers, LONG bytes)
    : CBaseFilter(L"Push source", nullptr, &ownLock_, kPushSourceClass) {
  HRESULT hr = S_OK;
  pin_ = std::make_unique<PushPin>(this, &hr, type, buffers, bytes);
}

RecordingPin::RecordingPin(RecordingSink* filter, HRESULT* hr)
    : CBaseInputPin(filter, filter->filterLock(), hr, L"In"), sink_(filter) {}

HRESULT RecordingPin::CheckMediaType(const CMediaType* type) {
  return *type->Type() == MEDIATYPE_Video && *type->Subtype() == sink_->subtype_ ? S_OK : S_FALSE;
}

HRESULT RecordingPin::GetAllocator(IMemAllocator** allocator) {
  if (!sink_->offered_) return CBaseInputPin::GetAllocator(allocator);
  if (!allocator) return E_POINTER;
  *allocator = sink_->offered_.Get();
  (*allocator)->AddRef();
  return S_OK;
}

HRESULT RecordingPin::NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) {
  if (sink_->onlyOffered_ && allocator != sink_->offered_.Get()) return VFW_E_NO_ALLOCATOR;
  HRESULT hr = CBaseInputPin::NotifyAllocator(allocator, readOnly);
  if (SUCCEEDED(hr)) sink_->notified_ = allocator;
  return hr;
}

HRESULT RecordingPin::Receive(IMediaSample* sample) {
  HRESULT hr = CBaseInputPin::Receive(sample);
  if (hr != S_OK) return hr;
  if (const DWORD hold = sink_->holdMs_.exchange(0)) {
    sink_->holding_ = true;
    ::Sleep(hold);
    sink_->holding_ = false;
  }
  ReceivedSample seen;
  BYTE* data = nullptr;
  hr = sample->GetPointer(&data);
  if (FAILED(hr)) return hr;
  seen.data.assign(data, data + sample->GetActualDataLength());
  seen.syncPoint = sample->IsSyncPoint() == S_OK;
  seen.preroll = sample->IsPreroll() == S_OK;
  seen.discontinuity = sample->IsDiscontinuity() == S_OK;
  seen.timeResult = sample->GetTime(&seen.start, &seen.stop);
  std::lock_guard<std::mutex> lock(sink_->mutex_);
  sink_->samples_.push_back(std::move(seen));
  return S_OK;
}

HRESULT RecordingPin::ReceiveCanBlock() { return sink_->receiveCanBlock_ ? S_OK : S_FALSE; }

HRESULT RecordingPin::EndOfStream() {
  {
    std::lock_guard<std::mutex> lock(sink_->mutex_);
    ++sink_->endsOfStream_;
    sink_->endOfStreamThread_ = ::GetCurrentThreadId();
  }
  sink_->changed_.notify_all();
  return S_OK;
}

HRESULT RecordingPin::BeginFlush() {
  CBaseInputPin::BeginFlush();
  std::lock_guard<std::mutex> lock(sink_->mutex_);
  ++sink_->beginFlushes_;
  return S_OK;
}

HRESULT RecordingPin::EndFlush() {
  CBaseInputPin::EndFlush();
  std::lock_guard<std::mutex> lock(sink_->mutex_);
  ++sink_->endFlushes_;
  return S_OK;
}

RecordingSink::RecordingSink(const GUID& subtype)
    : CBaseFilter(L"Recording sink", nullptr, &ownLock_, kRecordingSinkClass), subtype_(subtype) {
  HRESULT hr = S_OK;
  pin_ = std::make_unique<RecordingPin>(this, &hr);
}

void RecordingSink::offerAllocator(TestAllocator* allocator, bool onlyThisOne) {
  offered_ = allocator;
  onlyOffered_ = onlyThisOne;
}

std::vector<ReceivedSample> RecordingSink::samples() {
  std::lock_guard<std::mutex> lock(mutex_);
  return samples_;
}

void RecordingSink::clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  samples_.clear();
}

bool RecordingSink::waitForEndsOfStream(int count, DWORD timeoutMs) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                           [&] { return endsOfStream_ >= count; });
}

DWORD RecordingSink::endOfStreamThread() {
  std::lock_guard<std::mutex> lock(mutex_);
  return endOfStreamThread_;
}

int RecordingSink::beginFlushes() {
  std::lock_guard<std::mutex> lock(mutex_);
  return beginFlushes_;
}

int RecordingSink::endFlushes() {
  std::lock_guard<std::mutex> lock(mutex_);
  return endFlushes_;
}

}  // namespace codec_graph
