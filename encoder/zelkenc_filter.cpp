// The encoder filter: type negotiation, buffer sizes, and the per-sample encode step.
#include "encoder/zelkenc_filter.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <memory>
#include <new>

#include "codec/frame_format.h"
#include "codec/zlkc_media_type.h"
#include "dshow/buffer_request.h"
#include "dshow/transform_sample.h"
#include "encoder/buffer_count.h"
#include "encoder/media_sample_frame.h"
#include "encoder/zelkenc_ids.h"
#include "encoder/zelkenc_input_pin.h"
#include "encoder/zelkenc_output_pin.h"

namespace {

// Output buffers: one for the sample being coded, the rest for downstream to hold.
constexpr LONG kOutputBuffers = 4;

}  // namespace

CUnknown* ZelkencFilter::create(IUnknown* outer, HRESULT* hr) {
  *hr = S_OK;
  auto* filter = new (std::nothrow) ZelkencFilter(outer, hr);
  if (!filter) *hr = E_OUTOFMEMORY;
  return filter;
}

ZelkencFilter::ZelkencFilter(IUnknown* outer, HRESULT* hr)
    : CUnknownWith(L"Zelkenc", outer, CLSID_Zelkenc) {
  openSettings();

  HRESULT pinResult = S_OK;
  std::unique_ptr<CTransformInputPin> input(new (std::nothrow) ZelkencInputPin(this, &pinResult));
  std::unique_ptr<CTransformOutputPin> output(new (std::nothrow)
                                                  ZelkencOutputPin(this, &pinResult));
  if (!input || !output) {
    *hr = E_OUTOFMEMORY;
    return;
  }
  if (FAILED(pinResult)) {
    *hr = pinResult;
    return;
  }
  SetPins(std::move(input), std::move(output));

  // Stored values are used as they are; the interface that writes them keeps them in range.
  int32_t keyframeRate = codec::FrameEncoder::kDefaultKeyframeRate;
  int32_t level = codec::FrameEncoder::kDefaultLevel;
  settingsKey_->ReadInt32(L"keyframe", &keyframeRate, keyframeRate);
  settingsKey_->ReadInt32(L"quality", &level, level);
  encoder_.setKeyframeRate(keyframeRate);
  // zlib takes 0 to 9; a stored level beyond (reported as quality 0 or 1) codes at the end it
  // is nearest.
  encoder_.setLevel(std::clamp(level, 0, 9));
}

void ZelkencFilter::openSettings() {
  // Changes are stored under the machine's key where this user may write it, else under the
  // user's own. Where neither can be written the machine's stored values are still read, and
  // where nothing can be read the encoder runs on its built-in values.
  HRESULT hr = E_FAIL;
  settingsKey_.emplace(HKEY_LOCAL_MACHINE, kSettingsPath, &hr);
  if (SUCCEEDED(hr)) return;
  settingsKey_.emplace(HKEY_CURRENT_USER, kSettingsPath, &hr);
  if (SUCCEEDED(hr)) return;
  settingsKey_.emplace(RegistryKey::openForReading(HKEY_LOCAL_MACHINE, kSettingsPath, &hr));
}

ZelkencFilter::~ZelkencFilter() = default;

HRESULT ZelkencFilter::NonDelegatingQueryInterface(REFIID iid, void** object) {
  if (iid == IID_ISpecifyPropertyPages) {
    return GetInterface(static_cast<ISpecifyPropertyPages*>(this), object);
  }
  if (iid == IID_IAMVideoCompression) {
    return GetInterface(static_cast<IAMVideoCompression*>(this), object);
  }
  return CTransformFilter::NonDelegatingQueryInterface(iid, object);
}

HRESULT ZelkencFilter::CheckInputType(const CMediaType* in) {
  if (!in) return E_POINTER;
  return IsVideoInfoTypeOf(*in, MEDIASUBTYPE_RGB32) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT ZelkencFilter::CheckTransform(const CMediaType* in, const CMediaType* out) {
  if (!in || !out) return E_POINTER;
  const HRESULT accepted = CheckInputType(in);
  if (accepted != S_OK) return accepted;
  const VIDEOINFOHEADER* source = VideoInfoOf(*in);
  const VIDEOINFOHEADER* target = VideoInfoOf(*out);
  if (*out->Type() != *in->Type() || *out->Subtype() != MEDIASUBTYPE_ZLKC || !target ||
      target->bmiHeader.biWidth != source->bmiHeader.biWidth ||
      target->bmiHeader.biHeight != source->bmiHeader.biHeight) {
    return VFW_E_TYPE_NOT_ACCEPTED;
  }
  // More upstream buffers let the producer work ahead. An allocator nobody has set up yet (a
  // pass-through filter upstream hands one out before its own connection chose) is raised
  // when it is notified; one that cannot be raised is no reason to refuse: the encoder keeps
  // its own copy of the reference frame and holds no input buffer.
  Microsoft::WRL::ComPtr<IMemAllocator> allocator;
  ALLOCATOR_PROPERTIES properties = {};
  if (SUCCEEDED(InputPin()->GetAllocator(&allocator)) && allocator &&
      SUCCEEDED(allocator->GetProperties(&properties)) && properties.cbBuffer > 0) {
    RaiseBufferCount(allocator.Get(), ZelkencInputPin::kMinimumBuffers);
  }
  return S_OK;
}

namespace {

// The largest sample the encoder may write for `input`: room for a key sample of the whole
// frame.
bool largestSampleBytes(const CMediaType& input, const VIDEOINFOHEADER& info, LONG* bytes) {
  // A stated sample size below the picture's own bytes would leave no room for a key sample.
  uint64_t frameBytes = static_cast<uint64_t>(std::llabs(info.bmiHeader.biWidth)) *
                        static_cast<uint64_t>(std::llabs(info.bmiHeader.biHeight)) * 4;
  if (input.IsFixedSize()) frameBytes = std::max<uint64_t>(frameBytes, input.GetSampleSize());
  if (frameBytes > static_cast<uint64_t>(std::numeric_limits<LONG>::max())) return false;
  const uint64_t sampleBytes = codec::sampleCapacity(static_cast<size_t>(frameBytes));
  if (sampleBytes > static_cast<uint64_t>(std::numeric_limits<LONG>::max())) return false;
  *bytes = static_cast<LONG>(sampleBytes);
  return true;
}

}  // namespace

HRESULT ZelkencFilter::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
  if (!InputPin()->IsConnected()) return E_UNEXPECTED;
  if (!allocator || !request) return E_POINTER;
  const CMediaType& input = InputPin()->CurrentMediaType();
  const VIDEOINFOHEADER* info = VideoInfoOf(input);
  if (!info) return E_UNEXPECTED;

  LONG bufferBytes = 0;
  if (!largestSampleBytes(input, *info, &bufferBytes)) return E_FAIL;

  request->cBuffers = kOutputBuffers;
  request->cbBuffer = bufferBytes;
  return RequestBuffers(allocator, request);
}

HRESULT ZelkencFilter::GetMediaType(int position, CMediaType* type) {
  if (!InputPin()->IsConnected()) return E_UNEXPECTED;
  if (position < 0) return E_INVALIDARG;
  if (position > 0) return VFW_S_NO_MORE_ITEMS;
  if (!type) return E_POINTER;

  CMediaType offered(InputPin()->CurrentMediaType());
  if (!offered.IsValid()) return E_OUTOFMEMORY;
  auto* info = reinterpret_cast<VIDEOINFOHEADER*>(offered.Format());
  if (!VideoInfoOf(offered)) return E_UNEXPECTED;
  offered.SetSubtype(&MEDIASUBTYPE_ZLKC);
  // Samples are as long as the picture's changes; lSampleSize is left as the input had it.
  offered.bFixedSizeSamples = FALSE;
  offered.SetTemporalCompression(true);
  info->bmiHeader.biCompression = codec::kFourCC;
  // A compressed bitmap states its size; writers such as the AVI Mux size their buffers by it.
  // The largest sample is the only size a stream of changing lengths can state.
  LONG largest = 0;
  if (!largestSampleBytes(InputPin()->CurrentMediaType(), *info, &largest)) return E_FAIL;
  info->bmiHeader.biSizeImage = static_cast<DWORD>(largest);
  *type = std::move(offered);
  return S_OK;
}

HRESULT ZelkencFilter::Transform(IMediaSample* in, IMediaSample* out) {
  if (!in || !out) return E_POINTER;
  const HRESULT inputType = AdoptSampleMediaType(in, InputPin());
  if (FAILED(inputType)) return inputType;
  const HRESULT outputType = AdoptSampleMediaType(out, OutputPin());
  if (FAILED(outputType)) return outputType;
  CopySampleProperties(in, out);

  CAutoLock lock(&settingsLock_);
  // A new input type may mean new geometry: the old frame is no reference for the next.
  if (inputType == S_OK) encoder_.dropReference();
  return encode(in, out);
}

HRESULT ZelkencFilter::encode(IMediaSample* in, IMediaSample* out) {
  const VIDEOINFOHEADER* info = VideoInfoOf(InputPin()->CurrentMediaType());
  if (!info) return E_UNEXPECTED;
  BYTE* source = nullptr;
  BYTE* target = nullptr;
  HRESULT hr = in->GetPointer(&source);
  if (FAILED(hr)) return hr;
  hr = out->GetPointer(&target);
  if (FAILED(hr)) return hr;
  const LONG capacity = out->GetSize();
  if (capacity < 0) return E_UNEXPECTED;

  std::unique_ptr<codec::SourceFrame> frame(new (std::nothrow) MediaSampleFrame(in, source));
  if (!frame) return E_OUTOFMEMORY;
  codec::EncodedSample encoded;
  hr = encoder_.encode(std::move(frame), info->bmiHeader.biWidth, info->bmiHeader.biHeight, target,
                       static_cast<size_t>(capacity), &encoded);
  if (FAILED(hr)) return hr;
  out->SetActualDataLength(static_cast<LONG>(encoded.length));
  out->SetSyncPoint(encoded.syncPoint);
  return S_OK;
}

HRESULT ZelkencFilter::BeginFlush() {
  reset();
  return CTransformFilter::BeginFlush();
}

HRESULT ZelkencFilter::EndFlush() {
  // A sample that was inside Receive when the flush began may have become the reference of a
  // frame the flush then threw away: the first sample after the flush is a key sample.
  reset();
  return CTransformFilter::EndFlush();
}

HRESULT ZelkencFilter::Stop() {
  const HRESULT hr = CTransformFilter::Stop();
  reset();
  return hr;
}

void ZelkencFilter::reset() {
  CAutoLock lock(&settingsLock_);
  encoder_.reset();
}

HRESULT ZelkencFilter::GetPages(CAUUID* pages) {
  if (!pages) return E_POINTER;
  pages->cElems = 0;
  pages->pElems = static_cast<GUID*>(::CoTaskMemAlloc(sizeof(GUID)));
  if (!pages->pElems) return E_OUTOFMEMORY;
  pages->pElems[0] = CLSID_ZelkencProp;
  pages->cElems = 1;
  return S_OK;
}
