// Parameter paths: "params\\rect\\left" names the attribute "left" of the element reached by
// the steps "params" and "rect". A step may pick the N-th element of its name with "name N".
// Portable: the XML document and the native tests share it.
#pragma once

#include <string>
#include <vector>

// Cut at every backslash; empty pieces are components too, so "a\\\\b" has three and a
// trailing backslash adds an empty last one. A null or empty path has none.
std::vector<std::wstring> splitParameterPath(const wchar_t* path);

struct PathStep {
  std::wstring name;
  long index = 0;
  bool indexed = false;
};

// "item 2" is the third element named "item"; the number after the first space is read like
// wcstol reads it (blanks, sign, digits; none gives 0). A negative number means the first
// element of that name. Without a space the component is the name.
PathStep parsePathStep(const std::wstring& component);
