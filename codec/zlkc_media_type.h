// The media-type side of the "ZLKC" stream that the encoder and decoder filters share: its
// subtype and the video-info checks both make of their input types. Windows side of the codec.
#pragma once

#include <windows.h>

#include "dshow/media_type.h"

// The FOURCC subtype of "ZLKC".
extern const GUID MEDIASUBTYPE_ZLKC;

// The VIDEOINFOHEADER of `type` when it has a whole one, else null.
const VIDEOINFOHEADER* VideoInfoOf(const CMediaType& type);

// Video of `subtype` with a whole video-info format block whose width and height are above 0.
bool IsVideoInfoTypeOf(const CMediaType& type, const GUID& subtype);
