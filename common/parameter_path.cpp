// Splitting parameter paths into components and steps.
#include "common/parameter_path.h"

#include <cwchar>

std::vector<std::wstring> splitParameterPath(const wchar_t* path) {
  std::vector<std::wstring> components;
  if (!path || !*path) return components;
  const wchar_t* start = path;
  for (const wchar_t* p = path;; ++p) {
    if (*p == L'\\' || *p == L'\0') {
      components.emplace_back(start, p);
      if (*p == L'\0') break;
      start = p + 1;
    }
  }
  return components;
}

PathStep parsePathStep(const std::wstring& component) {
  PathStep step;
  const size_t space = component.find(L' ');
  if (space == std::wstring::npos) {
    step.name = component;
    return step;
  }
  step.name = component.substr(0, space);
  // wcstol saturates instead of overflowing, so any text gives a defined number.
  step.index = std::wcstol(component.c_str() + space + 1, nullptr, 10);
  step.indexed = step.index >= 0;
  return step;
}
