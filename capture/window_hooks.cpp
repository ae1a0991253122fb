// The exported window hook procedures and the per-process state they share.
#include "capture/window_hooks.h"

#include <atomic>

namespace {

using namespace window_hooks;

// Menu window messages the platform does not name in its headers: a popup menu sizes itself
// (0x01E2), and its selected item changes (0x01E5, wParam the item).
constexpr UINT kMenuSizeWindow = 0x01E2;
constexpr UINT kMenuSelectItem = 0x01E5;

// Written once while the module attaches to a process, only read after.
UINT g_windowChanged = 0;
UINT g_windowBorderChanged = 0;
UINT g_windowClientAreaChanged = 0;
UINT g_rectangleChanged = 0;
UINT g_cursorChanged = 0;
ATOM g_popupSelectionAtom = 0;

// Refreshed by whichever hooked thread finds it gone; a stale read only costs one more lookup.
std::atomic<HWND> g_server{nullptr};

// Runs while the module attaches, under the loader lock of whatever program the hook was loaded
// into: registering, one window lookup and an atom, nothing that could load a library or wait.
struct ProcessState {
  ProcessState() noexcept {
    g_windowChanged = ::RegisterWindowMessageW(kWindowChanged);
    g_windowBorderChanged = ::RegisterWindowMessageW(kWindowBorderChanged);
    g_windowClientAreaChanged = ::RegisterWindowMessageW(kWindowClientAreaChanged);
    g_rectangleChanged = ::RegisterWindowMessageW(kRectangleChanged);
    g_cursorChanged = ::RegisterWindowMessageW(kCursorChanged);
    ::RegisterWindowMessageW(kDiagnostic);
    g_server.store(::FindWindowW(nullptr, kServerTitle), std::memory_order_relaxed);
    g_popupSelectionAtom = ::GlobalAddAtomW(kPopupSelectionAtom);
  }
  // Each process holds one reference to the atom while the module is loaded.
  ~ProcessState() {
    if (g_popupSelectionAtom) ::GlobalDeleteAtom(g_popupSelectionAtom);
  }
};
ProcessState g_processState;

HWND serverWindow() noexcept {
  HWND server = g_server.load(std::memory_order_relaxed);
  if (server && ::IsWindow(server)) return server;
  server = ::FindWindowW(nullptr, kServerTitle);
  g_server.store(server, std::memory_order_relaxed);
  return server;
}

void post(HWND server, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
  if (server && message) ::PostMessageW(server, message, wParam, lParam);
}

// Low 16 bits of each coordinate, x in the low word: receivers read them back as signed.
DWORD packPoint(LONG x, LONG y) noexcept {
  return (static_cast<DWORD>(x) & 0xFFFF) | ((static_cast<DWORD>(y) & 0xFFFF) << 16);
}

enum class Report { None, Rectangle, Window, MenuSelection, Border, ClientArea, Cursor };

// Decided from the message alone, so that most messages cost no platform call at all.
Report reportFor(UINT message, WPARAM wParam) noexcept {
  switch (message) {
    case WM_DESTROY:
    case WM_WINDOWPOSCHANGING:
      return Report::Rectangle;
    case WM_WINDOWPOSCHANGED:
    case kMenuSizeWindow:
      return Report::Window;
    case WM_HSCROLL:
    case WM_VSCROLL:
      return LOWORD(wParam) == SB_THUMBTRACK || LOWORD(wParam) == SB_ENDSCROLL ? Report::Window
                                                                               : Report::None;
    case kMenuSelectItem:
      return Report::MenuSelection;
    case WM_NCPAINT:
    case WM_NCACTIVATE:
      return Report::Border;
    case WM_SETFOCUS:
    case WM_ENABLE:
    case WM_SETTEXT:
    case WM_PAINT:
    case WM_SYSCOLORCHANGE:
    case EM_SETSEL:
    case BM_SETCHECK:
    case BM_SETSTATE:
    case WM_KEYUP:
    case WM_CHAR:
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
    case WM_PALETTECHANGED:
      return Report::ClientArea;
    case WM_NCMOUSEMOVE:
    case WM_MOUSEMOVE:
      return Report::Cursor;
    default:
      return Report::None;
  }
}

void observe(UINT message, HWND window, WPARAM wParam) noexcept {
  const Report report = reportFor(message, wParam);
  if (report == Report::None) return;
  const HWND server = serverWindow();
  // A menu's selection is remembered even with no server to tell, so that a server starting
  // later hears of changes only.
  if (!server && report != Report::MenuSelection) return;
  if (!::IsWindowVisible(window)) return;
  if (server && (window == server || ::GetParent(window) == server)) return;

  const LPARAM windowParam = reinterpret_cast<LPARAM>(window);
  switch (report) {
    case Report::Rectangle: {
      RECT rect;
      if (!::GetWindowRect(window, &rect)) return;
      post(server, g_rectangleChanged, packPoint(rect.left, rect.top),
           packPoint(rect.right, rect.bottom));
      return;
    }
    case Report::Window:
      post(server, g_windowChanged, message, windowParam);
      return;
    case Report::MenuSelection: {
      const LPCWSTR property = MAKEINTATOM(g_popupSelectionAtom);
      if (g_popupSelectionAtom &&
          ::GetPropW(window, property) == reinterpret_cast<HANDLE>(wParam)) {
        return;
      }
      post(server, g_windowChanged, message, windowParam);
      if (g_popupSelectionAtom) ::SetPropW(window, property, reinterpret_cast<HANDLE>(wParam));
      return;
    }
    case Report::Border:
      post(server, g_windowBorderChanged, message, windowParam);
      return;
    case Report::ClientArea:
      post(server, g_windowClientAreaChanged, message, windowParam);
      return;
    case Report::Cursor:
      post(server, g_cursorChanged, 0, 0);
      return;
    case Report::None:
      return;
  }
}

}  // namespace

extern "C" {

LRESULT CALLBACK HookCallWndProc(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HC_ACTION && lParam) {
    const auto* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
    observe(call->message, call->hwnd, call->wParam);
  }
  return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK HookCallWndProcRet(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HC_ACTION && lParam) {
    const auto* call = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
    observe(call->message, call->hwnd, call->wParam);
  }
  return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK HookGetMessage(int code, WPARAM wParam, LPARAM lParam) {
  // A peeked message stays in the queue and is seen again when it is removed.
  if (code == HC_ACTION && (wParam & PM_REMOVE) && lParam) {
    const auto* msg = reinterpret_cast<const MSG*>(lParam);
    observe(msg->message, msg->hwnd, msg->wParam);
  }
  return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK HookDialogMessage(int code, WPARAM wParam, LPARAM lParam) {
  if (code == MSGF_DIALOGBOX && lParam) {
    const auto* msg = reinterpret_cast<const MSG*>(lParam);
    observe(msg->message, msg->hwnd, msg->wParam);
  }
  return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // extern "C"
