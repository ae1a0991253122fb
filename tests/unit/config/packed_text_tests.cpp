// The packed text of the registry copy, checked natively: the worked examples, round trips of
// every short length, the alphabet, and how unpacking treats foreign and leftover characters.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "config/packed_text.h"

namespace {

std::string randomBytes(std::mt19937& random, std::size_t length) {
  std::uniform_int_distribution<int> byte(0, 255);
  std::string bytes(length, '\0');
  for (char& b : bytes) b = static_cast<char>(byte(random));
  return bytes;
}

TEST(PackedTextTest, PacksTheWorkedExamples) {
  EXPECT_EQ(packBytes("abc"), L"XYZL");
  EXPECT_EQ(packBytes("ab"), L"XY5");
  EXPECT_EQ(packBytes("a"), L"X1");
  EXPECT_EQ(packBytes(""), L"");
  EXPECT_EQ(unpackText(L"XYZL"), "abc");
  EXPECT_EQ(unpackText(L"XY5"), "ab");
  EXPECT_EQ(unpackText(L"X1"), "a");
  EXPECT_EQ(unpackText(L""), "");
}

TEST(PackedTextTest, TopBitsGoToTheFourthCharacter) {
  // 0xFF 0x00 0x80: low bits 63, 0, 0; top bits 3, 0, 2 give 3 | 0 << 2 | 2 << 4 = 35.
  EXPECT_EQ(packBytes(std::string("\xFF\x00\x80", 3)), L")00Z");
  EXPECT_EQ(unpackText(L")00Z"), std::string("\xFF\x00\x80", 3));
}

TEST(PackedTextTest, RoundTripsEveryLengthUpTo300) {
  std::mt19937 random(20240611);
  for (std::size_t length = 0; length <= 300; ++length) {
    const std::string bytes = randomBytes(random, length);
    const std::wstring text = packBytes(bytes);
    const std::size_t expected = 4 * (length / 3) + (length % 3 == 0 ? 0 : length % 3 + 1);
    ASSERT_EQ(text.size(), expected) << "length " << length;
    for (wchar_t c : text) {
      ASSERT_GE(packed_text::valueOf(c), 0) << "length " << length << ", character " << int(c);
    }
    ASSERT_EQ(unpackText(text), bytes) << "length " << length;
  }
}

TEST(PackedTextTest, AlphabetValuesFollowItsOrder) {
  for (int value = 0; value < 64; ++value) {
    EXPECT_EQ(packed_text::valueOf(packed_text::kAlphabet[value]), value);
  }
  for (wchar_t c : std::wstring(L" +/=-_\r\n\t\u00e9\u20ac"))
    EXPECT_EQ(packed_text::valueOf(c), -1);
  EXPECT_EQ(packed_text::valueOf(L'\0'), -1);
}

TEST(PackedTextTest, SkipsCharactersOutsideTheAlphabet) {
  EXPECT_EQ(unpackText(L"X Y\r\nZ-L"), "abc");
  EXPECT_EQ(unpackText(L"=X+Y/5\u00e9"), "ab");
  EXPECT_EQ(unpackText(L"+-*/ \t"), "");
}

TEST(PackedTextTest, DropsASingleLeftoverValue) {
  EXPECT_EQ(unpackText(L"X"), "");
  EXPECT_EQ(unpackText(L"XYZLX"), "abc");
  EXPECT_EQ(unpackText(L"XYZL X ."), "abc");
}

}  // namespace
