// Sample properties handed from a transform's input sample to its output sample.
#include "dshow/transform_sample.h"

#include <cstddef>

#include <wrl/client.h>

using Microsoft::WRL::ComPtr;

namespace {

// The block up to the buffer fields, which belong to each sample itself.
constexpr DWORD kPropertyBytes = offsetof(AM_SAMPLE2_PROPERTIES, pbBuffer);

bool copyPropertyBlock(IMediaSample* in, IMediaSample* out) {
  ComPtr<IMediaSample2> source;
  ComPtr<IMediaSample2> target;
  if (FAILED(in->QueryInterface(IID_IMediaSample2, &source)) ||
      FAILED(out->QueryInterface(IID_IMediaSample2, &target))) {
    return false;
  }
  AM_SAMPLE2_PROPERTIES block = {};
  if (FAILED(source->GetProperties(kPropertyBytes, reinterpret_cast<BYTE*>(&block)))) return false;
  block.cbData = kPropertyBytes;
  return SUCCEEDED(target->SetProperties(kPropertyBytes, reinterpret_cast<const BYTE*>(&block)));
}

void copyPropertiesOneByOne(IMediaSample* in, IMediaSample* out) {
  REFERENCE_TIME start = 0;
  REFERENCE_TIME stop = 0;
  const HRESULT times = in->GetTime(&start, &stop);
  if (times == S_OK) {
    out->SetTime(&start, &stop);
  } else if (times == VFW_S_NO_STOP_TIME) {
    out->SetTime(&start, nullptr);
  }
  out->SetSyncPoint(in->IsSyncPoint() == S_OK);
  out->SetDiscontinuity(in->IsDiscontinuity() == S_OK);
  out->SetPreroll(in->IsPreroll() == S_OK);
}

}  // namespace

void CopySampleProperties(IMediaSample* in, IMediaSample* out) {
  if (!copyPropertyBlock(in, out)) copyPropertiesOneByOne(in, out);
  LONGLONG mediaStart = 0;
  LONGLONG mediaStop = 0;
  if (in->GetMediaTime(&mediaStart, &mediaStop) == S_OK) out->SetMediaTime(&mediaStart, &mediaStop);
  out->SetActualDataLength(in->GetActualDataLength());
}
