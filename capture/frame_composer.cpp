// One delivered frame from a snapshot of the parameter record.
#include "capture/frame_composer.h"

#include <cstdlib>
#include <cstring>

#include "capture/border_fill.h"
#include "capture/screen_grab.h"

FrameComposer::FrameComposer() {
  // Without the mouse device the pointer is still drawn, only never as a click.
  mouseDevice_.create();
}

GrabHooks FrameComposer::grabHooks(const CaptureParams& params, FrameReport* report) {
  GrabHooks hooks;
  hooks.hideFrame = [report] { report->kind = FrameReport::Kind::Hide; };
  hooks.showFrame = [report, &params](const ParamRect& screen) {
    report->kind =
        params.has(CaptureFlag::ShowFrame) ? FrameReport::Kind::Show : FrameReport::Kind::Hide;
    report->screen = screen;
  };
  if (params.has(CaptureFlag::HideMouse)) return hooks;
  // A snapshot that fails stays empty: this frame goes without a pointer.
  hooks.snapshotPointer = [this] { takeCursorShot(cursorShot_); };
  hooks.drawPointer = [this, &params](HDC memoryDC) {
    drawPointer(memoryDC, cursorShot_, params, mouseDevice_.device());
  };
  return hooks;
}

HRESULT FrameComposer::compose(const CaptureParams& params, const BITMAPINFOHEADER& connected,
                               const SampleBitmap& sample, bool capture, FrameReport* report,
                               const std::vector<ParamRect>* uncovered, HDC desktopDC) {
  if (!sample.bitmap || !sample.bits || !report) return E_POINTER;
  *report = {};
  // The border may have changed since the surface was built.
  surface_.setBorder(params.border);
  const bool direct = surface_.direct;
  const GrabTarget target = {direct ? sample.bitmap : surface_.mainBitmap(),
                             direct ? sample.bits : surface_.mainBits(), direct, capture};
  freeCursorShot(cursorShot_);
  HRESULT hr = grabFrame(surface_, params, target, grabHooks(params, report), uncovered, desktopDC);
  if (SUCCEEDED(hr) && !direct) {
    const bool showMouse = !params.has(CaptureFlag::HideMouse);
    if (params.has(CaptureFlag::Resize)) {
      auto scale = [&] { return scaleSurfaceToSample(sample.bits, connected, params); };
      // The pointer is in the surface only while it is scaled.
      hr = showMouse
               ? withPointerInSurface(&surface_, cursorShot_, params, mouseDevice_.device(), scale)
               : scale();
    } else {
      hr = copySurfaceToSample(sample, params);
    }
  }
  freeCursorShot(cursorShot_);
  return hr;
}

HRESULT FrameComposer::copySurfaceToSample(const SampleBitmap& sample,
                                           const CaptureParams& params) {
  const LONG available = static_cast<LONG>(surface_.stride()) * surface_.height();
  if (!surface_.mainBits() || sample.length > available) return E_UNEXPECTED;
  std::memcpy(sample.bits, surface_.mainBits(), sample.length);
  if (params.has(CaptureFlag::HideMouse)) return S_OK;
  SelectObjectGuard selected(surface_.memoryDC(), sample.bitmap);
  if (!selected.selected()) return E_FAIL;
  return drawPointer(surface_.memoryDC(), cursorShot_, params, mouseDevice_.device());
}

HRESULT FrameComposer::scaleSurfaceToSample(uint8_t* sampleBits, const BITMAPINFOHEADER& connected,
                                            const CaptureParams& params) {
  const int bytes = surface_.bytesPerPixel();
  const int targetWidth = connected.biWidth;
  const int targetHeight = std::abs(connected.biHeight);
  // By the surface's bytes per pixel: a 15-bit type still has 2-byte pixels.
  const int targetStride = (targetWidth * bytes + 3) & ~3;
  const int sourceWidth = surface_.width();
  const int sourceHeight = surface_.height();

  int width = targetWidth;
  int height = targetHeight;
  if (params.has(CaptureFlag::ResizeAspect) && sourceWidth > 0 && sourceHeight > 0) {
    width = targetHeight * sourceWidth / sourceHeight;
    height = targetHeight;
    if (width > targetWidth) {
      width = targetWidth;
      height = targetWidth * sourceHeight / sourceWidth;
    }
  }
  const int left = (targetWidth - width) / 2;
  const int top = (targetHeight - height) / 2;
  const int mode = params.has(CaptureFlag::ResizeType) ? FrameScaler::Linear : FrameScaler::Nearest;
  HRESULT hr = scaler_.prepare(sourceWidth, sourceHeight, width, height, bytes, mode);
  if (FAILED(hr)) return hr;
  hr = scaler_.run(sampleBits + static_cast<size_t>(top) * targetStride + bytes * left,
                   surface_.mainBits(), targetStride);
  if (FAILED(hr)) return hr;

  // What the fitted picture does not cover, in memory rows and pixel columns.
  const uint32_t border = surface_.borderPixel();
  fillRows(sampleBits, top, targetStride, 0, border, bytes);
  const int bottom = top + height;
  fillRows(sampleBits + static_cast<size_t>(bottom) * targetStride, targetHeight - bottom,
           targetStride, 0, border, bytes);
  const int right = left + width;
  for (int row = top; row < bottom; ++row) {
    uint8_t* line = sampleBits + static_cast<size_t>(row) * targetStride;
    if (left > 0) fillRows(line, 1, targetStride, left, border, bytes);
    if (right < targetWidth) {
      fillRows(line + right * bytes, 1, targetStride, targetWidth - right, border, bytes);
    }
  }
  return S_OK;
}
