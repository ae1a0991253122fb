// The panel's owner-drawn buttons.
#include "panel/skinned_button.h"

#include <string>

#include "common/win_raii.h"

namespace {

constexpr COLORREF kPressedBack = RGB(0x60, 0x60, 0x60);
constexpr COLORREF kBack = RGB(0x46, 0x46, 0x46);
constexpr COLORREF kLightText = RGB(0xFF, 0xFF, 0xFF);
constexpr COLORREF kText = RGB(0xBE, 0xBE, 0xBE);

constexpr wchar_t kButtonProperty[] = L"Zelk.SkinnedButton";

}  // namespace

SkinnedButton::~SkinnedButton() {
  if (button_ && original_ && ::IsWindow(button_)) {
    ::SetWindowLongPtrW(button_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original_));
    ::RemovePropW(button_, kButtonProperty);
  }
}

void SkinnedButton::attach(HWND button, HBITMAP normal, HBITMAP hover, HBITMAP pressed) {
  button_ = button;
  bitmaps_[0] = normal;
  bitmaps_[1] = hover;
  bitmaps_[2] = pressed;
  if (!button_) return;
  ::SetPropW(button_, kButtonProperty, this);
  original_ = reinterpret_cast<WNDPROC>(::SetWindowLongPtrW(
      button_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SkinnedButton::buttonProc)));
}

void SkinnedButton::setSelected(bool selected) {
  if (selected == selected_) return;
  selected_ = selected;
  if (button_) ::InvalidateRect(button_, nullptr, FALSE);
}

LRESULT CALLBACK SkinnedButton::buttonProc(HWND window, UINT message, WPARAM wParam,
                                           LPARAM lParam) {
  auto* self = static_cast<SkinnedButton*>(::GetPropW(window, kButtonProperty));
  if (!self) return ::DefWindowProcW(window, message, wParam, lParam);
  const WNDPROC original = self->original_;
  if (message == WM_MOUSEMOVE && !self->hover_) {
    self->hover_ = true;
    TRACKMOUSEEVENT track = {sizeof(track), TME_LEAVE, window, 0};
    ::TrackMouseEvent(&track);
    ::InvalidateRect(window, nullptr, FALSE);
  } else if (message == WM_MOUSELEAVE) {
    self->hover_ = false;
    ::InvalidateRect(window, nullptr, FALSE);
  }
  return ::CallWindowProcW(original, window, message, wParam, lParam);
}

void SkinnedButton::draw(const DRAWITEMSTRUCT& item) const {
  HDC dc = item.hDC;
  const RECT& rect = item.rcItem;
  const bool pressed = (item.itemState & ODS_SELECTED) != 0;
  const int state = pressed || selected_ ? 2 : hover_ ? 1 : 0;

  if (HBITMAP bitmap = bitmaps_[state] ? bitmaps_[state] : bitmaps_[0]) {
    BITMAP info = {};
    ::GetObjectW(bitmap, sizeof(info), &info);
    UniqueMemoryDC source(::CreateCompatibleDC(dc));
    SelectObjectGuard selected(source.get(), bitmap);
    ::TransparentBlt(dc, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                     source.get(), 0, 0, info.bmWidth, info.bmHeight, kKeyColour);
    return;
  }

  const COLORREF back = state == 2 ? kPressedBack : kBack;
  const COLORREF text = state == 0 ? kText : kLightText;
  UniqueGdiBrush fill(::CreateSolidBrush(back));
  UniqueGdiBrush frame(::CreateSolidBrush(kBack));
  ::FillRect(dc, &rect, fill.get());
  ::FrameRect(dc, &rect, frame.get());

  wchar_t caption[64] = {};
  ::GetWindowTextW(item.hwndItem, caption, 64);
  RECT textRect = rect;
  if (pressed) ::OffsetRect(&textRect, 1, 1);
  const auto font = reinterpret_cast<HFONT>(::SendMessageW(item.hwndItem, WM_GETFONT, 0, 0));
  SelectObjectGuard selectedFont(
      dc, font ? static_cast<HGDIOBJ>(font) : ::GetStockObject(DEFAULT_GUI_FONT));
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, text);
  ::DrawTextW(dc, caption, -1, &textRect, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}
