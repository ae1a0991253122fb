// GUID text in the registry's form, checked natively (the Wine tests compare it with the
// system's own formatting).
#include <gtest/gtest.h>

#include "common/guid_text.h"

namespace {

TEST(GuidTextTest, FormatsEveryFieldInUpperCaseHex) {
  const GUID capture = {
      0xCA120208, 0x830C, 0x41EC, {0xA5, 0xF0, 0x69, 0xC2, 0x1F, 0x0E, 0x88, 0xCA}};
  EXPECT_EQ(formatGuid(capture), L"{CA120208-830C-41EC-A5F0-69C21F0E88CA}");
}

TEST(GuidTextTest, KeepsLeadingZeros) {
  const GUID small = {0x1, 0x2, 0x3, {0, 1, 2, 3, 4, 5, 6, 7}};
  EXPECT_EQ(formatGuid(small), L"{00000001-0002-0003-0001-020304050607}");
}

}  // namespace
