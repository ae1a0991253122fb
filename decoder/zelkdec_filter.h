// The screen-codec decoder filter "Zelkdec": rebuilds RGB32 frames from the "ZLKC" stream. It
// keeps the reconstructed picture between samples (through stop, flush and reconnection; a new
// frame size starts from black) and copies the whole picture into every output sample,
// flipped for a top-down output and into the first columns of a wider one. The base class's
// pins; Transform runs on the upstream streaming thread under the receive lock, which is the
// only lock the picture needs.
#pragma once

#include <windows.h>
#include <dshow.h>

#include "codec/frame_reader.h"
#include "dshow/transform.h"

class ZelkdecFilter final : public CTransformFilter {
 public:
  static CUnknown* create(IUnknown* outer, HRESULT* hr);

  explicit ZelkdecFilter(IUnknown* outer);

  HRESULT Transform(IMediaSample* in, IMediaSample* out) override;
  HRESULT CheckInputType(const CMediaType* in) override;
  HRESULT CheckTransform(const CMediaType* in, const CMediaType* out) override;
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
  HRESULT GetMediaType(int position, CMediaType* type) override;

 private:
  HRESULT decode(IMediaSample* in, IMediaSample* out);

  codec::FrameReader reader_;
};
