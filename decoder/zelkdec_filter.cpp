// The decoder filter: type negotiation, buffer sizes, and the per-sample decode step.
#include "decoder/zelkdec_filter.h"

#include <cstdlib>
#include <new>

#include "codec/zlkc_media_type.h"
#include "decoder/picture_copy.h"
#include "decoder/zelkdec_ids.h"
#include "dshow/buffer_request.h"
#include "dshow/transform_sample.h"

namespace {

constexpr LONG kOutputBuffers = 2;

// Bytes of one output row: the bitmap rule, rows padded to 4 bytes.
uint64_t rowPitch(const BITMAPINFOHEADER& header) {
  const uint64_t bits = static_cast<uint64_t>(std::llabs(header.biWidth)) * header.biBitCount;
  return ((bits + 7) / 8 + 3) & ~uint64_t{3};
}

uint64_t absoluteHeight(const BITMAPINFOHEADER& header) {
  return static_cast<uint64_t>(std::llabs(header.biHeight));
}

}  // namespace

CUnknown* ZelkdecFilter::create(IUnknown* outer, HRESULT* hr) {
  *hr = S_OK;
  auto* filter = new (std::nothrow) ZelkdecFilter(outer);
  if (!filter) *hr = E_OUTOFMEMORY;
  return filter;
}

ZelkdecFilter::ZelkdecFilter(IUnknown* outer)
    : CTransformFilter(L"Zelkdec", outer, CLSID_Zelkdec) {}

HRESULT ZelkdecFilter::CheckInputType(const CMediaType* in) {
  if (!in) return E_POINTER;
  return IsVideoInfoTypeOf(*in, MEDIASUBTYPE_ZLKC) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT ZelkdecFilter::CheckTransform(const CMediaType* in, const CMediaType* out) {
  if (!in || !out) return E_POINTER;
  const HRESULT accepted = CheckInputType(in);
  if (accepted != S_OK) return accepted;
  const VIDEOINFOHEADER* target = VideoInfoOf(*out);
  if (*out->Type() != *in->Type() || *out->Subtype() != MEDIASUBTYPE_RGB32 || !target ||
      target->bmiHeader.biBitCount != 32) {
    return VFW_E_TYPE_NOT_ACCEPTED;
  }
  const LONG width = VideoInfoOf(*in)->bmiHeader.biWidth;
  const LONG height = VideoInfoOf(*in)->bmiHeader.biHeight;
  const LONG outputWidth = target->bmiHeader.biWidth;
  const uint64_t outputHeight = absoluteHeight(target->bmiHeader);
  if (outputWidth == width && outputHeight == static_cast<uint64_t>(height)) return S_OK;
  // A larger picture takes ours in its first columns and rows, and must say so.
  const RECT& source = target->rcSource;
  if (outputWidth >= width && outputHeight >= static_cast<uint64_t>(height) && source.left == 0 &&
      source.top == 0 && source.right == width && source.bottom == height) {
    return S_OK;
  }
  return VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT ZelkdecFilter::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
  if (!OutputPin()->IsConnected()) return E_UNEXPECTED;
  if (!allocator || !request) return E_POINTER;
  const CMediaType& output = OutputPin()->CurrentMediaType();
  // A type without a fixed size still needs room for the whole picture.
  uint64_t bytes = output.GetSampleSize();
  if (!output.IsFixedSize()) {
    const VIDEOINFOHEADER* info = VideoInfoOf(output);
    if (!info) return E_UNEXPECTED;
    bytes = rowPitch(info->bmiHeader) * absoluteHeight(info->bmiHeader);
  }
  if (bytes > static_cast<uint64_t>(MAXLONG)) return E_FAIL;

  request->cBuffers = kOutputBuffers;
  request->cbBuffer = static_cast<LONG>(bytes);
  return RequestBuffers(allocator, request);
}

HRESULT ZelkdecFilter::GetMediaType(int position, CMediaType* type) {
  if (!InputPin()->IsConnected()) return E_UNEXPECTED;
  if (position < 0) return E_INVALIDARG;
  if (position > 0) return VFW_S_NO_MORE_ITEMS;
  if (!type) return E_POINTER;

  CMediaType offered(InputPin()->CurrentMediaType());
  if (!offered.IsValid()) return E_OUTOFMEMORY;
  if (!VideoInfoOf(offered)) return E_UNEXPECTED;
  auto* info = reinterpret_cast<VIDEOINFOHEADER*>(offered.Format());
  // The encoded picture as it was: same size, bottom-up, 32 bits.
  info->bmiHeader.biCompression = BI_RGB;
  info->bmiHeader.biBitCount = 32;
  info->bmiHeader.biSizeImage = GetBitmapSize(&info->bmiHeader);
  offered.SetSubtype(&MEDIASUBTYPE_RGB32);
  offered.SetTemporalCompression(false);
  offered.SetSampleSize(info->bmiHeader.biSizeImage);
  *type = std::move(offered);
  return S_OK;
}

HRESULT ZelkdecFilter::Transform(IMediaSample* in, IMediaSample* out) {
  if (!in || !out) return E_POINTER;
  HRESULT hr = AdoptSampleMediaType(in, InputPin());
  if (FAILED(hr)) return hr;
  hr = AdoptSampleMediaType(out, OutputPin());
  if (FAILED(hr)) return hr;
  CopySampleProperties(in, out);
  return decode(in, out);
}

HRESULT ZelkdecFilter::decode(IMediaSample* in, IMediaSample* out) {
  const VIDEOINFOHEADER* input = VideoInfoOf(InputPin()->CurrentMediaType());
  const VIDEOINFOHEADER* output = VideoInfoOf(OutputPin()->CurrentMediaType());
  if (!input || !output) return E_UNEXPECTED;
  BYTE* source = nullptr;
  BYTE* target = nullptr;
  HRESULT hr = in->GetPointer(&source);
  if (FAILED(hr)) return hr;
  hr = out->GetPointer(&target);
  if (FAILED(hr)) return hr;

  const LONG width = input->bmiHeader.biWidth;
  const LONG height = input->bmiHeader.biHeight;
  // Fails for sizes it cannot hold; it keeps no picture then, and the next sample tries again.
  if (FAILED(reader_.setSize(width, height))) return E_FAIL;
  const LONG length = in->GetActualDataLength();
  reader_.applySample(source, length > 0 ? static_cast<size_t>(length) : 0,
                      in->IsSyncPoint() == S_OK);
  // The picture moves on; the graph just does not show it.
  if (in->IsPreroll() == S_OK) return S_FALSE;

  // An output type that came with a sample was not negotiated: never write past its rows.
  const uint64_t pitch = rowPitch(output->bmiHeader);
  const uint64_t bytes = pitch * static_cast<uint64_t>(height);
  if (output->bmiHeader.biBitCount != 32 || pitch < static_cast<uint64_t>(width) * 4 ||
      absoluteHeight(output->bmiHeader) < static_cast<uint64_t>(height) ||
      bytes > static_cast<uint64_t>(out->GetSize())) {
    return E_FAIL;
  }
  copyPicture(reader_.pixels(), width, height, target, static_cast<size_t>(pitch),
              output->bmiHeader.biHeight < 0);
  out->SetActualDataLength(static_cast<LONG>(bytes));
  out->SetSyncPoint(TRUE);
  return S_OK;
}
