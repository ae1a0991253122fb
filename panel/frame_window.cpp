// The frame window of a queue object.
#include "panel/frame_window.h"

#include "common/module_proc.h"
#include "panel/resource.h"

FrameWindow::~FrameWindow() {
  if (window_) ::DestroyWindow(window_);
}

HRESULT FrameWindow::create() {
  window_ = ::CreateDialogParamW(currentModule(), MAKEINTRESOURCEW(IDD_FRAME_WINDOW), nullptr,
                                 &FrameWindow::dialogProc, reinterpret_cast<LPARAM>(this));
  if (!window_) return E_FAIL;
  const LONG_PTR extended = ::GetWindowLongPtrW(window_, GWL_EXSTYLE);
  ::SetWindowLongPtrW(window_, GWL_EXSTYLE, extended | WS_EX_LAYERED | WS_EX_TRANSPARENT);
  ::SetLayeredWindowAttributes(window_, 0, alpha_, LWA_ALPHA);
  ::SetWindowPos(window_, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  return S_OK;
}

bool FrameWindow::visible() const { return window_ && ::IsWindowVisible(window_); }

void FrameWindow::show(bool visible) {
  if (visible != this->visible()) ::ShowWindow(window_, visible ? SW_SHOWNOACTIVATE : SW_HIDE);
}

void FrameWindow::place(const RECT& hole) {
  const RECT frame = {hole.left - borderX, hole.top - borderY, hole.right + borderX,
                      hole.bottom + borderY};
  if (placedOnce_ && ::EqualRect(&frame, &placed_)) return;
  placed_ = frame;
  placedOnce_ = true;
  ::SetWindowPos(window_, nullptr, frame.left, frame.top, frame.right - frame.left,
                 frame.bottom - frame.top, SWP_NOZORDER | SWP_NOACTIVATE);
  // A new border width at the same size still needs a new hole.
  cutHole(window_, frame.right - frame.left, frame.bottom - frame.top);
  ::RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

void FrameWindow::setColour(COLORREF colour) {
  colour_ = colour;
  ::RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

void FrameWindow::setAlpha(BYTE alpha) {
  alpha_ = alpha;
  ::SetLayeredWindowAttributes(window_, 0, alpha_, LWA_ALPHA);
}

void FrameWindow::cutHole(HWND window, int width, int height) {
  HRGN outer = ::CreateRectRgn(0, 0, width, height);
  HRGN inner = ::CreateRectRgn(borderX, borderY, width - borderX, height - borderY);
  if (outer && inner) ::CombineRgn(outer, outer, inner, RGN_DIFF);
  if (inner) ::DeleteObject(inner);
  // The window owns the region once it is set.
  if (outer && !::SetWindowRgn(window, outer, TRUE)) ::DeleteObject(outer);
}

HBRUSH FrameWindow::backgroundBrush() {
  brush_.reset(::CreateSolidBrush(colour_));
  return brush_.get();
}

INT_PTR CALLBACK FrameWindow::dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    ::SetWindowLongPtrW(window, DWLP_USER, lParam);
    return FALSE;
  }
  auto* frame = reinterpret_cast<FrameWindow*>(::GetWindowLongPtrW(window, DWLP_USER));
  if (!frame) return FALSE;
  switch (message) {
    case WM_CTLCOLORDLG:
      return reinterpret_cast<INT_PTR>(frame->backgroundBrush());
    case WM_SIZE:
      frame->cutHole(window, LOWORD(lParam), HIWORD(lParam));
      return TRUE;
    default:
      return FALSE;
  }
}
