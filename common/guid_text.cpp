// Formats GUIDs the way the registry spells class and category identifiers.
#include "common/guid_text.h"

#include <cstdint>

namespace {

void appendHex(std::wstring& text, std::uint64_t value, int digits) {
  static constexpr wchar_t kDigits[] = L"0123456789ABCDEF";
  for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) {
    text.push_back(kDigits[(value >> shift) & 0xF]);
  }
}

}  // namespace

std::wstring formatGuid(const GUID& guid) {
  std::wstring text;
  text.reserve(38);
  text.push_back(L'{');
  appendHex(text, guid.Data1, 8);
  text.push_back(L'-');
  appendHex(text, guid.Data2, 4);
  text.push_back(L'-');
  appendHex(text, guid.Data3, 4);
  text.push_back(L'-');
  for (int i = 0; i < 8; ++i) {
    if (i == 2) text.push_back(L'-');
    appendHex(text, guid.Data4[i], 2);
  }
  text.push_back(L'}');
  return text;
}
