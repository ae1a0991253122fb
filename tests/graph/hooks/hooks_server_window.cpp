#include "hooks_server_window.h"

namespace hooks_test {

namespace {

constexpr wchar_t kClassName[] = L"ZelkHooksTestServer";

void pump() {
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
}

}  // namespace

void PrintTo(const Report& report, std::ostream* out) {
  *out << "{0x" << std::hex << report.message << ", 0x" << report.wParam << ", 0x" << report.lParam
       << std::dec << "}";
}

const ReportMessages& ReportMessages::registered() {
  static const ReportMessages messages = {
      ::RegisterWindowMessageW(L"Zelk.WM_SCRCAPHK.WindowChanged"),
      ::RegisterWindowMessageW(L"Zelk.WM_SCRCAPHK.WindowBorderChanged"),
      ::RegisterWindowMessageW(L"Zelk.WM_SCRCAPHK.WindowClientAreaChanged"),
      ::RegisterWindowMessageW(L"Zelk.WM_SCRCAPHK.RectangleChanged"),
      ::RegisterWindowMessageW(L"Zelk.WM_SCRCAPHK.CursorChanged"),
      ::RegisterWindowMessageW(L"Zelk.WM_SCRCAPHK.Diagnostic"),
  };
  return messages;
}

bool ReportMessages::isReport(UINT message) const {
  return message >= 0xC000 && (message == windowChanged || message == windowBorderChanged ||
                               message == windowClientAreaChanged || message == rectangleChanged ||
                               message == cursorChanged || message == diagnostic);
}

HooksServerWindow::HooksServerWindow(bool visible) {
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = windowProc;
  windowClass.hInstance = ::GetModuleHandleW(nullptr);
  windowClass.lpszClassName = kClassName;
  ::RegisterClassW(&windowClass);  // fails harmlessly once registered
  window_ = ::CreateWindowExW(WS_EX_TOOLWINDOW, kClassName, L"Zelkgrab Hooks Server object",
                              WS_POPUP | (visible ? WS_VISIBLE : 0), 1600, 900, 200, 100, nullptr,
                              nullptr, windowClass.hInstance, nullptr);
  if (window_) ::SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

HooksServerWindow::~HooksServerWindow() {
  if (window_) ::DestroyWindow(window_);
  pump();
}

std::vector<Report> HooksServerWindow::take() {
  pump();
  std::vector<Report> taken;
  taken.swap(reports_);
  return taken;
}

bool HooksServerWindow::waitFor(const std::function<bool(const Report&)>& accept, DWORD timeoutMs) {
  const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
  for (;;) {
    for (const Report& report : take()) {
      if (accept(report)) return true;
    }
    const ULONGLONG now = ::GetTickCount64();
    if (now >= deadline) return false;
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE,
                                static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, 20)),
                                QS_ALLINPUT);
  }
}

LRESULT CALLBACK HooksServerWindow::windowProc(HWND window, UINT message, WPARAM wParam,
                                               LPARAM lParam) {
  auto* self = reinterpret_cast<HooksServerWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self && ReportMessages::registered().isReport(message)) {
    self->reports_.push_back({message, wParam, lParam});
    return 0;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace hooks_test
