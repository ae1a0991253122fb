// The pointer snapshot, its two drawing styles and the save and restore of what it covers.
#include <windows.h>

#include "capture/pointer_overlay.h"

#include <algorithm>
#include <utility>

namespace {

static_assert(sizeof(DIMOUSESTATE) == 16, "three axes and four buttons");

constexpr BYTE kButtonDown = 0x80;

// GDI functions do not always set the last error.
HRESULT lastErrorOr(HRESULT fallback) {
  const DWORD error = ::GetLastError();
  return error != ERROR_SUCCESS ? HRESULT_FROM_WIN32(error) : fallback;
}

SIZE cursorSize() { return {::GetSystemMetrics(SM_CXCURSOR), ::GetSystemMetrics(SM_CYCURSOR)}; }

// Where the cursor image's top-left goes in frame coordinates: the hotspot on the pointer,
// relative to the tracked window when there is one, then to the captured area.
POINT imageOrigin(const CursorShot& shot, const CaptureParams& params) {
  POINT origin = {shot.cursor.ptScreenPos.x - shot.hotspot.x,
                  shot.cursor.ptScreenPos.y - shot.hotspot.y};
  if (params.has(CaptureFlag::TrackWnd)) {
    origin.x -= params.rect.left;
    origin.y -= params.rect.top;
  }
  origin.x -= params.pan.x;
  origin.y -= params.pan.y;
  return origin;
}

// Acquired anew for every query: losing the device in between costs nothing but this frame's
// click.
bool clickHeld(IDirectInputDevice8W* mouseDevice) {
  if (FAILED(mouseDevice->Acquire())) return false;
  DIMOUSESTATE state = {};
  if (FAILED(mouseDevice->GetDeviceState(sizeof(state), &state))) return false;
  return (state.rgbButtons[0] & kButtonDown) || (state.rgbButtons[1] & kButtonDown);
}

// Fills `bitmap` with `background` and draws the cursor at its top-left.
HRESULT paintCursor(HDC dc, HBITMAP bitmap, HCURSOR cursor, COLORREF background, SIZE size) {
  SelectObjectGuard selected(dc, bitmap);
  if (!selected.selected()) return E_FAIL;
  UniqueGdiBrush brush(::CreateSolidBrush(background));
  if (!brush) return E_OUTOFMEMORY;
  const RECT whole = {0, 0, size.cx, size.cy};
  if (!::FillRect(dc, &whole, brush.get())) return E_FAIL;
  return ::DrawIcon(dc, 0, 0, cursor) ? S_OK : E_FAIL;
}

// A 1-bit mask of `source` (a bitmap compatible with `dc`): 1 where its pixel is `colour`.
HRESULT maskOf(HDC dc, HBITMAP source, COLORREF colour, SIZE size, ScopedBitmap* mask) {
  ScopedBitmap result(::CreateBitmap(size.cx, size.cy, 1, 1, nullptr));
  UniqueMemoryDC sourceDC(::CreateCompatibleDC(dc));
  UniqueMemoryDC maskDC(::CreateCompatibleDC(nullptr));
  if (!result || !sourceDC || !maskDC) return E_OUTOFMEMORY;
  {
    SelectObjectGuard selectedSource(sourceDC.get(), source);
    SelectObjectGuard selectedMask(maskDC.get(), result.get());
    if (!selectedSource.selected() || !selectedMask.selected()) return E_FAIL;
    // Colour to monochrome: pixels of the source DC's background colour become 1.
    const COLORREF previous = ::SetBkColor(sourceDC.get(), colour);
    const BOOL copied =
        ::BitBlt(maskDC.get(), 0, 0, size.cx, size.cy, sourceDC.get(), 0, 0, SRCCOPY);
    ::SetBkColor(sourceDC.get(), previous);
    if (!copied) return E_FAIL;
  }
  *mask = std::move(result);
  return S_OK;
}

// Monochrome sources blit as text colour (0) and background colour (1): black and white here.
class MonochromeColours {
 public:
  explicit MonochromeColours(HDC dc)
      : dc_(dc),
        text_(::SetTextColor(dc, RGB(0, 0, 0))),
        background_(::SetBkColor(dc, RGB(255, 255, 255))) {}
  ~MonochromeColours() {
    ::SetTextColor(dc_, text_);
    ::SetBkColor(dc_, background_);
  }
  MonochromeColours(const MonochromeColours&) = delete;
  MonochromeColours& operator=(const MonochromeColours&) = delete;

 private:
  HDC dc_;
  COLORREF text_;
  COLORREF background_;
};

// The cursor with its colours inverted, at `origin` of `dc`. The pixels the cursor leaves
// unchanged are found by drawing it on black and on white; they stay as they are in `dc`.
HRESULT drawInvertedCursor(HDC dc, HCURSOR cursor, POINT origin) {
  const SIZE size = cursorSize();
  const RECT whole = {0, 0, size.cx, size.cy};
  UniqueMemoryDC colourDC(::CreateCompatibleDC(dc));
  ScopedBitmap colour(::CreateCompatibleBitmap(dc, size.cx, size.cy));
  if (!colourDC || !colour) return E_OUTOFMEMORY;

  ScopedBitmap unchanged;  // 1 where the cursor shows what lies under it
  HRESULT hr = paintCursor(colourDC.get(), colour.get(), cursor, RGB(0, 0, 0), size);
  if (SUCCEEDED(hr)) hr = maskOf(dc, colour.get(), RGB(0, 0, 0), size, &unchanged);
  if (FAILED(hr)) return hr;
  {
    ScopedBitmap onWhite;
    hr = paintCursor(colourDC.get(), colour.get(), cursor, RGB(255, 255, 255), size);
    if (SUCCEEDED(hr)) hr = maskOf(dc, colour.get(), RGB(255, 255, 255), size, &onWhite);
    if (FAILED(hr)) return hr;
    UniqueMemoryDC unchangedDC(::CreateCompatibleDC(nullptr));
    UniqueMemoryDC onWhiteDC(::CreateCompatibleDC(nullptr));
    if (!unchangedDC || !onWhiteDC) return E_OUTOFMEMORY;
    SelectObjectGuard selectedUnchanged(unchangedDC.get(), unchanged.get());
    SelectObjectGuard selectedOnWhite(onWhiteDC.get(), onWhite.get());
    if (!selectedUnchanged.selected() || !selectedOnWhite.selected()) return E_FAIL;
    if (!::BitBlt(unchangedDC.get(), 0, 0, size.cx, size.cy, onWhiteDC.get(), 0, 0, SRCAND)) {
      return E_FAIL;
    }
  }

  SelectObjectGuard selectedColour(colourDC.get(), colour.get());
  UniqueMemoryDC maskDC(::CreateCompatibleDC(nullptr));
  if (!maskDC) return E_OUTOFMEMORY;
  SelectObjectGuard selectedMask(maskDC.get(), unchanged.get());
  if (!selectedColour.selected() || !selectedMask.selected()) return E_FAIL;
  // The cursor drawn on white, inverted, and black wherever the cursor is transparent.
  if (!::InvertRect(colourDC.get(), &whole) || !::InvertRect(maskDC.get(), &whole)) return E_FAIL;
  BOOL drawn;
  {
    MonochromeColours colours(colourDC.get());
    drawn = ::BitBlt(colourDC.get(), 0, 0, size.cx, size.cy, maskDC.get(), 0, 0, SRCAND);
  }
  if (!::InvertRect(maskDC.get(), &whole) || !drawn) return E_FAIL;

  // Black holes where the cursor is, then the inverted cursor into them.
  MonochromeColours colours(dc);
  if (!::BitBlt(dc, origin.x, origin.y, size.cx, size.cy, maskDC.get(), 0, 0, SRCAND) ||
      !::BitBlt(dc, origin.x, origin.y, size.cx, size.cy, colourDC.get(), 0, 0, SRCPAINT)) {
    return E_FAIL;
  }
  return S_OK;
}

// The rectangle the pointer image covers in the surface, clipped to it.
RECT pointerArea(const CaptureSurface& surface, const CursorShot& shot,
                 const CaptureParams& params) {
  const POINT origin = imageOrigin(shot, params);
  const SIZE size = cursorSize();
  RECT area = {std::max(origin.x, 0L), std::max(origin.y, 0L),
               std::min<LONG>(origin.x + size.cx, surface.width()),
               std::min<LONG>(origin.y + size.cy, surface.height())};
  if (area.right <= area.left || area.bottom <= area.top) area = {0, 0, 0, 0};
  return area;
}

}  // namespace

HRESULT takeCursorShot(CursorShot& shot) {
  freeCursorShot(shot);
  // The platform takes only the size of the structure of this build (20 bytes in 32-bit
  // code, 24 in 64-bit code).
  shot.cursor.cbSize = sizeof(CURSORINFO);
  ::SetLastError(ERROR_SUCCESS);
  if (!::GetCursorInfo(&shot.cursor)) {
    const HRESULT hr = lastErrorOr(E_FAIL);
    freeCursorShot(shot);
    return hr;
  }
  // A hidden pointer (an application hid it, or there is no mouse) is not in the picture,
  // though the platform may still name its cursor.
  if (!(shot.cursor.flags & CURSOR_SHOWING)) {
    freeCursorShot(shot);
    return S_FALSE;
  }
  if (!shot.hasCursor()) return S_FALSE;
  if (shot.cursor.hCursor == shot.hotspotOf) {
    shot.hotspot = shot.cursorHotspot;
    return S_OK;
  }
  ICONINFO icon = {};
  if (!::GetIconInfo(shot.cursor.hCursor, &icon)) {
    const HRESULT hr = lastErrorOr(E_FAIL);
    freeCursorShot(shot);
    return hr;
  }
  shot.hotspot = {static_cast<LONG>(icon.xHotspot), static_cast<LONG>(icon.yHotspot)};
  shot.mask.reset(icon.hbmMask);
  shot.colour.reset(icon.hbmColor);
  shot.hotspotOf = shot.cursor.hCursor;
  shot.cursorHotspot = shot.hotspot;
  return S_OK;
}

void freeCursorShot(CursorShot& shot) {
  shot.mask.reset();
  shot.colour.reset();
  shot.cursor = {};
  shot.hotspot = {0, 0};
}

HRESULT drawPointer(HDC dc, const CursorShot& shot, const CaptureParams& params,
                    IDirectInputDevice8W* mouseDevice) {
  if (!shot.hasCursor()) return S_OK;
  const POINT origin = imageOrigin(shot, params);
  const bool inverted = params.has(CaptureFlag::ShowClicks) && mouseDevice &&
                        clickHeld(mouseDevice) &&
                        SUCCEEDED(drawInvertedCursor(dc, shot.cursor.hCursor, origin));
  // A failure leaves this one frame without its pointer; the frame is still delivered.
  if (!inverted) ::DrawIcon(dc, origin.x, origin.y, shot.cursor.hCursor);
  // The callers read the bits next.
  ::GdiFlush();
  return S_OK;
}

HRESULT savePointerArea(CaptureSurface* surface, const CursorShot* shot,
                        const CaptureParams& params, RECT* saved) {
  if (!surface || !shot || !saved) return E_POINTER;
  *saved = {0, 0, 0, 0};
  if (!shot->hasCursor()) return S_FALSE;
  const RECT area = pointerArea(*surface, *shot, params);
  if (area.right == area.left) return S_FALSE;
  if (!::BitBlt(surface->backup().dc.get(), area.left, area.top, area.right - area.left,
                area.bottom - area.top, surface->memoryDC(), area.left, area.top, SRCCOPY)) {
    return E_FAIL;
  }
  *saved = area;
  return S_OK;
}

HRESULT restorePointerArea(CaptureSurface* surface, const RECT* saved) {
  if (!surface || !saved) return E_POINTER;
  if (!::BitBlt(surface->memoryDC(), saved->left, saved->top, saved->right - saved->left,
                saved->bottom - saved->top, surface->backup().dc.get(), saved->left, saved->top,
                SRCCOPY)) {
    return E_FAIL;
  }
  ::GdiFlush();
  return S_OK;
}

HRESULT withPointerInSurface(CaptureSurface* surface, const CursorShot& shot,
                             const CaptureParams& params, IDirectInputDevice8W* mouseDevice,
                             const std::function<HRESULT()>& use) {
  if (!surface) return E_POINTER;
  RECT saved;
  const HRESULT save = savePointerArea(surface, &shot, params, &saved);
  if (FAILED(save)) return save;
  // Drawn even when nothing was saved: GDI clips what lies outside.
  HRESULT hr = drawPointer(surface->memoryDC(), shot, params, mouseDevice);
  if (SUCCEEDED(hr)) hr = use();
  if (save == S_OK) {
    const HRESULT restore = restorePointerArea(surface, &saved);
    if (SUCCEEDED(hr)) hr = restore;
  }
  return hr;
}
