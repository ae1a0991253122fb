// A second program for the installed-hook tests: shows one window and pumps its messages until
// the window is closed, or ends by itself after a time limit so that it never outlives a test.
//   hooked_window TITLE LEFT TOP RIGHT BOTTOM SECONDS
// Its window answers WM_APP with the number of WM_MOUSEMOVE messages it received, and WM_APP + 1
// with whether Zelkgrab.ax is loaded into this program.
// Exit code 0 when closed, 1 if the window could not be made, 2 on bad arguments, 3 when the
// time limit ended it.
#include <windows.h>

#include <cwchar>
#include <cstdlib>

namespace {

constexpr UINT_PTR kTimeLimitTimer = 1;
constexpr UINT kCountMouseMoves = WM_APP;
constexpr UINT kHookModuleLoaded = WM_APP + 1;

LONG g_mouseMoves = 0;
bool g_timedOut = false;

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_MOUSEMOVE:
      ++g_mouseMoves;
      return 0;
    case kCountMouseMoves:
      return g_mouseMoves;
    case kHookModuleLoaded:
      return ::GetModuleHandleW(L"Zelkgrab.ax") != nullptr;
    case WM_TIMER:
      if (wParam == kTimeLimitTimer) {
        ::KillTimer(window, kTimeLimitTimer);
        g_timedOut = true;
        ::DestroyWindow(window);
      }
      return 0;
    case WM_DESTROY:
      ::PostQuitMessage(0);
      return 0;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 7) return 2;
  const int left = _wtoi(argv[2]), top = _wtoi(argv[3]), right = _wtoi(argv[4]),
            bottom = _wtoi(argv[5]), seconds = _wtoi(argv[6]);
  if (right <= left || bottom <= top || seconds <= 0) return 2;

  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = windowProc;
  windowClass.hInstance = ::GetModuleHandleW(nullptr);
  windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH));
  windowClass.lpszClassName = L"ZelkHookedWindow";
  if (!::RegisterClassW(&windowClass)) return 1;
  HWND window = ::CreateWindowExW(0, windowClass.lpszClassName, argv[1], WS_POPUP | WS_VISIBLE,
                                  left, top, right - left, bottom - top, nullptr, nullptr,
                                  windowClass.hInstance, nullptr);
  if (!window) return 1;
  ::SetTimer(window, kTimeLimitTimer, static_cast<UINT>(seconds) * 1000, nullptr);

  MSG msg;
  BOOL got;
  while ((got = ::GetMessageW(&msg, nullptr, 0, 0)) > 0) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  if (got < 0) return 1;
  return g_timedOut ? 3 : 0;
}
