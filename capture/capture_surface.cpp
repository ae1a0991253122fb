// DIB sections for the capture and the headers that describe them.
#include <windows.h>

#include "capture/capture_surface.h"

#include <utility>

#include "capture/border_fill.h"
#include "dshow/media_type.h"

namespace {

// GDI functions do not always set the last error.
HRESULT lastErrorOr(HRESULT fallback) {
  const DWORD error = ::GetLastError();
  return error != ERROR_SUCCESS ? HRESULT_FROM_WIN32(error) : fallback;
}

bool supportedBits(int bits) { return bits == 15 || bits == 16 || bits == 24 || bits == 32; }

}  // namespace

DibHolder::DibHolder(DibHolder&& other) noexcept
    : dc(std::move(other.dc)),
      bitmap(std::move(other.bitmap)),
      previous(std::exchange(other.previous, nullptr)),
      bits(std::exchange(other.bits, nullptr)) {}

DibHolder& DibHolder::operator=(DibHolder&& other) noexcept {
  if (this != &other) {
    free();
    dc = std::move(other.dc);
    bitmap = std::move(other.bitmap);
    previous = std::exchange(other.previous, nullptr);
    bits = std::exchange(other.bits, nullptr);
  }
  return *this;
}

HRESULT DibHolder::create(const BITMAPINFO* header) {
  free();
  if (!header) return E_POINTER;
  ::SetLastError(ERROR_SUCCESS);
  UniqueMemoryDC display(::CreateDCW(L"DISPLAY", nullptr, nullptr, nullptr));
  if (!display) return lastErrorOr(E_FAIL);
  UniqueMemoryDC memory(::CreateCompatibleDC(display.get()));
  if (!memory) return lastErrorOr(E_FAIL);
  void* sectionBits = nullptr;
  ScopedBitmap section(
      ::CreateDIBSection(display.get(), header, DIB_RGB_COLORS, &sectionBits, nullptr, 0));
  if (!section || !sectionBits) return lastErrorOr(E_OUTOFMEMORY);
  const HGDIOBJ old = ::SelectObject(memory.get(), section.get());
  if (!old || old == HGDI_ERROR) return lastErrorOr(E_FAIL);

  dc = std::move(memory);
  bitmap = std::move(section);
  previous = old;
  bits = static_cast<uint8_t*>(sectionBits);
  return S_OK;
}

void DibHolder::free() {
  // The section cannot be deleted while the DC holds it.
  if (dc && previous) ::SelectObject(dc.get(), previous);
  previous = nullptr;
  bits = nullptr;
  bitmap.reset();
  dc.reset();
}

bool DibHolder::selectable() const {
  if (!dc || !bitmap) return false;
  BITMAP info;
  if (::GetObjectW(bitmap.get(), sizeof(info), &info) == 0) return false;
  return ::GetCurrentObject(dc.get(), OBJ_BITMAP) == bitmap.get();
}

HRESULT CaptureSurface::build(const BITMAPINFOHEADER& connected, const CaptureParams& params) {
  free();
  const int bits = connected.biBitCount;
  const int width = params.has(CaptureFlag::Resize) ? params.area.width() : connected.biWidth;
  const int height = params.has(CaptureFlag::Resize) ? params.area.height() : connected.biHeight;
  // The fills work on bottom-up pictures of the four depths valid() accepts.
  if (!supportedBits(bits) || width < 1 || height < 1 || connected.biWidth < 1 ||
      connected.biHeight < 1) {
    return E_INVALIDARG;
  }

  BitfieldsHeader header{};
  header.header.biSize = sizeof(BITMAPINFOHEADER);
  header.header.biWidth = width;
  header.header.biHeight = height;
  header.header.biPlanes = 1;
  // GDI has no 15-bit count: 555 is a 16-bit DIB with its masks.
  header.header.biBitCount = static_cast<WORD>(bits == 15 ? 16 : bits);
  if (bits == 16) {
    header.header.biCompression = BI_BITFIELDS;
    header.masks[0] = 0xF800;
    header.masks[1] = 0x07E0;
    header.masks[2] = 0x001F;
  } else if (bits == 15) {
    header.header.biCompression = BI_BITFIELDS;
    header.masks[0] = 0x7C00;
    header.masks[1] = 0x03E0;
    header.masks[2] = 0x001F;
  } else {
    header.header.biCompression = BI_RGB;
  }
  header.header.biSizeImage = GetBitmapSize(&header.header);

  BitfieldsHeader output = header;
  output.header.biWidth = connected.biWidth;
  output.header.biHeight = connected.biHeight;
  output.header.biSizeImage = GetBitmapSize(&output.header);

  capture_ = header;
  output_ = output;
  const auto* info = reinterpret_cast<const BITMAPINFO*>(&capture_);
  HRESULT hr = main_.create(info);
  if (SUCCEEDED(hr)) hr = backup_.create(info);
  if (FAILED(hr)) {
    free();
    return hr;
  }
  width_ = width;
  height_ = height;
  bitsPerPixel_ = bits;
  bytesPerPixel_ = bytesPerPixelFor(bits);
  borderPixel_ = ::borderPixel(params.border, bits);
  direct = true;
  return S_OK;
}

void CaptureSurface::free() {
  main_.free();
  backup_.free();
  width_ = 0;
  height_ = 0;
  bitsPerPixel_ = 0;
  bytesPerPixel_ = 0;
  direct = false;
}

void CaptureSurface::setBorder(uint32_t border) {
  if (bitsPerPixel_) borderPixel_ = ::borderPixel(border, bitsPerPixel_);
}

bool CaptureSurface::valid(const BITMAPINFOHEADER* connected, const CaptureParams& params) const {
  if (width_ < 1 || height_ < 1) return false;
  if (bytesPerPixel_ < 2 || bytesPerPixel_ > 4 || !supportedBits(bitsPerPixel_)) return false;
  if (!main_.selectable() || !backup_.selectable()) return false;
  if (!connected || connected->biBitCount != bitsPerPixel_) return false;
  if (params.has(CaptureFlag::Resize)) {
    return width_ == params.area.width() && height_ == params.area.height();
  }
  return width_ == connected->biWidth && height_ == connected->biHeight;
}
