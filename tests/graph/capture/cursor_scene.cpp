// The scene's cursor, windows and message loop.
#include "cursor_scene.h"

#include <array>
#include <climits>

#include "common/win_raii.h"

namespace pointer_test {

namespace {

constexpr wchar_t kClassName[] = L"ZelkPointerScene";
// wParam: show (nonzero) or hide; the result is ShowCursor's.
constexpr UINT kShowCursor = WM_APP + 1;
constexpr int kCursorSize = 32;
constexpr int kRowBytes = kCursorSize / 8;

using Plane = std::array<BYTE, kRowBytes * kCursorSize>;

void setBit(Plane& plane, int x, int y, bool on) {
  BYTE& byte = plane[y * kRowBytes + x / 8];
  const BYTE bit = static_cast<BYTE>(0x80 >> (x % 8));
  byte = on ? (byte | bit) : (byte & ~bit);
}

// Monochrome cursor planes: AND 1 and XOR 0 is transparent, AND 0 gives the XOR colour.
HCURSOR makeCursor() {
  Plane andPlane;
  Plane xorPlane;
  andPlane.fill(0xFF);
  xorPlane.fill(0x00);
  const POINT hotspot = CursorScene::kHotspot;
  setBit(andPlane, hotspot.x, hotspot.y, false);
  setBit(andPlane, hotspot.x + 1, hotspot.y, false);
  setBit(xorPlane, hotspot.x + 1, hotspot.y, true);
  setBit(andPlane, hotspot.x, hotspot.y + 1, false);
  setBit(xorPlane, hotspot.x, hotspot.y + 1, true);
  return ::CreateCursor(::GetModuleHandleW(nullptr), hotspot.x, hotspot.y, kCursorSize, kCursorSize,
                        andPlane.data(), xorPlane.data());
}

}  // namespace

CursorScene::CursorScene(std::vector<Pane> panes) : panes_(std::move(panes)) {
  UniqueHandle created(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!created) return;
  thread_ = std::thread([this, event = created.get()] { run(event); });
  ::WaitForSingleObject(created.get(), 5000);
  if (windows_.size() != panes_.size()) return;
  WindowDC screen(nullptr);
  const ULONGLONG deadline = ::GetTickCount64() + 5000;
  while (!shown_ && ::GetTickCount64() < deadline) {
    shown_ = true;
    for (const Pane& pane : panes_) {
      shown_ = shown_ && ::GetPixel(screen.get(), pane.bounds.right - 2, pane.bounds.bottom - 2) ==
                             pane.colour;
    }
    if (!shown_) ::Sleep(20);
  }
}

CursorScene::~CursorScene() {
  if (threadId_) ::PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
  if (thread_.joinable()) thread_.join();
}

int CursorScene::showCursor(bool show) const {
  DWORD_PTR count = 0;
  if (windows_.empty() || !::SendMessageTimeoutW(windows_.front(), kShowCursor, show ? 1 : 0, 0,
                                                 SMTO_BLOCK, 5000, &count)) {
    return INT_MIN;
  }
  return static_cast<int>(static_cast<LRESULT>(count));
}

void CursorScene::run(HANDLE created) {
  cursor_ = makeCursor();
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = &CursorScene::windowProc;
  windowClass.hInstance = ::GetModuleHandleW(nullptr);
  windowClass.lpszClassName = kClassName;
  windowClass.hCursor = cursor_;
  const bool registered = cursor_ && ::RegisterClassW(&windowClass);
  // The message queue exists before the creator may post to it.
  MSG message;
  ::PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);
  threadId_ = ::GetCurrentThreadId();
  for (size_t i = 0; registered && i < panes_.size(); ++i) {
    const RECT& bounds = panes_[i].bounds;
    HWND window = ::CreateWindowExW(WS_EX_TOPMOST, kClassName, L"pointer scene",
                                    WS_POPUP | WS_VISIBLE, bounds.left, bounds.top,
                                    bounds.right - bounds.left, bounds.bottom - bounds.top, nullptr,
                                    nullptr, windowClass.hInstance, nullptr);
    if (!window) break;
    ::SetWindowLongPtrW(window, GWLP_USERDATA, static_cast<LONG_PTR>(panes_[i].colour));
    ::InvalidateRect(window, nullptr, TRUE);
    windows_.push_back(window);
  }
  ::SetEvent(created);
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  for (auto window = windows_.rbegin(); window != windows_.rend(); ++window) {
    ::DestroyWindow(*window);
  }
  if (registered) ::UnregisterClassW(kClassName, windowClass.hInstance);
  if (cursor_) ::DestroyCursor(cursor_);
}

LRESULT CALLBACK CursorScene::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_ERASEBKGND) return 1;
  if (message == kShowCursor) return ::ShowCursor(wParam != 0);
  if (message != WM_PAINT) return ::DefWindowProcW(window, message, wParam, lParam);
  PAINTSTRUCT paint;
  HDC dc = ::BeginPaint(window, &paint);
  UniqueGdiBrush brush(
      ::CreateSolidBrush(static_cast<COLORREF>(::GetWindowLongPtrW(window, GWLP_USERDATA))));
  RECT client;
  ::GetClientRect(window, &client);
  if (brush) ::FillRect(dc, &client, brush.get());
  ::EndPaint(window, &paint);
  return 0;
}

}  // namespace pointer_test
