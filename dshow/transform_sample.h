// What a transform filter hands from an input sample to its output sample besides the data:
// a media type the sample brings (it becomes the pin's current type) and the sample's
// properties (times, flags, media times, length). Called on the streaming thread from
// `Transform`, while the filter holds its receive lock.
#pragma once

#include <windows.h>
#include <strmif.h>

#include "dshow/media_type.h"

// When `sample` carries a media type, `pin` (a transform pin, anything with SetCurrentType)
// takes it as its current type and the sample's type is cleared. S_OK when a type was taken,
// S_FALSE when the sample brought none, E_OUTOFMEMORY.
template <class Pin>
HRESULT AdoptSampleMediaType(IMediaSample* sample, Pin* pin) {
  AM_MEDIA_TYPE* carried = nullptr;
  if (sample->GetMediaType(&carried) != S_OK || !carried) return S_FALSE;
  CMediaType type(*carried);
  DeleteMediaType(carried);
  if (!type.IsValid()) return E_OUTOFMEMORY;
  HRESULT hr = pin->SetCurrentType(type);
  if (FAILED(hr)) return hr;
  sample->SetMediaType(nullptr);
  return S_OK;
}

// Copies `in`'s properties to `out`: the property block through IMediaSample2 when both offer
// it and `out` takes it, else start and stop time, sync point, discontinuity and preroll one
// by one; media times and the actual data length in either case. A length `out` cannot hold
// is left for the transform to set.
void CopySampleProperties(IMediaSample* in, IMediaSample* out);
