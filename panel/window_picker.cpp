// The window selection tool.
#include "panel/window_picker.h"

#include "common/module_proc.h"
#include "panel/resource.h"
#include "panel/skinned_button.h"

namespace {

constexpr wchar_t kPickerProperty[] = L"Zelk.WindowPicker";
constexpr UINT_PTR kFollowTimer = 1;
constexpr UINT kFollowMs = 50;

// The logical left button, as the user's mouse settings map it.
bool primaryButtonDown() {
  const int key = ::GetSystemMetrics(SM_SWAPBUTTON) ? VK_RBUTTON : VK_LBUTTON;
  return (::GetAsyncKeyState(key) & 0x8000) != 0;
}

HBITMAP loadBitmap(int id) {
  return static_cast<HBITMAP>(
      ::LoadImageW(currentModule(), MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
}

}  // namespace

WindowPicker::~WindowPicker() {
  if (tracking_) stop();
  if (button_ && original_ && ::IsWindow(button_)) {
    ::SetWindowLongPtrW(button_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original_));
    ::RemovePropW(button_, kPickerProperty);
  }
}

void WindowPicker::attach(HWND button, HWND target, UINT message) {
  button_ = button;
  target_ = target;
  message_ = message;
  picker_ = static_cast<HCURSOR>(
      ::LoadImageW(currentModule(), MAKEINTRESOURCEW(IDC_PICKER), IMAGE_CURSOR, 0, 0, LR_SHARED));
  pen_.reset(::CreatePen(PS_SOLID, 5, RGB(255, 0, 0)));
  normal_.reset(loadBitmap(IDB_WINDOW_NORMAL));
  pressed_.reset(loadBitmap(IDB_WINDOW_PRESSED));
  if (!button_) return;
  look_.attach(button_, normal_.get(), normal_.get(), pressed_.get());
  ::SetPropW(button_, kPickerProperty, this);
  original_ = reinterpret_cast<WNDPROC>(::SetWindowLongPtrW(
      button_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WindowPicker::buttonProc)));
}

LRESULT CALLBACK WindowPicker::buttonProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = static_cast<WindowPicker*>(::GetPropW(window, kPickerProperty));
  if (!self) return ::DefWindowProcW(window, message, wParam, lParam);
  switch (message) {
    case WM_LBUTTONDOWN:
      self->start();
      return 0;
    case WM_MOUSEMOVE:
      if (self->tracking_) self->track();
      return 0;
    case WM_LBUTTONUP:
      if (self->tracking_) self->stop();
      return 0;
    case WM_TIMER:
      if (wParam != kFollowTimer) break;
      if (self->tracking_ && !primaryButtonDown()) self->stop();
      if (self->tracking_) self->track();
      return 0;
    case WM_CAPTURECHANGED:
      // Another window took the mouse: the pick ends there.
      if (self->tracking_ && reinterpret_cast<HWND>(lParam) != window) self->stop();
      return 0;
    default:
      break;
  }
  return ::CallWindowProcW(self->original_, window, message, wParam, lParam);
}

void WindowPicker::start() {
  ::SetCapture(button_);
  previousCursor_ = ::SetCursor(picker_);
  tracking_ = true;
  RECT rect;
  ::GetWindowRect(button_, &rect);
  ::SetCursorPos(rect.left + 48, rect.top + 10);
  // Moving the pointer can end the system's hold on it (Wine's X11 driver ungrabs), after
  // which moves and the release may reach other windows: the pointer and the button are also
  // followed by time.
  ::SetTimer(button_, kFollowTimer, kFollowMs, nullptr);
  track();
  // Pressed while the pick lasts.
  look_.setSelected(true);
}

void WindowPicker::track() {
  POINT position;
  if (!::GetCursorPos(&position)) return;
  HWND window = ::WindowFromPoint(position);
  if (!window || !::IsWindow(window) || window == highlighted_) return;
  if (::GetAncestor(window, GA_ROOT) == ::GetAncestor(button_, GA_ROOT)) return;
  unhighlight();
  highlighted_ = window;
  RECT rect;
  ::GetWindowRect(window, &rect);
  WindowDC dc(window, WindowDC::WholeWindow);
  if (dc) {
    SelectObjectGuard pen(dc.get(), pen_.get());
    SelectObjectGuard brush(dc.get(), ::GetStockObject(HOLLOW_BRUSH));
    ::Rectangle(dc.get(), 0, 0, rect.right - rect.left, rect.bottom - rect.top);
  }
  ::SendMessageW(target_, message_, reinterpret_cast<WPARAM>(window), 0);
}

void WindowPicker::stop() {
  tracking_ = false;
  ::KillTimer(button_, kFollowTimer);
  ::ReleaseCapture();
  ::SetCursor(previousCursor_);
  unhighlight();
  look_.setSelected(false);
}

void WindowPicker::unhighlight() {
  if (highlighted_ && ::IsWindow(highlighted_)) {
    ::RedrawWindow(highlighted_, nullptr, nullptr,
                   RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
  }
  highlighted_ = nullptr;
}

void WindowPicker::draw(const DRAWITEMSTRUCT& item) const { look_.draw(item); }
