// The region selection tool's arithmetic, kept apart from its window so it can be checked on
// its own: the selection two corners span, where the info box goes, and what it says.
// Apartment: none; plain functions.
#pragma once

#include <windows.h>

#include <string>

namespace region_geometry {

constexpr int kInfoBoxWidth = 200;
constexpr int kInfoBoxHeight = 60;

// The rectangle spanned by two corner pixels: right and bottom are exclusive, so a single
// point gives a 1 x 1 rectangle.
RECT spannedBy(POINT first, POINT second);

// The info box's rectangle in a desktop of `desktop` size: the first of top-left,
// bottom-right, top-right and bottom-left whose box, grown by 30 pixels, keeps clear of
// `selection`; the centre when all four are taken. Both in desktop coordinates.
RECT infoBoxFor(SIZE desktop, const RECT& selection);

// The info box's lines: only the left and top while the first corner moves, otherwise also
// the right and bottom (inclusive) and the size.
std::wstring infoText(const RECT& selection, bool secondCorner);

}  // namespace region_geometry
