// The on-screen frame that marks a streaming filter's capture area: a top-most, layered,
// click-through popup whose region is a hollow rectangle, `borderX` pixels wide left and right
// and `borderY` high top and bottom, painted in one colour with one whole-window alpha.
// Apartment: made, changed and destroyed on the server's main thread.
#pragma once

#include <windows.h>

#include "common/win_raii.h"

class FrameWindow {
 public:
  FrameWindow() = default;
  ~FrameWindow();
  FrameWindow(const FrameWindow&) = delete;
  FrameWindow& operator=(const FrameWindow&) = delete;

  // Makes the hidden window; E_FAIL when it cannot be made.
  HRESULT create();
  HWND window() const { return window_; }

  bool visible() const;
  void show(bool visible);
  // Places the hole exactly over `hole` (screen coordinates). A position the frame already
  // has changes nothing, so that a filter repeating it does not make the window report
  // itself as changed at every frame.
  void place(const RECT& hole);

  COLORREF colour() const { return colour_; }
  void setColour(COLORREF colour);
  BYTE alpha() const { return alpha_; }
  void setAlpha(BYTE alpha);
  LONG borderX = 3;
  LONG borderY = 3;

 private:
  static INT_PTR CALLBACK dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void cutHole(HWND window, int width, int height);
  HBRUSH backgroundBrush();

  HWND window_ = nullptr;
  COLORREF colour_ = RGB(255, 0, 0);
  BYTE alpha_ = 255;
  UniqueGdiBrush brush_;  // the latest background brush, kept until the next one
  RECT placed_ = {0, 0, 0, 0};
  bool placedOnce_ = false;
};
