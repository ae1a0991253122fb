// The panel's command line: its parameters and the start mode the first known word chooses.
#include <gtest/gtest.h>

#include "panel/command_line.h"

namespace {

StartMode modeOf(const wchar_t* arguments) {
  return chooseStartMode(parseCommandLine((std::wstring(L"Zelkpanel.exe ") + arguments).c_str()));
}

TEST(CommandLineTest, ParametersKeepTheirTextWithoutTheFlagPrefix) {
  const auto parameters =
      parseCommandLine(L"\"C:\\a b\\Zelkpanel.exe\" /RegServer -x \"two words\"");
  ASSERT_EQ(parameters.size(), 3u);
  EXPECT_EQ(parameters[0].text, L"RegServer");
  EXPECT_TRUE(parameters[0].flag);
  EXPECT_FALSE(parameters[0].last);
  EXPECT_EQ(parameters[1].text, L"x");
  EXPECT_EQ(parameters[2].text, L"two words");
  EXPECT_FALSE(parameters[2].flag);
  EXPECT_TRUE(parameters[2].last);
  EXPECT_TRUE(parseCommandLine(L"Zelkpanel.exe").empty());
}

TEST(CommandLineTest, TheFirstKnownWordDecidesExactlyAndCaseSensitively) {
  EXPECT_EQ(modeOf(L""), StartMode::Interactive);
  EXPECT_EQ(modeOf(L"/RegServer"), StartMode::Register);
  EXPECT_EQ(modeOf(L"-RegServer"), StartMode::Register);
  EXPECT_EQ(modeOf(L"RegServer"), StartMode::Register);
  EXPECT_EQ(modeOf(L"/UnregServer"), StartMode::Unregister);
  EXPECT_EQ(modeOf(L"regserver"), StartMode::Interactive);
  EXPECT_EQ(modeOf(L"/RegServer2"), StartMode::Interactive);
  EXPECT_EQ(modeOf(L"//RegServer"), StartMode::Interactive) << "one prefix character only";
  EXPECT_EQ(modeOf(L"foo Embedding"), StartMode::Server);
  EXPECT_EQ(modeOf(L"-Automation"), StartMode::Server);
  EXPECT_EQ(modeOf(L"Embedding RegServer"), StartMode::Server);
  EXPECT_EQ(modeOf(L"UnregServer RegServer"), StartMode::Unregister);
}

}  // namespace
