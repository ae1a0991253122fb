// The AVI source: the file's type on the pin, one sample per frame on the worker thread.
#include "tools/zelkrec/avi_source_filter.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstring>

namespace {

// {C5309EBC-4E67-48AC-AC28-310F9AEBFFD5}
const CLSID kAviSource = {
    0xC5309EBC, 0x4E67, 0x48AC, {0xAC, 0x28, 0x31, 0x0F, 0x9A, 0xEB, 0xFF, 0xD5}};

constexpr size_t kHeaderOffset = offsetof(VIDEOINFOHEADER, bmiHeader);

}  // namespace

AviSourceStream::AviSourceStream(HRESULT* hr, CSource* filter,
                                 std::shared_ptr<const AviRecording> recording)
    : CSourceStream(hr, filter, L"Output"), recording_(std::move(recording)) {
  for (const AviFrame& frame : recording_->contents().frames) {
    largestFrame_ = std::max<size_t>(largestFrame_, frame.size);
  }
}

HRESULT AviSourceStream::GetMediaType(CMediaType* type) {
  const AviVideoFormat& video = recording_->video();
  const std::vector<std::uint8_t>& header = video.header;
  // The masks of BI_BITFIELDS follow the header; without them the type cannot be named.
  const DWORD headerSize = reinterpret_cast<const BITMAPINFOHEADER*>(header.data())->biSize;
  if (video.compression == BI_BITFIELDS && header.size() < headerSize + 3 * sizeof(DWORD)) {
    return VFW_E_INVALIDMEDIATYPE;
  }
  type->InitMediaType();
  type->SetType(&MEDIATYPE_Video);
  type->SetFormatType(&FORMAT_VideoInfo);
  BYTE* format = type->AllocFormatBuffer(static_cast<ULONG>(kHeaderOffset + header.size()));
  if (!format) return E_OUTOFMEMORY;
  auto* info = reinterpret_cast<VIDEOINFOHEADER*>(format);
  info->AvgTimePerFrame = video.framePeriod;
  std::memcpy(&info->bmiHeader, header.data(), header.size());
  const GUID subtype = GetBitmapSubtype(&info->bmiHeader);
  if (subtype == GUID_NULL) return VFW_E_INVALIDMEDIATYPE;
  type->SetSubtype(&subtype);
  if (video.uncompressed()) {
    type->SetSampleSize(GetBitmapSize(&info->bmiHeader));
  } else {
    const auto& frames = recording_->contents().frames;
    type->SetVariableSize();
    type->SetTemporalCompression(
        std::any_of(frames.begin(), frames.end(), [](const AviFrame& f) { return !f.key; }));
  }
  return S_OK;
}

HRESULT AviSourceStream::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
  // A stream of empty samples still needs a buffer to hand out.
  const size_t needed = std::max<size_t>({largestFrame_, CurrentMediaType().GetSampleSize(), 1});
  if (needed > LONG_MAX) return E_OUTOFMEMORY;
  request->cBuffers = std::max<long>(request->cBuffers, 2);
  request->cbBuffer = std::max<long>(request->cbBuffer, static_cast<long>(needed));
  request->cbAlign = std::max<long>(request->cbAlign, 1);
  ALLOCATOR_PROPERTIES actual = {};
  HRESULT hr = allocator->SetProperties(request, &actual);
  if (FAILED(hr)) return hr;
  return actual.cbBuffer >= static_cast<long>(needed) ? S_OK : E_FAIL;
}

HRESULT AviSourceStream::FillBuffer(IMediaSample* sample) {
  const auto& frames = recording_->contents().frames;
  if (next_ >= frames.size()) return S_FALSE;
  BYTE* data = nullptr;
  HRESULT hr = sample->GetPointer(&data);
  if (FAILED(hr)) return hr;
  const std::span<const std::uint8_t> bytes = recording_->frame(next_);
  if (static_cast<size_t>(sample->GetSize()) < bytes.size()) return VFW_E_BUFFER_OVERFLOW;
  std::memcpy(data, bytes.data(), bytes.size());
  hr = sample->SetActualDataLength(static_cast<long>(bytes.size()));
  if (FAILED(hr)) return hr;
  const REFERENCE_TIME period = recording_->video().framePeriod;
  REFERENCE_TIME start = static_cast<REFERENCE_TIME>(next_) * period;
  REFERENCE_TIME stop = start + period;
  sample->SetTime(&start, &stop);
  LONGLONG first = static_cast<LONGLONG>(next_);
  LONGLONG last = first + 1;
  sample->SetMediaTime(&first, &last);
  sample->SetSyncPoint(frames[next_].key ? TRUE : FALSE);
  sample->SetDiscontinuity(next_ == 0 ? TRUE : FALSE);
  sample->SetPreroll(FALSE);
  ++next_;
  return S_OK;
}

HRESULT AviSourceStream::OnThreadCreate() {
  next_ = 0;
  return S_OK;
}

HRESULT AviSourceStream::OnThreadStartPlay() {
  const REFERENCE_TIME length = static_cast<REFERENCE_TIME>(recording_->contents().frames.size()) *
                                recording_->video().framePeriod;
  return DeliverNewSegment(0, length, 1.0);
}

AviSourceFilter::AviSourceFilter(std::shared_ptr<const AviRecording> recording)
    : CSource(L"AVI source", nullptr, kAviSource) {
  HRESULT hr = S_OK;
  AddPin(std::make_unique<AviSourceStream>(&hr, this, std::move(recording)));
}
