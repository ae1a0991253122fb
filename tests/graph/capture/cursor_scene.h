// Solid-coloured borderless windows on the virtual display, all of one window class whose
// cursor has a known shape and a hotspot away from its top-left, so that a captured frame
// shows exactly where and how the pointer was drawn. The windows live on one thread of their
// own, which keeps their messages flowing while a test waits and gives them one input state,
// so that the cursor they set is the one Wine reports.
#pragma once

#include <windows.h>

#include <thread>
#include <vector>

namespace pointer_test {

class CursorScene {
 public:
  struct Pane {
    RECT bounds;  // screen coordinates
    COLORREF colour;
  };

  // The cursor: 32 x 32, transparent but for three pixels, a black one on the hotspot and white
  // ones to its right and below it.
  static constexpr POINT kHotspot = {9, 13};
  static constexpr COLORREF kOnHotspot = RGB(0, 0, 0);
  static constexpr COLORREF kBesideHotspot = RGB(255, 255, 255);

  // Shows the panes, later ones above earlier ones, and waits until the screen shows them (each
  // pane's bottom-right corner must stay uncovered).
  explicit CursorScene(std::vector<Pane> panes);
  ~CursorScene();
  CursorScene(const CursorScene&) = delete;
  CursorScene& operator=(const CursorScene&) = delete;

  // True once every pane was on the screen.
  bool shown() const { return shown_; }
  HWND window(size_t pane) const { return windows_.at(pane); }
  HCURSOR cursor() const { return cursor_; }
  // ShowCursor on the scene's thread, whose input state the pointer over its windows follows;
  // the new display count.
  int showCursor(bool show) const;

 private:
  void run(HANDLE created);
  static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  std::vector<Pane> panes_;
  std::vector<HWND> windows_;
  HCURSOR cursor_ = nullptr;
  DWORD threadId_ = 0;
  bool shown_ = false;
  std::thread thread_;
};

}  // namespace pointer_test
