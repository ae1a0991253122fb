// Placing and reading the panel's dialog controls.
#include "panel/dialog_controls.h"

void placeControls(HWND dialog, std::span<const ControlPlacement> layout,
                   const std::function<void(HWND control, const wchar_t* tip)>& addTip) {
  for (const ControlPlacement& placement : layout) {
    HWND control = ::GetDlgItem(dialog, placement.id);
    ::SetWindowPos(control, nullptr, placement.x, placement.y, placement.width, placement.height,
                   SWP_NOZORDER | SWP_NOACTIVATE);
    if (placement.tip && addTip) addTip(control, placement.tip);
  }
}

std::wstring controlText(HWND dialog, int id) {
  wchar_t text[64] = {};
  ::GetDlgItemTextW(dialog, id, text, 64);
  return text;
}

bool readUnsignedDecimal(const std::wstring& text, uint32_t* value) {
  const size_t start = text.find_first_not_of(L' ');
  if (start == std::wstring::npos) return false;
  const size_t end = text.find_last_not_of(L' ');
  uint64_t number = 0;
  for (size_t i = start; i <= end; ++i) {
    if (text[i] < L'0' || text[i] > L'9') return false;
    number = number * 10 + static_cast<uint64_t>(text[i] - L'0');
    if (number > 0xFFFFFFFFull) return false;
  }
  *value = static_cast<uint32_t>(number);
  return true;
}
