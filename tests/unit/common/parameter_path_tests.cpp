// Parameter-path splitting and step parsing, checked natively.
#include <gtest/gtest.h>

#include <climits>

#include "common/parameter_path.h"

namespace {

using Components = std::vector<std::wstring>;

TEST(ParameterPathTest, CutsAtEveryBackslash) {
  EXPECT_EQ(splitParameterPath(L"params\\rect\\left"), (Components{L"params", L"rect", L"left"}));
  EXPECT_EQ(splitParameterPath(L"single"), (Components{L"single"}));
  EXPECT_EQ(splitParameterPath(L"item 1\\v"), (Components{L"item 1", L"v"}));
}

TEST(ParameterPathTest, KeepsEmptyComponents) {
  EXPECT_EQ(splitParameterPath(L"a\\\\b"), (Components{L"a", L"", L"b"}));
  EXPECT_EQ(splitParameterPath(L"a\\"), (Components{L"a", L""}));
  EXPECT_EQ(splitParameterPath(L"\\a"), (Components{L"", L"a"}));
  EXPECT_EQ(splitParameterPath(L"\\"), (Components{L"", L""}));
  EXPECT_EQ(splitParameterPath(L"\\\\\\"), (Components{L"", L"", L"", L""}));
}

TEST(ParameterPathTest, NullOrEmptyPathHasNoComponents) {
  EXPECT_TRUE(splitParameterPath(nullptr).empty());
  EXPECT_TRUE(splitParameterPath(L"").empty());
}

TEST(ParameterPathTest, PlainComponentIsANameWithoutIndex) {
  const PathStep step = parsePathStep(L"redirect");
  EXPECT_EQ(step.name, L"redirect");
  EXPECT_FALSE(step.indexed);
  EXPECT_FALSE(parsePathStep(L"").indexed);
  EXPECT_EQ(parsePathStep(L"").name, L"");
}

TEST(ParameterPathTest, NumberAfterTheFirstSpaceIsTheIndex) {
  struct Case {
    const wchar_t* component;
    const wchar_t* name;
    long index;
    bool indexed;
  } cases[] = {
      {L"item 2", L"item", 2, true},
      {L"item 0", L"item", 0, true},
      {L"item  3", L"item", 3, true},   // blanks before the number are skipped
      {L"item \t7", L"item", 7, true},  // any blank
      {L"item +4", L"item", 4, true},
      {L"item 5x", L"item", 5, true},  // digits up to the first non-digit
      {L"item x", L"item", 0, true},   // no digits read as 0
      {L"item ", L"item", 0, true},
      {L"a b c", L"a", 0, true},
      {L"a 1 2", L"a", 1, true},
      {L"item -1", L"item", -1, false},  // negative: the first of that name
      {L"item -0", L"item", 0, true},
      {L" 3", L"", 3, true},
  };
  for (const Case& c : cases) {
    const PathStep step = parsePathStep(c.component);
    EXPECT_EQ(step.name, c.name) << c.component;
    EXPECT_EQ(step.index, c.index) << c.component;
    EXPECT_EQ(step.indexed, c.indexed) << c.component;
  }
}

TEST(ParameterPathTest, OddInputStaysDefined) {
  // Out-of-range numbers saturate rather than overflow.
  const PathStep huge = parsePathStep(L"item 99999999999999999999999999");
  EXPECT_EQ(huge.index, LONG_MAX);
  EXPECT_TRUE(huge.indexed);
  const PathStep tiny = parsePathStep(L"item -99999999999999999999999999");
  EXPECT_EQ(tiny.index, LONG_MIN);
  EXPECT_FALSE(tiny.indexed);

  // An embedded NUL ends the number's text.
  std::wstring withNul = L"item 1";
  withNul += L'\0';
  withNul += L"5";
  const PathStep nul = parsePathStep(withNul);
  EXPECT_EQ(nul.name, L"item");
  EXPECT_EQ(nul.index, 1);

  std::wstring longPath;
  for (int i = 0; i < 1000; ++i) longPath += L"\\x 1";
  const Components components = splitParameterPath(longPath.c_str());
  ASSERT_EQ(components.size(), 1001u);
  EXPECT_EQ(components.front(), L"");
  EXPECT_EQ(parsePathStep(components.back()).index, 1);
}

}  // namespace
