// The window hooks Zelkgrab.ax exports, for the hooks server to install with SetWindowsHookEx
// (usually for every thread of the desktop). They run inside each message dispatch of each
// hooked program, on that program's threads: each looks at the message, and when it changes what
// a capture of the window would show, posts one of the registered messages below to the server
// window, found by its title. They never send, wait, lock or allocate.
#pragma once

#include <windows.h>

namespace window_hooks {

// The server window's title; the hooks find it with FindWindowW and no class.
inline constexpr wchar_t kServerTitle[] = L"Zelkgrab Hooks Server object";

// The reports, registered in this order by every process the module is loaded into.
// WindowChanged: wParam the observed message, lParam the window.
inline constexpr wchar_t kWindowChanged[] = L"Zelk.WM_SCRCAPHK.WindowChanged";
// WindowBorderChanged: wParam the observed message, lParam the window.
inline constexpr wchar_t kWindowBorderChanged[] = L"Zelk.WM_SCRCAPHK.WindowBorderChanged";
// WindowClientAreaChanged: wParam the observed message, lParam the window.
inline constexpr wchar_t kWindowClientAreaChanged[] = L"Zelk.WM_SCRCAPHK.WindowClientAreaChanged";
// RectangleChanged: the window's rectangle as signed 16-bit pairs, wParam left | top << 16 and
// lParam right | bottom << 16.
inline constexpr wchar_t kRectangleChanged[] = L"Zelk.WM_SCRCAPHK.RectangleChanged";
// CursorChanged: no parameters.
inline constexpr wchar_t kCursorChanged[] = L"Zelk.WM_SCRCAPHK.CursorChanged";
// Registered for the server's own use; the hooks never post it.
inline constexpr wchar_t kDiagnostic[] = L"Zelk.WM_SCRCAPHK.Diagnostic";

// Names the window property in which the hooks keep a popup menu's last reported selection.
inline constexpr wchar_t kPopupSelectionAtom[] = L"Zelk.SCRCAPHK.PopupSelectionAtom";

}  // namespace window_hooks

extern "C" {

// WH_CALLWNDPROC: acts on HC_ACTION, reading the CWPSTRUCT.
LRESULT CALLBACK HookCallWndProc(int code, WPARAM wParam, LPARAM lParam);
// WH_CALLWNDPROCRET: acts on HC_ACTION, reading the CWPRETSTRUCT.
LRESULT CALLBACK HookCallWndProcRet(int code, WPARAM wParam, LPARAM lParam);
// WH_GETMESSAGE: acts on HC_ACTION for a message being removed (PM_REMOVE), reading the MSG.
LRESULT CALLBACK HookGetMessage(int code, WPARAM wParam, LPARAM lParam);
// WH_SYSMSGFILTER: acts on MSGF_DIALOGBOX, reading the MSG.
LRESULT CALLBACK HookDialogMessage(int code, WPARAM wParam, LPARAM lParam);

}  // extern "C"
