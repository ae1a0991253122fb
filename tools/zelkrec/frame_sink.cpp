// The frame sink: type checks against the picture layouts the consumer can take, and one
// conversion per sample.
#include "tools/zelkrec/frame_sink.h"

#include <algorithm>
#include <cstddef>

namespace {

// {9CA3F020-E13A-4C55-AB43-9A8CC8A37B79}
const CLSID kFrameSink = {
    0x9CA3F020, 0xE13A, 0x4C55, {0xAB, 0x43, 0x9A, 0x8C, 0xC8, 0xA3, 0x7B, 0x79}};

constexpr size_t kHeaderOffset = offsetof(VIDEOINFOHEADER, bmiHeader);

}  // namespace

BitmapLayoutResult videoLayout(const CMediaType& type) {
  BitmapLayoutResult result;
  if (*type.Type() != MEDIATYPE_Video || *type.FormatType() != FORMAT_VideoInfo || !type.Format() ||
      type.FormatLength() < sizeof(VIDEOINFOHEADER)) {
    result.error = "not video with a video-info format";
    return result;
  }
  return bitmapLayout({type.Format() + kHeaderOffset, type.FormatLength() - kHeaderOffset});
}

FrameSinkPin::FrameSinkPin(FrameSink* filter, CCritSec* lock, HRESULT* hr)
    : CBaseInputPin(filter, lock, hr, L"In"), sink_(filter) {}

HRESULT FrameSinkPin::CheckMediaType(const CMediaType* type) {
  return videoLayout(*type).ok() ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT FrameSinkPin::SetMediaType(const CMediaType* type) {
  const BitmapLayoutResult layout = videoLayout(*type);
  if (!layout.ok()) return VFW_E_TYPE_NOT_ACCEPTED;
  HRESULT hr = CBaseInputPin::SetMediaType(type);
  if (FAILED(hr)) return hr;
  layout_ = layout.layout;
  return S_OK;
}

HRESULT FrameSinkPin::Receive(IMediaSample* sample) {
  HRESULT hr = CBaseInputPin::Receive(sample);
  if (hr != S_OK) return hr;
  // The base class checked a type that came with the sample; from now on frames have it.
  AM_MEDIA_TYPE* changed = nullptr;
  if (sample->GetMediaType(&changed) == S_OK && changed) {
    CMediaType type(*changed);
    DeleteMediaType(changed);
    hr = SetMediaType(&type);
    if (FAILED(hr)) return hr;
  }
  BYTE* data = nullptr;
  hr = sample->GetPointer(&data);
  if (FAILED(hr)) return hr;
  const long length = sample->GetActualDataLength();
  if (!convertToRgb(layout_, {data, static_cast<size_t>(std::max(length, 0L))}, &picture_)) {
    // A short frame is a broken stream, not a picture to guess at.
    hr = VFW_E_BUFFER_UNDERFLOW;
    sink_->failure_ = "frame " + std::to_string(sink_->frames_) + " holds " +
                      std::to_string(length) + " bytes, less than a picture of " +
                      std::to_string(layout_.width) + " x " + std::to_string(layout_.height) +
                      " needs (" + std::to_string(layout_.imageBytes()) + ")";
  } else {
    hr = sink_->consumer_->consume(picture_);
    if (FAILED(hr)) sink_->failure_ = sink_->consumer_->failure();
  }
  if (FAILED(hr)) {
    sink_->NotifyEvent(EC_ERRORABORT, hr, 0);
    return hr;
  }
  ++sink_->frames_;
  return S_OK;
}

HRESULT FrameSinkPin::EndOfStream() {
  HRESULT hr = CheckStreaming();
  if (hr != S_OK) return hr;
  ::SetEvent(sink_->ended_.get());
  return sink_->NotifyEvent(EC_COMPLETE, S_OK, 0);
}

FrameSink::FrameSink(FrameConsumer* consumer)
    : CBaseFilter(L"Frame sink", nullptr, &filterLock_, kFrameSink),
      pin_(this, &filterLock_, nullptr),
      consumer_(consumer),
      ended_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
