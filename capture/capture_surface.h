// The pin's capture surface: two DIB sections in memory DCs compatible with the display (the
// main one the grab copies into, and a backup the pin keeps the last frame in), with the bitmap
// headers that describe the captured picture and the delivered one. The pin builds, checks and
// frees it on its streaming thread, or on the graph's thread while streaming is stopped, under
// the pin's lock.
#pragma once

#include <windows.h>

#include <cstdint>

#include "config/capture_params.h"
#include "common/win_raii.h"

// A DIB section selected into its own memory DC. One owner: it puts the DC's previous bitmap
// back before it deletes the section and the DC.
struct DibHolder {
  UniqueMemoryDC dc;
  ScopedBitmap bitmap;
  HGDIOBJ previous = nullptr;
  uint8_t* bits = nullptr;

  DibHolder() = default;
  ~DibHolder() { free(); }
  DibHolder(const DibHolder&) = delete;
  DibHolder& operator=(const DibHolder&) = delete;
  DibHolder(DibHolder&& other) noexcept;
  DibHolder& operator=(DibHolder&& other) noexcept;

  // A DC compatible with the display and a section of `header` selected into it; frees what
  // was held first, and holds nothing after a failure.
  HRESULT create(const BITMAPINFO* header);
  void free();
  // The section still exists and is the DC's current bitmap.
  bool selectable() const;
};

class CaptureSurface {
 public:
  CaptureSurface() = default;
  CaptureSurface(const CaptureSurface&) = delete;
  CaptureSurface& operator=(const CaptureSurface&) = delete;

  // A surface for frames of `connected`'s depth: the connected size, or with Resize the size of
  // params.area. Frees the old surface first; `direct` is true after success.
  HRESULT build(const BITMAPINFOHEADER& connected, const CaptureParams& params);
  void free();
  // The surface exists, has a supported format, and fits `connected` and `params`.
  bool valid(const BITMAPINFOHEADER* connected, const CaptureParams& params) const;
  // The border colour (0x00BBGGRR) in the surface's pixel format from now on.
  void setBorder(uint32_t border);

  HDC memoryDC() const { return main_.dc.get(); }
  HBITMAP mainBitmap() const { return main_.bitmap.get(); }
  uint8_t* mainBits() const { return main_.bits; }
  // Header, then three DWORD masks (zero unless BI_BITFIELDS).
  const BITMAPINFO* outputHeader() const { return reinterpret_cast<const BITMAPINFO*>(&output_); }
  const BITMAPINFO* captureHeader() const { return reinterpret_cast<const BITMAPINFO*>(&capture_); }
  int width() const { return width_; }
  int height() const { return height_; }
  int bitsPerPixel() const { return bitsPerPixel_; }
  int bytesPerPixel() const { return bytesPerPixel_; }
  uint32_t borderPixel() const { return borderPixel_; }
  int stride() const { return (width_ * bytesPerPixel_ + 3) & ~3; }
  DibHolder& backup() { return backup_; }

  // Frames go straight into the delivered sample (no scaling step).
  bool direct = false;

 private:
  struct BitfieldsHeader {
    BITMAPINFOHEADER header;
    DWORD masks[3];
  };

  DibHolder main_;
  DibHolder backup_;
  BitfieldsHeader capture_{};
  BitfieldsHeader output_{};
  int width_ = 0;
  int height_ = 0;
  int bitsPerPixel_ = 0;
  int bytesPerPixel_ = 0;
  uint32_t borderPixel_ = 0;
};
