// Area tracking for fixed rectangles, the whole screen and a tracked window, the frame-size
// rule, and the view that follows the mouse.
#include <windows.h>

#include "capture/area_tracker.h"

#include <algorithm>

#include "capture/screen_info.h"

namespace {

// The intersection, or (0, 0, 0, 0) when the two do not overlap.
ParamRect intersect(const ParamRect& a, const ParamRect& b) {
  const ParamRect r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                    std::min(a.bottom, b.bottom)};
  if (r.width() <= 0 || r.height() <= 0) return {0, 0, 0, 0};
  return r;
}

// An area off the desktop still gets one pixel, so the pin always has a frame to offer.
void clipToDesktop(CaptureParams& params, const ParamRect& desktop) {
  ParamRect r = intersect(params.area, desktop);
  if (r.width() <= 0) {
    if (r.left < 0) {
      r.left = 0;
    } else if (r.left >= desktop.right) {
      r.left = desktop.right - 1;
    }
    r.right = r.left + 1;
  }
  if (r.height() <= 0) {
    if (r.top < 0) {
      r.top = 0;
    } else if (r.top >= desktop.bottom) {
      r.top = desktop.bottom - 1;
    }
    r.bottom = r.top + 1;
  }
  params.rect = r;
  params.area = r;
  params.source = r;
  params.pan = {r.left, r.top};
}

// The area of a tracked window: 1 when it is minimised or its rectangle cannot be read, and the
// geometry then stays as it was. A maximised window's borders lie off the screen and are left out.
int trackWindow(CaptureParams& params, const ParamRect& desktop) {
  HWND window = paramToWindow(params.hwnd);
  if (::IsIconic(window)) return 1;
  RECT bounds;
  if (!::GetWindowRect(window, &bounds)) return 1;
  const ParamRect w{bounds.left, bounds.top, bounds.right, bounds.bottom};
  params.rect = w;
  if (!::IsZoomed(window)) {
    params.area = w;
    params.pan = {0, 0};
    const ParamRect visible = intersect(w, desktop);
    params.source = {visible.left - w.left, visible.top - w.top, visible.right - w.left,
                     visible.bottom - w.top};
    return 0;
  }
  ParamRect inner = w;
  WINDOWINFO info = {};
  info.cbSize = sizeof(info);
  if (::GetWindowInfo(window, &info)) {
    inner.left += static_cast<int32_t>(info.cxWindowBorders);
    inner.right -= static_cast<int32_t>(info.cxWindowBorders);
    inner.top += static_cast<int32_t>(info.cyWindowBorders);
    inner.bottom -= static_cast<int32_t>(info.cyWindowBorders);
  }
  const ParamRect r = intersect(inner, desktop);
  params.area = r;
  params.pan = {r.left - w.left, r.top - w.top};
  params.source = {params.pan.x, params.pan.y, params.pan.x + r.width(), params.pan.y + r.height()};
  return 0;
}

// One axis of the mouse-following view: the view of `size` starts where it was and moves only
// as far as needed to bring `pointer` into it, but never past the edges of [low, high).
int32_t followAxis(int32_t oldStart, int32_t size, int32_t pointer, int32_t low, int32_t high) {
  if (size >= high - low) return low;
  int32_t start = oldStart;
  if (pointer < start) start = pointer;
  if (pointer >= start + size) start = pointer - size + 1;
  if (start < low) start = low;
  if (start + size > high) start = high - size;
  return start;
}

int32_t frameDimension(int32_t value, bool align) {
  value = std::max<int32_t>(value, 1);
  // Rounding up must not overflow for a wild output size.
  if (align)
    value =
        static_cast<int32_t>(std::min<int64_t>((int64_t{value} + 3) & ~int64_t{3}, INT32_MAX & ~3));
  return value;
}

}  // namespace

int trackArea(CaptureParams& params, ViewState& view) {
  CaptureParams desktop;
  if (FAILED(readScreenInfo(&desktop))) return 1;
  return trackArea(params, view, desktop);
}

int trackArea(CaptureParams& params, ViewState& view, const CaptureParams& desktop) {
  if (!::IsWindow(paramToWindow(params.hwnd))) {
    params.hwnd = kNoWindow;
    params.set(CaptureFlag::TrackWnd, false);
  } else if (params.has(CaptureFlag::TrackWnd)) {
    // Following a window and the whole screen exclude each other; the window wins.
    params.set(CaptureFlag::TrackScr, false);
  }

  if (params.has(CaptureFlag::TrackScr)) {
    params.rect = desktop.rect;
    params.area = desktop.rect;
  }
  int bytes = 0;
  params.screenBits = normaliseScreenBits(desktop.screenBits, &bytes);
  params.screenBytes = bytes;

  const ParamPoint oldPan = params.pan;
  int result = 0;
  if (params.has(CaptureFlag::TrackWnd)) {
    result = trackWindow(params, desktop.rect);
  } else {
    clipToDesktop(params, desktop.rect);
  }

  if (params.has(CaptureFlag::OutputSize)) {
    params.frameSize = {params.output.cx, params.output.cy};
  } else {
    params.frameSize = {params.area.width(), params.area.height()};
  }
  const bool align = params.has(CaptureFlag::Align);
  params.frameSize.cx = frameDimension(params.frameSize.cx, align);
  params.frameSize.cy = frameDimension(params.frameSize.cy, align);

  if (result == 0 && !params.has(CaptureFlag::Resize) && params.has(CaptureFlag::TrackMouse) &&
      params.hwnd == view.window) {
    if (!view.connected) {
      if (view.width == 0) view.width = params.frameSize.cx;
      if (view.height == 0) view.height = params.frameSize.cy;
    }
    // The pointer in the coordinates of `source`; asked only when the view can move, as the
    // question costs as much as a good part of a frame under some systems.
    ParamPoint pointer{0, 0};
    if (view.width < params.source.width() || view.height < params.source.height()) {
      POINT cursor = {0, 0};
      ::GetCursorPos(&cursor);
      pointer = {cursor.x, cursor.y};
      if (params.has(CaptureFlag::TrackWnd)) {
        pointer.x -= params.rect.left;
        pointer.y -= params.rect.top;
      }
    }
    params.pan.x =
        followAxis(oldPan.x, view.width, pointer.x, params.source.left, params.source.right);
    params.pan.y =
        followAxis(oldPan.y, view.height, pointer.y, params.source.top, params.source.bottom);
  }

  view.window = params.hwnd;
  return result;
}
