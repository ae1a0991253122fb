// The "ZLKC" subtype and the video-info checks of the codec filters.
#include "codec/zlkc_media_type.h"

#include "codec/frame_format.h"

const GUID MEDIASUBTYPE_ZLKC = {
    codec::kFourCC, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

const VIDEOINFOHEADER* VideoInfoOf(const CMediaType& type) {
  if (*type.FormatType() != FORMAT_VideoInfo || !type.Format() ||
      type.FormatLength() < sizeof(VIDEOINFOHEADER)) {
    return nullptr;
  }
  return reinterpret_cast<const VIDEOINFOHEADER*>(type.Format());
}

bool IsVideoInfoTypeOf(const CMediaType& type, const GUID& subtype) {
  if (*type.Type() != MEDIATYPE_Video || *type.Subtype() != subtype) return false;
  const VIDEOINFOHEADER* info = VideoInfoOf(type);
  return info && info->bmiHeader.biWidth > 0 && info->bmiHeader.biHeight > 0;
}
