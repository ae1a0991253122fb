// The parts of the desktop's bounding rectangle that no monitor shows. With monitors of
// different sizes the bounding rectangle has holes; the grab paints them with the border colour
// instead of whatever the screen DC returns there. Portable: no <windows.h>.
#pragma once

#include <vector>

#include "config/capture_params.h"

// The union of all monitor rectangles; the caller handles an empty list.
ParamRect boundingRect(const std::vector<ParamRect>& monitors);

// `bounds` with every monitor cut out, as a list of non-overlapping rectangles. Each monitor
// splits the rectangles it overlaps into up to four pieces (left, right, above, below), which
// go to the end of the list.
std::vector<ParamRect> uncoveredRects(const std::vector<ParamRect>& monitors,
                                      const ParamRect& bounds);
