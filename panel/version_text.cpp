// The version text of a module.
#include "panel/version_text.h"

#include <cstdio>
#include <vector>

namespace {

// Reads the resource directly rather than through the file, so that a module loaded as data
// (and the program, wherever it was started from) answers the same way.
std::vector<BYTE> versionResource(HMODULE module) {
  HRSRC resource = ::FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(16));
  if (!resource) return {};
  HGLOBAL loaded = ::LoadResource(module, resource);
  const DWORD size = ::SizeofResource(module, resource);
  const void* data = loaded ? ::LockResource(loaded) : nullptr;
  if (!data || size == 0) return {};
  // VerQueryValue may write into the block it reads; it gets a copy.
  const auto* bytes = static_cast<const BYTE*>(data);
  return std::vector<BYTE>(bytes, bytes + size);
}

std::wstring queryString(std::vector<BYTE>& block, const wchar_t* path) {
  void* value = nullptr;
  UINT length = 0;
  if (!::VerQueryValueW(block.data(), path, &value, &length) || !value || length == 0) return {};
  return std::wstring(static_cast<const wchar_t*>(value));
}

}  // namespace

std::wstring tidyVersionText(std::wstring text) {
  std::wstring tidy;
  for (wchar_t c : text) {
    if (c == L',') {
      tidy += L'.';
    } else if (c != L' ') {
      tidy += c;
    }
  }
  return tidy;
}

std::wstring readVersionText(HMODULE module) {
  std::vector<BYTE> block = versionResource(module);
  if (block.empty()) return {};
  wchar_t path[128];
  void* translation = nullptr;
  UINT length = 0;
  if (::VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &translation, &length) &&
      translation && length == 4) {
    const auto* bytes = static_cast<const BYTE*>(translation);
    // Language then code page, each a little-endian word.
    std::swprintf(path, 128, L"\\StringFileInfo\\%02X%02X%02X%02X\\%ls", bytes[1], bytes[0],
                  bytes[3], bytes[2], L"FileVersion");
  } else {
    std::swprintf(path, 128, L"\\StringFileInfo\\%04X04B0\\%ls",
                  static_cast<unsigned>(::GetUserDefaultLangID()), L"FileVersion");
  }
  return tidyVersionText(queryString(block, path));
}
