// The region selection tool's arithmetic.
#include "panel/region_geometry.h"

#include <algorithm>
#include <cstdio>

namespace region_geometry {

RECT spannedBy(POINT first, POINT second) {
  return RECT{std::min(first.x, second.x), std::min(first.y, second.y),
              std::max(first.x, second.x) + 1, std::max(first.y, second.y) + 1};
}

RECT infoBoxFor(SIZE desktop, const RECT& selection) {
  const POINT corners[] = {{0, 0},
                           {desktop.cx - kInfoBoxWidth, desktop.cy - kInfoBoxHeight},
                           {desktop.cx - kInfoBoxWidth, 0},
                           {0, desktop.cy - kInfoBoxHeight}};
  for (const POINT& corner : corners) {
    RECT box = {corner.x, corner.y, corner.x + kInfoBoxWidth, corner.y + kInfoBoxHeight};
    RECT grown = box;
    ::InflateRect(&grown, 30, 30);
    RECT overlap;
    if (!::IntersectRect(&overlap, &grown, &selection)) return box;
  }
  const LONG left = (desktop.cx - kInfoBoxWidth) / 2, top = (desktop.cy - kInfoBoxHeight) / 2;
  return RECT{left, top, left + kInfoBoxWidth, top + kInfoBoxHeight};
}

std::wstring infoText(const RECT& selection, bool secondCorner) {
  wchar_t text[160];
  if (!secondCorner) {
    std::swprintf(text, 160, L"Left, Top: %ld, %ld", selection.left, selection.top);
  } else {
    std::swprintf(text, 160, L"Left, Top: %ld, %ld\nRight, Bottom: %ld, %ld\nWidth x Height: %ld x %ld",
                  selection.left, selection.top, selection.right - 1, selection.bottom - 1,
                  selection.right - selection.left, selection.bottom - selection.top);
  }
  return text;
}

}  // namespace region_geometry
