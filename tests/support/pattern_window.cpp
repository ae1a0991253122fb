// The quadrant pattern window and its message loop.
#include "pattern_window.h"

namespace graph_support {

namespace {
constexpr wchar_t kClassName[] = L"ZelkTestPattern";
}

PatternWindow::PatternWindow(RECT bounds) : bounds_(bounds) {
  HANDLE created = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  thread_ = std::thread([this, created] { run(created); });
  ::WaitForSingleObject(created, 5000);
  ::CloseHandle(created);
  if (!window_) return;
  // Wait until the screen really shows the pattern.
  HDC screen = ::GetDC(nullptr);
  for (int i = 0; i < 250 && !shown_; ++i) {
    shown_ = ::GetPixel(screen, bounds.left + 2, bounds.top + 2) == kTopLeft &&
             ::GetPixel(screen, bounds.right - 3, bounds.bottom - 3) == kBottomRight;
    if (!shown_) ::Sleep(20);
  }
  ::ReleaseDC(nullptr, screen);
}

PatternWindow::~PatternWindow() {
  if (threadId_) ::PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
  if (thread_.joinable()) thread_.join();
}

COLORREF PatternWindow::colourAt(int x, int y) const {
  const bool left = x < (bounds_.left + bounds_.right) / 2;
  const bool top = y < (bounds_.top + bounds_.bottom) / 2;
  if (top) return left ? kTopLeft : kTopRight;
  return left ? kBottomLeft : kBottomRight;
}

void PatternWindow::run(HANDLE created) {
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = &PatternWindow::windowProc;
  windowClass.hInstance = ::GetModuleHandleW(nullptr);
  windowClass.lpszClassName = kClassName;
  windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  ::RegisterClassW(&windowClass);  // a second window finds the class registered already
  threadId_ = ::GetCurrentThreadId();
  window_ =
      ::CreateWindowExW(WS_EX_TOPMOST, kClassName, L"pattern", WS_POPUP | WS_VISIBLE, bounds_.left,
                        bounds_.top, bounds_.right - bounds_.left, bounds_.bottom - bounds_.top,
                        nullptr, nullptr, windowClass.hInstance, nullptr);
  ::SetEvent(created);
  if (!window_) return;
  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  ::DestroyWindow(window_);
}

LRESULT CALLBACK PatternWindow::windowProc(HWND window, UINT message, WPARAM wParam,
                                           LPARAM lParam) {
  if (message != WM_PAINT) return ::DefWindowProcW(window, message, wParam, lParam);
  PAINTSTRUCT paint;
  HDC dc = ::BeginPaint(window, &paint);
  RECT client;
  ::GetClientRect(window, &client);
  const int midX = client.right / 2;
  const int midY = client.bottom / 2;
  const struct {
    RECT area;
    COLORREF colour;
  } quadrants[] = {
      {{0, 0, midX, midY}, kTopLeft},
      {{midX, 0, client.right, midY}, kTopRight},
      {{0, midY, midX, client.bottom}, kBottomLeft},
      {{midX, midY, client.right, client.bottom}, kBottomRight},
  };
  for (const auto& quadrant : quadrants) {
    HBRUSH brush = ::CreateSolidBrush(quadrant.colour);
    ::FillRect(dc, &quadrant.area, brush);
    ::DeleteObject(brush);
  }
  ::EndPaint(window, &paint);
  return 0;
}

}  // namespace graph_support
