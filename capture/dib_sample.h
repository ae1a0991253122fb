// Samples whose buffers are GDI DIB sections, so GDI can copy the screen and draw the pointer
// straight into a sample. `DibSampleAllocator` makes one section per buffer from the capture
// surface's output header; `DibSample` owns its section and hands it out through
// `IDibSampleBitmap`. The worker thread replaces a sample's section when it can no longer be
// selected into the surface's memory DC.
#pragma once

#include <windows.h>
#include <dshow.h>

#include <vector>

#include "dshow/allocator.h"
#include "dshow/media_sample.h"

// {BE9E9D52-BC79-4287-8EA5-B30CAAABF3B7}
inline constexpr GUID IID_IDibSampleBitmap = {
    0xBE9E9D52, 0xBC79, 0x4287, {0x8E, 0xA5, 0xB3, 0x0C, 0xAA, 0xAB, 0xF3, 0xB7}};

struct IDibSampleBitmap : public IUnknown {
  // The sample's DIB section: E_POINTER for a null argument, E_UNEXPECTED when it has none.
  virtual HRESULT STDMETHODCALLTYPE GetBitmap(HBITMAP* bitmap) = 0;
};

class DibSample final : public CMediaSample, public IDibSampleBitmap {
 public:
  DibSample(CBaseAllocator* allocator, HBITMAP section, BYTE* bits, LONG length);
  ~DibSample() override;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return CMediaSample::AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return CMediaSample::Release(); }
  HRESULT STDMETHODCALLTYPE GetBitmap(HBITMAP* bitmap) override;

  // Takes `section` in place of the current one, which is deleted.
  void ReplaceSection(HBITMAP section, BYTE* bits, LONG length);

 private:
  HBITMAP section_;
};

class DibSampleAllocator final : public CBaseAllocator {
 public:
  // `header` is the output-size bitmap header (with the three colour masks after it) and `dc`
  // the memory DC the sections are made on.
  DibSampleAllocator(const BITMAPINFO* header, HDC dc);
  ~DibSampleAllocator() override;

  // Any power-of-two alignment up to the page size, no prefix, buffers of at most the image.
  HRESULT STDMETHODCALLTYPE SetProperties(ALLOCATOR_PROPERTIES* request,
                                          ALLOCATOR_PROPERTIES* actual) override;

  // Gives `sample` a new DIB section; E_INVALIDARG if it is not one of ours.
  HRESULT ReplaceBitmap(IMediaSample* sample);

 protected:
  HRESULT Alloc() override;
  void Free() override;

 private:
  HRESULT createSection(HBITMAP* section, BYTE** bits) const;
  LONG imageSize() const { return static_cast<LONG>(header_.bmiHeader.biSizeImage); }

  // The header with its colour masks, copied: the surface may be rebuilt meanwhile.
  struct {
    BITMAPINFOHEADER bmiHeader;
    DWORD masks[3];
  } header_ = {};
  bool hasHeader_ = false;
  HDC dc_;
};
