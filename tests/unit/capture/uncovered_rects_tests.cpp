// The desktop parts no monitor shows: fixed layouts with exact results, and random monitor sets
// whose uncovered pieces and monitors must tile the bounding rectangle.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "capture/uncovered_rects.h"

// At global scope so that the assertion macros find them by argument-dependent lookup.
static bool operator==(const ParamRect& a, const ParamRect& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

static void PrintTo(const ParamRect& r, std::ostream* out) {
  *out << "(" << r.left << "," << r.top << "," << r.right << "," << r.bottom << ")";
}

namespace {

bool overlap(const ParamRect& a, const ParamRect& b) {
  return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

int64_t area(const ParamRect& r) { return static_cast<int64_t>(r.width()) * r.height(); }

TEST(UncoveredRectsTest, BoundingRectIsTheUnion) {
  EXPECT_EQ(boundingRect({{0, 0, 1920, 1080}}), (ParamRect{0, 0, 1920, 1080}));
  EXPECT_EQ(boundingRect({{0, 0, 1920, 1080}, {1920, 100, 3200, 1124}, {-800, -600, 0, 0}}),
            (ParamRect{-800, -600, 3200, 1124}));
}

TEST(UncoveredRectsTest, FixedLayouts) {
  // One monitor covering the bounds leaves nothing.
  EXPECT_TRUE(uncoveredRects({{0, 0, 1920, 1080}}, {0, 0, 1920, 1080}).empty());

  // A smaller monitor beside a taller one leaves the strip below the smaller one.
  const std::vector<ParamRect> sideBySide = {{0, 0, 1920, 1080}, {1920, 0, 3200, 1024}};
  EXPECT_EQ(uncoveredRects(sideBySide, boundingRect(sideBySide)),
            (std::vector<ParamRect>{{1920, 1024, 3200, 1080}}));

  // Left of the origin, listed first.
  const std::vector<ParamRect> leftOfOrigin = {{-1280, 0, 0, 1024}, {0, 0, 1920, 1080}};
  EXPECT_EQ(uncoveredRects(leftOfOrigin, boundingRect(leftOfOrigin)),
            (std::vector<ParamRect>{{-1280, 1024, 0, 1080}}));

  // Three monitors: the pieces come in the order the splits append them.
  const std::vector<ParamRect> three = {
      {0, 0, 1920, 1080}, {1920, 200, 3200, 1224}, {-1024, -768, 0, 0}};
  EXPECT_EQ(uncoveredRects(three, boundingRect(three)), (std::vector<ParamRect>{
                                                            {0, -768, 1920, 0},
                                                            {0, 1080, 1920, 1224},
                                                            {1920, -768, 3200, 200},
                                                            {-1024, 0, 0, 1224},
                                                        }));
}

TEST(UncoveredRectsTest, BoundsLargerThanTheMonitorsKeepTheirFrame) {
  // Bounds wider than the union on every side: the four frame pieces around one monitor.
  EXPECT_EQ(uncoveredRects({{10, 10, 20, 20}}, {0, 0, 30, 30}), (std::vector<ParamRect>{
                                                                    {0, 0, 10, 30},
                                                                    {20, 0, 30, 30},
                                                                    {10, 0, 20, 10},
                                                                    {10, 20, 20, 30},
                                                                }));
  // A monitor outside the bounds changes nothing.
  EXPECT_EQ(uncoveredRects({{40, 40, 50, 50}}, {0, 0, 30, 30}),
            (std::vector<ParamRect>{{0, 0, 30, 30}}));
}

// Monitors that do not overlap one another, as a real desktop has them.
std::vector<ParamRect> randomMonitors(std::mt19937& random) {
  std::uniform_int_distribution<int> count(1, 6);
  std::uniform_int_distribution<int> position(-120, 120);
  std::uniform_int_distribution<int> extent(1, 60);
  std::vector<ParamRect> monitors;
  const int wanted = count(random);
  for (int attempt = 0; attempt < 200 && static_cast<int>(monitors.size()) < wanted; ++attempt) {
    const int left = position(random);
    const int top = position(random);
    const ParamRect candidate{left, top, left + extent(random), top + extent(random)};
    bool free = true;
    for (const ParamRect& m : monitors) free = free && !overlap(candidate, m);
    if (free) monitors.push_back(candidate);
  }
  return monitors;
}

TEST(UncoveredRectsTest, PiecesAndMonitorsTileTheBoundsForRandomLayouts) {
  for (unsigned layout = 1; layout <= 400; ++layout) {
    SCOPED_TRACE(layout);
    std::mt19937 random(layout);
    const std::vector<ParamRect> monitors = randomMonitors(random);
    const ParamRect bounds = boundingRect(monitors);
    const std::vector<ParamRect> pieces = uncoveredRects(monitors, bounds);

    int64_t covered = 0;
    for (const ParamRect& m : monitors) covered += area(m);
    for (size_t i = 0; i < pieces.size(); ++i) {
      const ParamRect& p = pieces[i];
      ASSERT_GE(p.width(), 1);
      ASSERT_GE(p.height(), 1);
      ASSERT_TRUE(p.left >= bounds.left && p.top >= bounds.top && p.right <= bounds.right &&
                  p.bottom <= bounds.bottom);
      for (size_t j = i + 1; j < pieces.size(); ++j) ASSERT_FALSE(overlap(p, pieces[j])) << j;
      for (const ParamRect& m : monitors) ASSERT_FALSE(overlap(p, m));
      covered += area(p);
    }
    // Disjoint pieces inside the bounds whose areas add up to the bounds' area tile it.
    EXPECT_EQ(covered, area(bounds));
  }
}

}  // namespace
