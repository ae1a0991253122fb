// The capture tab's window selection tool: a button that, pressed and dragged, shows the
// picker cursor, outlines the window under the pointer in red and tells the main dialog
// (message `kWindowPicked`) to make the filter follow it; the panel's own dialog is passed
// over. The filter keeps following the window last outlined when the button is let go.
// Apartment: the server's main thread; the tool lives as long as its tab.
#pragma once

#include <windows.h>

#include "common/win_raii.h"
#include "panel/skinned_button.h"

class WindowPicker {
 public:
  WindowPicker() = default;
  ~WindowPicker();
  WindowPicker(const WindowPicker&) = delete;
  WindowPicker& operator=(const WindowPicker&) = delete;

  // Takes over `button` (BS_OWNERDRAW): `target` gets `message` with each window picked.
  void attach(HWND button, HWND target, UINT message);
  // For the tab's WM_DRAWITEM.
  void draw(const DRAWITEMSTRUCT& item) const;

 private:
  static LRESULT CALLBACK buttonProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void start();
  void track();
  void stop();
  void unhighlight();

  HWND button_ = nullptr;
  WNDPROC original_ = nullptr;
  HWND target_ = nullptr;
  UINT message_ = 0;
  HCURSOR picker_ = nullptr;
  HCURSOR previousCursor_ = nullptr;
  UniqueResource<raii_traits::GdiObject<HPEN>> pen_;
  ScopedBitmap normal_;
  ScopedBitmap pressed_;
  SkinnedButton look_;  // draws the bitmaps; subclassed under the tool's own handling
  bool tracking_ = false;
  HWND highlighted_ = nullptr;
};
