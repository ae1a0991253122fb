// A borderless window on the virtual display that shows four solid quadrants (red top-left,
// green top-right, blue bottom-left, white bottom-right), run on a thread of its own so it
// paints while a test waits. Tests compare captured pixels with it.
#pragma once

#include <windows.h>

#include <thread>

namespace graph_support {

class PatternWindow {
 public:
  static constexpr COLORREF kTopLeft = RGB(255, 0, 0);
  static constexpr COLORREF kTopRight = RGB(0, 255, 0);
  static constexpr COLORREF kBottomLeft = RGB(0, 0, 255);
  static constexpr COLORREF kBottomRight = RGB(255, 255, 255);

  // Shows the window at `bounds` (screen coordinates) and waits until the screen shows it.
  explicit PatternWindow(RECT bounds);
  ~PatternWindow();
  PatternWindow(const PatternWindow&) = delete;
  PatternWindow& operator=(const PatternWindow&) = delete;

  // True once the screen showed the pattern.
  bool shown() const { return shown_; }
  HWND window() const { return window_; }
  const RECT& bounds() const { return bounds_; }
  // The colour the pattern has at screen point (x, y) inside the window.
  COLORREF colourAt(int x, int y) const;

 private:
  void run(HANDLE created);
  static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  RECT bounds_;
  HWND window_ = nullptr;
  DWORD threadId_ = 0;
  bool shown_ = false;
  std::thread thread_;
};

}  // namespace graph_support
