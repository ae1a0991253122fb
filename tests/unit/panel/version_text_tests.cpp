// The version text: read from a module's own version resource and tidied.
#include <windows.h>

#include <gtest/gtest.h>

#include "panel/version_text.h"

namespace {

TEST(VersionTextTest, ReadsTheFileVersionOfTheModulesTranslation) {
  // This program's resource is German (0x0407): only the translation it names finds it.
  EXPECT_EQ(readVersionText(::GetModuleHandleW(nullptr)), L"2.1.3.0");
}

TEST(VersionTextTest, AModuleWithoutVersionGivesNoText) {
  HMODULE noVersion = ::LoadLibraryExW(L"Zelkcrash.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(noVersion, nullptr);
  EXPECT_EQ(readVersionText(noVersion), L"");
  ::FreeLibrary(noVersion);
}

TEST(VersionTextTest, CommasBecomeDotsAndBlanksGo) {
  EXPECT_EQ(tidyVersionText(L"2, 1, 3, 0"), L"2.1.3.0");
  EXPECT_EQ(tidyVersionText(L" 1 ,0,,9 beta"), L"1.0..9beta");
  EXPECT_EQ(tidyVersionText(L""), L"");
}

}  // namespace
