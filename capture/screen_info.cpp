// Desktop geometry and depth from the monitor enumeration and the desktop DC.
#include <windows.h>

#include "capture/screen_info.h"

#include <new>

#include "capture/border_fill.h"
#include "capture/uncovered_rects.h"
#include "common/win_raii.h"
#include "config/built_in_settings.h"

namespace {

BOOL CALLBACK addMonitor(HMONITOR, HDC, LPRECT rect, LPARAM context) {
  auto* monitors = reinterpret_cast<std::vector<ParamRect>*>(context);
  // No exception may leave the callback; a failed append ends the enumeration.
  try {
    monitors->push_back({rect->left, rect->top, rect->right, rect->bottom});
  } catch (const std::bad_alloc&) {
    return FALSE;
  }
  return TRUE;
}

}  // namespace

int normaliseScreenBits(int depth, int* bytes) {
  const int bits = (depth == 16 || depth == 15 || depth == 32) ? depth : 24;
  if (bytes) *bytes = bytesPerPixelFor(bits);
  return bits;
}

HRESULT readScreenInfo(CaptureParams* info, std::vector<ParamRect>* uncovered, HDC screen) {
  if (!info) return E_POINTER;
  const HWND desktop = ::GetDesktopWindow();
  int depth = 0;
  if (screen) {
    depth = ::GetDeviceCaps(screen, BITSPIXEL);
  } else {
    WindowDC dc(desktop);
    if (!dc) return E_FAIL;
    depth = ::GetDeviceCaps(dc.get(), BITSPIXEL);
  }

  std::vector<ParamRect> monitors;
  try {
    monitors.reserve(8);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  ::EnumDisplayMonitors(nullptr, nullptr, addMonitor, reinterpret_cast<LPARAM>(&monitors));

  ParamRect bounds;
  if (monitors.empty()) {
    const int left = ::GetSystemMetrics(SM_XVIRTUALSCREEN);
    const int top = ::GetSystemMetrics(SM_YVIRTUALSCREEN);
    bounds = {left, top, left + ::GetSystemMetrics(SM_CXVIRTUALSCREEN),
              top + ::GetSystemMetrics(SM_CYVIRTUALSCREEN)};
  } else {
    bounds = boundingRect(monitors);
  }

  if (uncovered) {
    try {
      // Without a listed monitor the virtual screen stands for one; counting all of it as
      // uncovered would paint every frame in the border colour.
      *uncovered = monitors.empty() ? std::vector<ParamRect>{} : uncoveredRects(monitors, bounds);
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
  }

  *info = initialCaptureParams();
  info->hwnd = windowToParam(desktop);
  info->rect = bounds;
  info->area = bounds;
  info->frameSize = {bounds.width(), bounds.height()};
  info->screenBits = depth;
  return S_OK;
}

void DesktopReader::open() {
  dc_ = std::make_unique<WindowDC>(::GetDesktopWindow(), WindowDC::WholeWindow);
  valid_ = false;
}

void DesktopReader::close() {
  dc_.reset();
  valid_ = false;
}

HRESULT DesktopReader::read() {
  const ULONGLONG now = ::GetTickCount64();
  if (valid_ && now - readAt_ < kMaxAgeMs) return S_OK;
  valid_ = false;
  HRESULT hr = readScreenInfo(&desktop_, &uncovered_, dc());
  if (FAILED(hr)) return hr;
  readAt_ = now;
  valid_ = true;
  return S_OK;
}
