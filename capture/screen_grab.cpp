// The per-frame screen copy and its border fills.
#include <windows.h>

#include "capture/screen_grab.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "capture/border_fill.h"
#include "capture/screen_info.h"
#include "common/win_raii.h"

namespace {

void fillWhole(const CaptureSurface& surface, uint8_t* bits) {
  fillRows(bits, surface.height(), surface.stride(), 0, surface.borderPixel(),
           surface.bytesPerPixel());
}

}  // namespace

HRESULT grabFrame(CaptureSurface& surface, const CaptureParams& params, const GrabTarget& target,
                  const GrabHooks& hooks, const std::vector<ParamRect>* uncovered, HDC desktopDC) {
  if (!target.bits || !target.bitmap) return E_POINTER;
  if (surface.width() < 1 || surface.height() < 1 || !surface.memoryDC()) return E_UNEXPECTED;

  const bool trackWindow = params.has(CaptureFlag::TrackWnd);
  const HWND window = trackWindow ? paramToWindow(params.hwnd) : ::GetDesktopWindow();
  if (trackWindow && (!::IsWindow(window) || ::IsIconic(window))) {
    fillWhole(surface, target.bits);
    return S_OK;
  }

  std::vector<ParamRect> readUncovered;
  if (!uncovered) {
    CaptureParams desktop;
    HRESULT hr = readScreenInfo(&desktop, &readUncovered);
    if (FAILED(hr)) return hr;
    uncovered = &readUncovered;
  }

  // A tracked window's DC is got for each frame; the desktop's may be kept by the caller.
  std::optional<WindowDC> ownDC;
  HDC source = trackWindow ? nullptr : desktopDC;
  if (!source) {
    ownDC.emplace(window, WindowDC::WholeWindow);
    source = ownDC->get();
  }
  if (!source) return E_FAIL;

  // Picture coordinates of the copy, and where in the source DC it starts.
  ParamRect dst{params.source.left - params.pan.x, params.source.top - params.pan.y,
                params.source.right - params.pan.x, params.source.bottom - params.pan.y};
  ParamPoint srcOrg{params.source.left, params.source.top};
  if (dst.left < 0) {
    srcOrg.x -= dst.left;
    dst.left = 0;
  }
  if (dst.top < 0) {
    srcOrg.y -= dst.top;
    dst.top = 0;
  }
  dst.right = std::min(dst.right, surface.width());
  dst.bottom = std::min(dst.bottom, surface.height());
  const bool empty = dst.width() < 1 || dst.height() < 1;

  // Where the picture's top-left lies on the screen: the pan point, in window coordinates
  // when a window is tracked.
  ParamPoint origin = params.pan;
  if (trackWindow) {
    origin.x += params.rect.left;
    origin.y += params.rect.top;
  }
  // The panel's frame marker.
  if (empty) {
    if (hooks.hideFrame) hooks.hideFrame();
  } else if (hooks.showFrame) {
    hooks.showFrame(
        {dst.left + origin.x, dst.top + origin.y, dst.right + origin.x, dst.bottom + origin.y});
  }

  if (empty) {
    if (target.direct || target.capture) fillWhole(surface, target.bits);
    return S_OK;
  }
  // The pointer's state for this frame.
  if (hooks.snapshotPointer) hooks.snapshotPointer();
  if (!target.direct && !target.capture) return S_OK;

  {
    SelectObjectGuard selected(surface.memoryDC(), target.bitmap);
    if (!selected.selected()) return E_FAIL;
    const DWORD rop = params.has(CaptureFlag::CapLayered) ? (SRCCOPY | CAPTUREBLT) : SRCCOPY;
    // A failed copy leaves the previous picture; the frame is still delivered.
    ::BitBlt(surface.memoryDC(), dst.left, dst.top, dst.width(), dst.height(), source, srcOrg.x,
             srcOrg.y, rop);
    if (target.direct && hooks.drawPointer) hooks.drawPointer(surface.memoryDC());
    // GDI may batch drawing into a section; the bits are written directly next.
    ::GdiFlush();
  }

  fillMargins(target.bits, surface.width(), surface.height(), surface.bytesPerPixel(),
              surface.borderPixel(), dst);
  fillUncovered(target.bits, surface.width(), surface.height(), surface.bytesPerPixel(),
                surface.borderPixel(), *uncovered, origin, dst);
  return S_OK;
}
