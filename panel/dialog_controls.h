// The panel's dialogs place their controls at fixed pixel positions when they open (the
// templates' dialog units would scale with the font) and read their edits as plain numbers.
// Apartment: the dialog's thread.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <span>
#include <string>

struct ControlPlacement {
  int id;
  int x, y, width, height;  // pixels, relative to the dialog's client area
  const wchar_t* tip = nullptr;  // none when null
};

// Moves and sizes each control of `layout`; `addTip` is given each control that has a tip.
void placeControls(HWND dialog, std::span<const ControlPlacement> layout,
                   const std::function<void(HWND control, const wchar_t* tip)>& addTip = nullptr);

// The text of control `id`, up to 63 characters.
std::wstring controlText(HWND dialog, int id);

// Digits only, blanks around them allowed, within 32 bits; false for anything else (a minus
// sign included).
bool readUnsignedDecimal(const std::wstring& text, uint32_t* value);
