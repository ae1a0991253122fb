// The desktop as the capture sees it: the desktop window, its colour depth, the monitors'
// bounding rectangle and the parts of it no monitor shows. Called on the pin's streaming thread
// for every frame and on application threads when parameters change; holds no state.
#pragma once

#include <windows.h>

#include <memory>
#include <vector>

#include "common/win_raii.h"
#include "config/capture_params.h"

// Fills `*info` with initialCaptureParams() (config/built_in_settings.h) for the desktop: hwnd =
// the desktop window, rect = area = the monitors' bounding rectangle (the virtual-screen metrics
// when no monitor is listed), frameSize = its size, screenBits = the desktop DC's raw bit depth.
// `uncovered`, if given, receives the bounding rectangle's parts no monitor shows.
// `screen`, if given, is a DC of the desktop window that a caller reading often keeps (getting
// one costs as much as a good part of a frame under some systems).
HRESULT readScreenInfo(CaptureParams* info, std::vector<ParamRect>* uncovered = nullptr,
                       HDC screen = nullptr);

// The pixel depth the capture works in for a desktop depth: 16, 15 and 32 stay, anything else
// becomes 24. `bytes`, if given, receives the bytes per pixel (2, 2, 4, 3).
int normaliseScreenBits(int depth, int* bytes = nullptr);

// Our 32-bit handle form of a window and back: the record stores handles in 32 bits, and
// Windows keeps them sign-extendable.
inline uint32_t windowToParam(HWND window) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(window));
}
inline HWND paramToWindow(uint32_t window) {
  return reinterpret_cast<HWND>(static_cast<intptr_t>(static_cast<int32_t>(window)));
}

// The desktop for a worker that looks at it every frame: the desktop window's DC kept while the
// worker runs, and what readScreenInfo gives, read again at most every kMaxAgeMs. Monitors
// and depth seldom change, and asking costs a good part of a frame under some systems. Used by
// one thread.
class DesktopReader {
 public:
  static constexpr ULONGLONG kMaxAgeMs = 100;

  // Takes the DC and forgets what was read.
  void open();
  void close();
  // The desktop as read now or less than kMaxAgeMs ago; readScreenInfo's failures.
  HRESULT read();
  const CaptureParams& desktop() const { return desktop_; }
  const std::vector<ParamRect>& uncovered() const { return uncovered_; }
  // The desktop window's DC (GetWindowDC) while open, else null: the source of desktop grabs.
  HDC dc() const { return dc_ && *dc_ ? dc_->get() : nullptr; }

 private:
  std::unique_ptr<WindowDC> dc_;
  CaptureParams desktop_ = {};
  std::vector<ParamRect> uncovered_;
  ULONGLONG readAt_ = 0;
  bool valid_ = false;
};
