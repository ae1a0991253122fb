// The region tool's selection and info box placement, and the panel's reading of typed
// numbers.
#include <gtest/gtest.h>

#include "panel/dialog_controls.h"
#include "panel/region_geometry.h"

namespace {

using namespace region_geometry;

bool sameRect(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

TEST(RegionGeometryTest, TwoCornersSpanARectangleWithExclusiveRightAndBottom) {
  EXPECT_TRUE(sameRect(spannedBy({200, 100}, {100, 300}), RECT{100, 100, 201, 301}));
  EXPECT_TRUE(sameRect(spannedBy({-50, -20}, {-50, -20}), RECT{-50, -20, -49, -19}));
  EXPECT_EQ(infoText(RECT{100, 100, 201, 301}, true),
            L"Left, Top: 100, 100\nRight, Bottom: 200, 300\nWidth x Height: 101 x 201");
  EXPECT_EQ(infoText(RECT{-5, 7, -4, 8}, false), L"Left, Top: -5, 7");
}

TEST(RegionGeometryTest, TheInfoBoxTakesTheFirstCornerItsMarginKeepsClearOf) {
  const SIZE desktop = {1920, 1080};
  const RECT topLeft = {0, 0, 200, 60}, bottomRight = {1720, 1020, 1920, 1080},
             centre = {860, 510, 1060, 570};
  EXPECT_TRUE(sameRect(infoBoxFor(desktop, RECT{100, 100, 201, 301}), topLeft));
  // 30 pixels of margin: a pixel at 229,89 is too near the top-left box, 230,90 is not.
  EXPECT_TRUE(sameRect(infoBoxFor(desktop, RECT{229, 89, 230, 90}), bottomRight));
  EXPECT_TRUE(sameRect(infoBoxFor(desktop, RECT{230, 90, 231, 91}), topLeft));
  EXPECT_TRUE(sameRect(infoBoxFor(desktop, RECT{0, 0, 300, 1080}), bottomRight));
  EXPECT_TRUE(sameRect(infoBoxFor(desktop, RECT{1500, 0, 1920, 1080}), topLeft));
  EXPECT_TRUE(sameRect(infoBoxFor(desktop, RECT{0, 0, 1800, 1080}), centre)) << "all four taken";
}

TEST(DecimalTextTest, OnlyUnsignedDecimalsWithin32BitsAreRead) {
  uint32_t value = 7;
  EXPECT_TRUE(readUnsignedDecimal(L" 640 ", &value));
  EXPECT_EQ(value, 640u);
  EXPECT_TRUE(readUnsignedDecimal(L"4294967295", &value));
  EXPECT_EQ(value, 4294967295u);
  for (const wchar_t* bad : {L"", L"  ", L"-5", L"+5", L"6 4", L"1e3", L"4294967296", L"12a"}) {
    value = 7;
    EXPECT_FALSE(readUnsignedDecimal(bad, &value)) << bad;
    EXPECT_EQ(value, 7u) << "left alone";
  }
}

}  // namespace
