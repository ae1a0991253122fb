// A push button the panel draws itself (owner-drawn): in the panel's colours with its text, or
// with one of its state bitmaps (normal, hover, pressed) with the key colour left out. It
// knows when the pointer is over it by watching its own messages.
// Apartment: the dialog's thread; the button lives as long as its dialog.
#pragma once

#include <windows.h>

class SkinnedButton {
 public:
  static constexpr COLORREF kKeyColour = RGB(255, 0, 255);

  SkinnedButton() = default;
  ~SkinnedButton();
  SkinnedButton(const SkinnedButton&) = delete;
  SkinnedButton& operator=(const SkinnedButton&) = delete;

  // Takes over drawing `button` (which has BS_OWNERDRAW). Without bitmaps it draws its text.
  void attach(HWND button, HBITMAP normal = nullptr, HBITMAP hover = nullptr,
              HBITMAP pressed = nullptr);
  HWND window() const { return button_; }

  // A selected tab button looks pressed.
  void setSelected(bool selected);
  // For the dialog's WM_DRAWITEM.
  void draw(const DRAWITEMSTRUCT& item) const;

 private:
  static LRESULT CALLBACK buttonProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  HWND button_ = nullptr;
  WNDPROC original_ = nullptr;
  HBITMAP bitmaps_[3] = {};  // not owned: the dialog's
  bool hover_ = false;
  bool selected_ = false;
};
