// Uncovered parts of the desktop's bounding rectangle.
#include "capture/uncovered_rects.h"

#include <algorithm>
#include <cstddef>

namespace {

bool isEmpty(const ParamRect& r) { return r.width() < 1 || r.height() < 1; }

bool overlaps(const ParamRect& r, const ParamRect& m) {
  return !(r.right <= m.left || r.left >= m.right || r.bottom <= m.top || r.top >= m.bottom);
}

}  // namespace

ParamRect boundingRect(const std::vector<ParamRect>& monitors) {
  ParamRect bounds{0, 0, 0, 0};
  bool first = true;
  for (const ParamRect& m : monitors) {
    if (first) {
      bounds = m;
      first = false;
      continue;
    }
    bounds.left = std::min(bounds.left, m.left);
    bounds.top = std::min(bounds.top, m.top);
    bounds.right = std::max(bounds.right, m.right);
    bounds.bottom = std::max(bounds.bottom, m.bottom);
  }
  return bounds;
}

std::vector<ParamRect> uncoveredRects(const std::vector<ParamRect>& monitors,
                                      const ParamRect& bounds) {
  std::vector<ParamRect> list{bounds};
  for (const ParamRect& m : monitors) {
    size_t i = 0;
    while (i < list.size()) {
      const ParamRect r = list[i];
      if (!overlaps(r, m)) {
        ++i;
        continue;
      }
      // The slot now holds the next rectangle, so the scan stays where it is; the pieces
      // appended at the end do not overlap this monitor and are passed over.
      list.erase(list.begin() + static_cast<std::ptrdiff_t>(i));
      const ParamRect pieces[] = {
          {r.left, r.top, m.left, r.bottom},
          {std::max(r.left, m.right), r.top, r.right, r.bottom},
          {std::max(r.left, m.left), r.top, std::min(r.right, m.right), std::min(r.bottom, m.top)},
          {std::max(r.left, m.left), std::max(r.top, m.bottom), std::min(r.right, m.right),
           r.bottom},
      };
      for (const ParamRect& piece : pieces) {
        if (!isEmpty(piece)) list.push_back(piece);
      }
    }
  }
  return list;
}
