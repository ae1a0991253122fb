// Area tracking for fixed rectangles and the whole screen, and the frame-size rule.
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
  if (!::IsWindow(paramToWindow(params.hwnd))) {
    params.hwnd = kNoWindow;
    params.set(CaptureFlag::TrackWnd, false);
  } else if (params.has(CaptureFlag::TrackWnd)) {
    // Following a window and the whole screen exclude each other; the window wins.
    params.set(CaptureFlag::TrackScr, false);
  }

  CaptureParams desktop;
  if (FAILED(readScreenInfo(&desktop))) return 1;
  if (params.has(CaptureFlag::TrackScr)) {
    params.rect = desktop.rect;
    params.area = desktop.rect;
  }
  int bytes = 0;
  params.screenBits = normaliseScreenBits(desktop.screenBits, &bytes);
  params.screenBytes = bytes;

  if (params.has(CaptureFlag::TrackWnd)) {
    // Window tracking goes here (a later change): the window's rectangle as area and source in
    // window-DC coordinates, the maximised-window rules, and 1 for a minimised window or a
    // failed GetWindowRect. Until then the derived geometry is left as it is.
  } else {
    // Mouse following goes here (a later change): it moves area and pan before the clip.
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

  view.window = params.hwnd;
  return 0;
}
