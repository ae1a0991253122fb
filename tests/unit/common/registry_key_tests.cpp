// The registry key object on Wine's real registry: value names that reach into subkeys, how each
// type is stored, what reads answer for missing or foreign values, composite shapes, and the
// results of a key that never opened.
#include <windows.h>
#include <gtest/gtest.h>
#include <oleauto.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/registry_key.h"
#include "common/win_raii.h"

namespace {

constexpr wchar_t kTestsPath[] = L"Software\\ZelkTests";

// Gives one test its own key and removes it with everything below, however the test ends.
class TestKey {
 public:
  TestKey(HKEY root, const std::wstring& name)
      : root_(root), path_(std::wstring(kTestsPath) + L"\\" + name) {
    ::RegDeleteTreeW(root_, path_.c_str());
  }
  ~TestKey() {
    ::RegDeleteTreeW(root_, path_.c_str());
    // Fails while other tests still have keys there, which is as it should be.
    ::RegDeleteKeyW(root_, kTestsPath);
  }
  TestKey(const TestKey&) = delete;
  TestKey& operator=(const TestKey&) = delete;

  HKEY root() const { return root_; }
  const wchar_t* path() const { return path_.c_str(); }
  std::wstring below(const wchar_t* subkey) const { return path_ + L"\\" + subkey; }

 private:
  HKEY root_;
  std::wstring path_;
};

struct RawValue {
  bool exists = false;
  DWORD type = REG_NONE;
  std::vector<BYTE> data;

  std::wstring text() const {
    std::wstring result(reinterpret_cast<const wchar_t*>(data.data()),
                        data.size() / sizeof(wchar_t));
    return result.substr(0, result.find(L'\0'));
  }
};

// The value as the registry holds it, bypassing the object under test.
RawValue rawValue(HKEY root, const std::wstring& path, const wchar_t* name) {
  RawValue value;
  DWORD bytes = 0;
  const DWORD flags = RRF_RT_ANY | RRF_NOEXPAND;
  if (::RegGetValueW(root, path.c_str(), name, flags, &value.type, nullptr, &bytes) !=
      ERROR_SUCCESS) {
    return value;
  }
  value.data.resize(bytes);
  value.exists = ::RegGetValueW(root, path.c_str(), name, flags, &value.type, value.data.data(),
                                &bytes) == ERROR_SUCCESS;
  value.data.resize(bytes);
  return value;
}

void setRaw(const RegistryKey& key, const wchar_t* name, DWORD type, const void* data,
            DWORD bytes) {
  ASSERT_EQ(::RegSetValueExW(key.handle(), name, 0, type, static_cast<const BYTE*>(data), bytes),
            ERROR_SUCCESS);
}

bool keyExists(HKEY root, const std::wstring& path) {
  UniqueRegKey key;
  return ::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

std::wstring currentTestName() {
  const char* name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
  return std::wstring(name, name + std::char_traits<char>::length(name));
}

// Each test works in its own key below the current user's tests key.
class RegistryKeyTest : public ::testing::Test {
 protected:
  RegistryKeyTest() : test_(HKEY_CURRENT_USER, currentTestName()), key_(root(), path(), &opened_) {}

  HKEY root() const { return test_.root(); }
  const wchar_t* path() const { return test_.path(); }

  TestKey test_;
  HRESULT opened_ = E_UNEXPECTED;
  RegistryKey key_;
};

TEST_F(RegistryKeyTest, OpensAndCreatesItsKey) {
  EXPECT_EQ(opened_, S_OK);
  EXPECT_TRUE(key_.IsOpen());
  EXPECT_NE(key_.handle(), nullptr);
  EXPECT_TRUE(keyExists(root(), path()));

  // An existing key opens the same way, and the result is optional.
  RegistryKey again(root(), path());
  EXPECT_TRUE(again.IsOpen());
}

TEST_F(RegistryKeyTest, ValueNamesReachIntoSubkeys) {
  ASSERT_EQ(key_.WriteString(L"a\\b", L"x"), S_OK);
  EXPECT_FALSE(rawValue(root(), path(), L"a\\b").exists);
  RawValue stored = rawValue(root(), test_.below(L"a"), L"b");
  ASSERT_TRUE(stored.exists);
  EXPECT_EQ(stored.type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(stored.text(), L"x");
  std::wstring text;
  EXPECT_EQ(key_.ReadString(L"a\\b", &text, L"default"), S_OK);
  EXPECT_EQ(text, L"x");

  // Only the last backslash separates the value name.
  ASSERT_EQ(key_.WriteDword(L"a\\c\\d", 7), S_OK);
  EXPECT_TRUE(rawValue(root(), test_.below(L"a\\c"), L"d").exists);
  DWORD number = 0;
  EXPECT_EQ(key_.ReadDword(L"a\\c\\d", &number, 0), S_OK);
  EXPECT_EQ(number, 7u);

  // Nothing after the backslash: the subkey's default value.
  ASSERT_EQ(key_.WriteString(L"CLSID\\", L"{class}"), S_OK);
  EXPECT_EQ(rawValue(root(), test_.below(L"CLSID"), nullptr).text(), L"{class}");
  EXPECT_EQ(key_.ReadString(L"CLSID\\", &text, L""), S_OK);
  EXPECT_EQ(text, L"{class}");

  // A subkey name the registry refuses.
  const std::wstring tooLong = std::wstring(300, L'k') + L"\\v";
  EXPECT_EQ(key_.WriteDword(tooLong.c_str(), 1), E_FAIL);
  number = 5;
  EXPECT_EQ(key_.ReadDword(tooLong.c_str(), &number, 9), E_FAIL);
  EXPECT_EQ(number, 9u);
}

TEST_F(RegistryKeyTest, StringsAreStoredWithTheirZeroAndCutAtTheFirstOne) {
  ASSERT_EQ(key_.WriteString(L"s", L"hello"), S_OK);
  RawValue stored = rawValue(root(), path(), L"s");
  EXPECT_EQ(stored.type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(stored.data.size(), 6 * sizeof(wchar_t));
  std::wstring text;
  EXPECT_EQ(key_.ReadString(L"s", &text, L"default"), S_OK);
  EXPECT_EQ(text, L"hello");

  ASSERT_EQ(key_.WriteString(L"empty", L""), S_OK);
  EXPECT_EQ(key_.ReadString(L"empty", &text, L"default"), S_OK);
  EXPECT_EQ(text, L"");

  const wchar_t embedded[] = L"ab\0cd";
  setRaw(key_, L"embedded", REG_SZ, embedded, sizeof(embedded));
  EXPECT_EQ(key_.ReadString(L"embedded", &text, L""), S_OK);
  EXPECT_EQ(text, L"ab");

  // Stored without its zero, and with an odd byte count.
  setRaw(key_, L"unterminated", REG_SZ, L"abc", 3 * sizeof(wchar_t));
  EXPECT_EQ(key_.ReadString(L"unterminated", &text, L""), S_OK);
  EXPECT_EQ(text, L"abc");
  setRaw(key_, L"odd", REG_SZ, L"abc", 5);
  EXPECT_EQ(key_.ReadString(L"odd", &text, L""), S_OK);
  EXPECT_EQ(text.substr(0, 2), L"ab");
}

TEST_F(RegistryKeyTest, StringReadsGiveTheDefaultForMissingOrOtherValues) {
  std::wstring text = L"before";
  EXPECT_EQ(key_.ReadString(L"missing", &text, L"default"), S_FALSE);
  EXPECT_EQ(text, L"default");
  EXPECT_EQ(key_.ReadString(L"missing", &text, nullptr), S_FALSE);
  EXPECT_EQ(text, L"");

  setRaw(key_, L"expand", REG_EXPAND_SZ, L"%PATH%", sizeof(L"%PATH%"));
  EXPECT_EQ(key_.ReadString(L"expand", &text, L"default"), S_FALSE);
  EXPECT_EQ(text, L"default");
  ASSERT_EQ(key_.WriteDword(L"number", 1), S_OK);
  EXPECT_EQ(key_.ReadString(L"number", &text, L"default"), S_FALSE);
  EXPECT_EQ(text, L"default");
}

TEST_F(RegistryKeyTest, BstrReadsGiveNewStrings) {
  ASSERT_EQ(key_.WriteString(L"s", L"hello"), S_OK);
  UniqueBstr text;
  EXPECT_EQ(key_.ReadBstr(L"s", text.put(), L"default"), S_OK);
  ASSERT_NE(text.get(), nullptr);
  EXPECT_EQ(::SysStringLen(text.get()), 5u);
  EXPECT_STREQ(text.get(), L"hello");

  EXPECT_EQ(key_.ReadBstr(L"missing", text.put(), L"default"), S_FALSE);
  EXPECT_STREQ(text.get(), L"default");
  EXPECT_EQ(key_.ReadBstr(L"missing", text.put(), nullptr), S_FALSE);
  ASSERT_NE(text.get(), nullptr);
  EXPECT_EQ(::SysStringLen(text.get()), 0u);
}

TEST_F(RegistryKeyTest, FloatsAreTextWithSinglePrecision) {
  ASSERT_EQ(key_.WriteFloat(L"f", 1.5f), S_OK);
  wchar_t stored[64] = {};
  DWORD bytes = sizeof(stored);
  ASSERT_EQ(::RegGetValueW(root(), path(), L"f", RRF_RT_REG_SZ, nullptr, stored, &bytes),
            ERROR_SUCCESS);
  EXPECT_STREQ(stored, L"1.500000");
  float single = 0;
  EXPECT_EQ(key_.ReadFloat(L"f", &single, 9.0f), S_OK);
  EXPECT_EQ(single, 1.5f);
  double number = 0;
  EXPECT_EQ(key_.ReadDouble(L"f", &number, 9.0), S_OK);
  EXPECT_EQ(number, 1.5);

  // A double passes through single precision and six decimals.
  ASSERT_EQ(key_.WriteDouble(L"d", -2.25), S_OK);
  EXPECT_EQ(rawValue(root(), path(), L"d").text(), L"-2.250000");
  ASSERT_EQ(key_.WriteDouble(L"third", 1.0 / 3.0), S_OK);
  EXPECT_EQ(rawValue(root(), path(), L"third").text(), L"0.333333");
  EXPECT_EQ(key_.ReadDouble(L"third", &number, 0), S_OK);
  EXPECT_DOUBLE_EQ(number, 0.333333);

  EXPECT_EQ(key_.ReadFloat(L"missing", &single, 9.0f), S_FALSE);
  EXPECT_EQ(single, 9.0f);
  ASSERT_EQ(key_.WriteDword(L"number", 3), S_OK);
  EXPECT_EQ(key_.ReadDouble(L"number", &number, 4.0), S_FALSE);
  EXPECT_EQ(number, 4.0);
}

TEST_F(RegistryKeyTest, Dwords) {
  ASSERT_EQ(key_.WriteDword(L"d", 0x12345678), S_OK);
  RawValue stored = rawValue(root(), path(), L"d");
  EXPECT_EQ(stored.type, static_cast<DWORD>(REG_DWORD));
  ASSERT_EQ(stored.data.size(), 4u);
  DWORD value = 0;
  EXPECT_EQ(key_.ReadDword(L"d", &value, 0), S_OK);
  EXPECT_EQ(value, 0x12345678u);

  ASSERT_EQ(key_.WriteInt32(L"negative", -5), S_OK);
  EXPECT_EQ(*reinterpret_cast<const DWORD*>(rawValue(root(), path(), L"negative").data.data()),
            0xFFFFFFFBu);
  int32_t signedValue = 0;
  EXPECT_EQ(key_.ReadInt32(L"negative", &signedValue, 0), S_OK);
  EXPECT_EQ(signedValue, -5);
  ASSERT_EQ(key_.WriteUInt32(L"unsigned", 0xFFFFFFFFu), S_OK);
  uint32_t unsignedValue = 0;
  EXPECT_EQ(key_.ReadUInt32(L"unsigned", &unsignedValue, 0), S_OK);
  EXPECT_EQ(unsignedValue, 0xFFFFFFFFu);
}

TEST_F(RegistryKeyTest, DwordReadsTakeOnlyFourByteDwords) {
  const DWORD four = 4;
  setRaw(key_, L"binary", REG_BINARY, &four, sizeof(four));
  DWORD value = 1;
  EXPECT_EQ(key_.ReadDword(L"binary", &value, 77), S_FALSE);
  EXPECT_EQ(value, 77u);

  const uint64_t eight = 8;
  setRaw(key_, L"long", REG_DWORD, &eight, sizeof(eight));
  EXPECT_EQ(key_.ReadDword(L"long", &value, 78), S_FALSE);
  EXPECT_EQ(value, 78u);
  setRaw(key_, L"short", REG_DWORD, &four, 2);
  EXPECT_EQ(key_.ReadDword(L"short", &value, 79), S_FALSE);
  EXPECT_EQ(value, 79u);

  int32_t signedValue = 0;
  EXPECT_EQ(key_.ReadInt32(L"missing", &signedValue, -80), S_FALSE);
  EXPECT_EQ(signedValue, -80);
  ASSERT_EQ(key_.WriteString(L"text", L"12"), S_OK);
  EXPECT_EQ(key_.ReadDword(L"text", &value, 81), S_FALSE);
  EXPECT_EQ(value, 81u);
}

TEST_F(RegistryKeyTest, SixtyFourBitValues) {
  const int64_t big = -0x123456789ALL;
  ASSERT_EQ(key_.Write64(L"q", big), S_OK);
  RawValue stored = rawValue(root(), path(), L"q");
  EXPECT_EQ(stored.type, static_cast<DWORD>(REG_QWORD));
  ASSERT_EQ(stored.data.size(), 8u);
  EXPECT_EQ(*reinterpret_cast<const int64_t*>(stored.data.data()), big);
  int64_t value = 0;
  EXPECT_EQ(key_.Read64(L"q", &value, 0), S_OK);
  EXPECT_EQ(value, big);

  ASSERT_EQ(key_.Write64Value(L"halves", 0x89ABCDEF, 0x01234567), S_OK);
  uint64_t bits = 0;
  EXPECT_EQ(key_.Read64Value(L"halves", &bits, 0), S_OK);
  EXPECT_EQ(bits, 0x0123456789ABCDEFull);

  EXPECT_EQ(key_.Read64(L"missing", &value, -3), S_FALSE);
  EXPECT_EQ(value, -3);
  ASSERT_EQ(key_.WriteDword(L"dword", 5), S_OK);
  EXPECT_EQ(key_.Read64Value(L"dword", &bits, 6), S_FALSE);
  EXPECT_EQ(bits, 6u);
  setRaw(key_, L"short", REG_QWORD, &bits, 4);
  EXPECT_EQ(key_.Read64Value(L"short", &bits, 7), S_FALSE);
  EXPECT_EQ(bits, 7u);
}

TEST_F(RegistryKeyTest, PointsSizesAndRectangles) {
  ASSERT_EQ(key_.WritePoint(L"p", POINT{-3, 4}), S_OK);
  ASSERT_EQ(key_.WriteSize(L"s", SIZE{640, 480}), S_OK);
  ASSERT_EQ(key_.WriteRect(L"r", RECT{1, 2, 3, 4}), S_OK);
  for (const wchar_t* name :
       {L"pX", L"pY", L"sCX", L"sCY", L"rLeft", L"rTop", L"rRight", L"rBottom"}) {
    EXPECT_EQ(rawValue(root(), path(), name).type, static_cast<DWORD>(REG_DWORD)) << name;
  }

  POINT point = {};
  EXPECT_EQ(key_.ReadPoint(L"p", &point), S_OK);
  EXPECT_EQ(point.x, -3);
  EXPECT_EQ(point.y, 4);
  SIZE size = {};
  EXPECT_EQ(key_.ReadSize(L"s", &size), S_OK);
  EXPECT_EQ(size.cx, 640);
  EXPECT_EQ(size.cy, 480);
  RECT rect = {};
  EXPECT_EQ(key_.ReadRect(L"r", &rect), S_OK);
  EXPECT_EQ(rect.left, 1);
  EXPECT_EQ(rect.top, 2);
  EXPECT_EQ(rect.right, 3);
  EXPECT_EQ(rect.bottom, 4);

  // Composite names may reach into subkeys like any other.
  ASSERT_EQ(key_.WritePoint(L"sub\\p", POINT{5, 6}), S_OK);
  EXPECT_TRUE(rawValue(root(), test_.below(L"sub"), L"pY").exists);
}

TEST_F(RegistryKeyTest, CompositeReadsStopAtTheFirstMissingPart) {
  ASSERT_EQ(key_.WriteRect(L"r", RECT{10, 20, 30, 40}), S_OK);
  ASSERT_EQ(key_.DeleteValue(L"rTop"), S_OK);
  RECT rect = {-1, -1, -1, -1};
  EXPECT_EQ(key_.ReadRect(L"r", &rect), S_FALSE);
  EXPECT_EQ(rect.left, 10);
  EXPECT_EQ(rect.top, 0);
  EXPECT_EQ(rect.right, -1);
  EXPECT_EQ(rect.bottom, -1);

  POINT point = {-1, -1};
  EXPECT_EQ(key_.ReadPoint(L"none", &point), S_FALSE);
  EXPECT_EQ(point.x, 0);
  EXPECT_EQ(point.y, -1);
}

TEST_F(RegistryKeyTest, WindowPlacements) {
  WINDOWPLACEMENT written = {};
  written.length = sizeof(written);
  written.flags = WPF_SETMINPOSITION;
  written.showCmd = SW_SHOWMAXIMIZED;
  written.ptMinPosition = POINT{-32000, -32000};
  written.ptMaxPosition = POINT{-4, -4};
  written.rcNormalPosition = RECT{100, 200, 900, 800};
  ASSERT_EQ(key_.WritePlacement(L"Main", written), S_OK);
  for (const wchar_t* name : {L"MainFlags", L"MainNormalPosLeft", L"MainNormalPosTop",
                              L"MainNormalPosRight", L"MainNormalPosBottom", L"MainShowCmd",
                              L"MainMaxPosX", L"MainMaxPosY", L"MainMinPosX", L"MainMinPosY"}) {
    EXPECT_TRUE(rawValue(root(), path(), name).exists) << name;
  }
  EXPECT_FALSE(rawValue(root(), path(), L"MainLength").exists);

  WINDOWPLACEMENT read = {};
  EXPECT_EQ(key_.ReadPlacement(L"Main", &read), S_OK);
  EXPECT_EQ(read.length, sizeof(WINDOWPLACEMENT));
  EXPECT_EQ(read.flags, written.flags);
  EXPECT_EQ(read.showCmd, written.showCmd);
  EXPECT_EQ(read.ptMinPosition.x, -32000);
  EXPECT_EQ(read.ptMinPosition.y, -32000);
  EXPECT_EQ(read.ptMaxPosition.x, -4);
  EXPECT_EQ(read.ptMaxPosition.y, -4);
  EXPECT_TRUE(::EqualRect(&read.rcNormalPosition, &written.rcNormalPosition));

  // A missing MaxPos ends the read there; MinPos stays as the caller had it.
  ASSERT_EQ(key_.DeleteValue(L"MainMaxPosX"), S_OK);
  read.ptMinPosition = POINT{7, 7};
  EXPECT_EQ(key_.ReadPlacement(L"Main", &read), S_FALSE);
  EXPECT_EQ(read.ptMaxPosition.x, 0);
  EXPECT_EQ(read.ptMinPosition.x, 7);
}

TEST_F(RegistryKeyTest, DeleteValue) {
  ASSERT_EQ(key_.WriteDword(L"d", 1), S_OK);
  ASSERT_EQ(key_.WriteString(L"sub\\s", L"x"), S_OK);
  EXPECT_EQ(key_.DeleteValue(L"d"), S_OK);
  EXPECT_FALSE(rawValue(root(), path(), L"d").exists);
  EXPECT_EQ(key_.DeleteValue(L"sub\\s"), S_OK);
  EXPECT_FALSE(rawValue(root(), test_.below(L"sub"), L"s").exists);
  DWORD value = 0;
  EXPECT_EQ(key_.ReadDword(L"d", &value, 2), S_FALSE);
  EXPECT_EQ(key_.DeleteValue(L"d"), E_FAIL);
}

TEST_F(RegistryKeyTest, ChildKeys) {
  HRESULT hr = E_UNEXPECTED;
  RegistryKey child(key_, L"child\\grandchild", &hr);
  EXPECT_EQ(hr, S_OK);
  ASSERT_TRUE(child.IsOpen());
  EXPECT_NE(child.handle(), key_.handle());
  ASSERT_EQ(child.WriteDword(L"d", 3), S_OK);
  EXPECT_TRUE(rawValue(root(), test_.below(L"child\\grandchild"), L"d").exists);
  DWORD value = 0;
  EXPECT_EQ(key_.ReadDword(L"child\\grandchild\\d", &value, 0), S_OK);
  EXPECT_EQ(value, 3u);
}

TEST_F(RegistryKeyTest, MovesHandTheKeyOver) {
  RegistryKey moved(std::move(key_));
  EXPECT_FALSE(key_.IsOpen());
  EXPECT_EQ(key_.WriteDword(L"d", 1), E_UNEXPECTED);
  ASSERT_TRUE(moved.IsOpen());
  EXPECT_EQ(moved.WriteDword(L"d", 1), S_OK);

  RegistryKey other(root(), test_.below(L"other").c_str());
  other = std::move(moved);
  EXPECT_FALSE(moved.IsOpen());
  DWORD value = 0;
  EXPECT_EQ(other.ReadDword(L"d", &value, 0), S_OK);
  EXPECT_EQ(value, 1u);
}

TEST(RegistryKeyMachineTest, WorksBelowTheLocalMachine) {
  TestKey test(HKEY_LOCAL_MACHINE, L"Machine");
  HRESULT hr = E_UNEXPECTED;
  RegistryKey key(HKEY_LOCAL_MACHINE, test.path(), &hr);
  ASSERT_EQ(hr, S_OK);
  ASSERT_EQ(key.WriteString(L"params", L"packed"), S_OK);
  std::wstring text;
  EXPECT_EQ(key.ReadString(L"params", &text, L""), S_OK);
  EXPECT_EQ(text, L"packed");
}

TEST(RegistryKeyClosedTest, EveryOperationAnswersUnexpected) {
  for (HKEY root : {static_cast<HKEY>(nullptr), reinterpret_cast<HKEY>(0x12345)}) {
    HRESULT hr = S_OK;
    RegistryKey key(root, L"Software\\ZelkTests\\Closed", &hr);
    EXPECT_EQ(hr, E_FAIL);
    EXPECT_FALSE(key.IsOpen());
    EXPECT_EQ(key.handle(), nullptr);
    RegistryKey child(key, L"child", &hr);
    EXPECT_EQ(hr, E_FAIL);
    EXPECT_FALSE(child.IsOpen());

    EXPECT_EQ(key.WritePlacement(L"w", WINDOWPLACEMENT{}), E_UNEXPECTED);
    EXPECT_EQ(key.WriteSize(L"s", SIZE{}), E_UNEXPECTED);
    EXPECT_EQ(key.WritePoint(L"p", POINT{}), E_UNEXPECTED);
    EXPECT_EQ(key.WriteRect(L"r", RECT{}), E_UNEXPECTED);
    EXPECT_EQ(key.WriteDouble(L"v", 1.0), E_UNEXPECTED);
    EXPECT_EQ(key.WriteFloat(L"v", 1.0f), E_UNEXPECTED);
    EXPECT_EQ(key.Write64(L"v", 1), E_UNEXPECTED);
    EXPECT_EQ(key.Write64Value(L"v", 1, 2), E_UNEXPECTED);
    EXPECT_EQ(key.WriteInt32(L"v", 1), E_UNEXPECTED);
    EXPECT_EQ(key.WriteUInt32(L"v", 1), E_UNEXPECTED);
    EXPECT_EQ(key.WriteDword(L"v", 1), E_UNEXPECTED);
    EXPECT_EQ(key.WriteString(L"v", L"x"), E_UNEXPECTED);
    EXPECT_EQ(key.WriteString(L"sub\\v", L"x"), E_UNEXPECTED);

    WINDOWPLACEMENT placement = {};
    EXPECT_EQ(key.ReadPlacement(L"w", &placement), E_UNEXPECTED);
    SIZE size = {};
    EXPECT_EQ(key.ReadSize(L"s", &size), E_UNEXPECTED);
    POINT point = {};
    EXPECT_EQ(key.ReadPoint(L"p", &point), E_UNEXPECTED);
    RECT rect = {};
    EXPECT_EQ(key.ReadRect(L"r", &rect), E_UNEXPECTED);

    // Defaults still arrive, for callers that do not look at the result.
    double number = 0;
    EXPECT_EQ(key.ReadDouble(L"v", &number, 2.5), E_UNEXPECTED);
    EXPECT_EQ(number, 2.5);
    float single = 0;
    EXPECT_EQ(key.ReadFloat(L"v", &single, 3.5f), E_UNEXPECTED);
    EXPECT_EQ(single, 3.5f);
    int64_t big = 0;
    EXPECT_EQ(key.Read64(L"v", &big, -4), E_UNEXPECTED);
    EXPECT_EQ(big, -4);
    uint64_t bits = 0;
    EXPECT_EQ(key.Read64Value(L"v", &bits, 5), E_UNEXPECTED);
    EXPECT_EQ(bits, 5u);
    int32_t signedValue = 0;
    EXPECT_EQ(key.ReadInt32(L"v", &signedValue, -6), E_UNEXPECTED);
    EXPECT_EQ(signedValue, -6);
    uint32_t unsignedValue = 0;
    EXPECT_EQ(key.ReadUInt32(L"v", &unsignedValue, 7), E_UNEXPECTED);
    EXPECT_EQ(unsignedValue, 7u);
    DWORD dword = 0;
    EXPECT_EQ(key.ReadDword(L"v", &dword, 8), E_UNEXPECTED);
    EXPECT_EQ(dword, 8u);
    UniqueBstr bstr;
    EXPECT_EQ(key.ReadBstr(L"v", bstr.put(), L"nine"), E_UNEXPECTED);
    EXPECT_STREQ(bstr.get(), L"nine");
    std::wstring text;
    EXPECT_EQ(key.ReadString(L"v", &text, L"ten"), E_UNEXPECTED);
    EXPECT_EQ(text, L"ten");
    EXPECT_EQ(key.DeleteValue(L"v"), E_UNEXPECTED);
  }
}

TEST_F(RegistryKeyTest, MissingArgumentsAreRefusedWithoutTouchingAnything) {
  const WINDOWPLACEMENT placement = {};
  EXPECT_EQ(key_.WritePlacement(nullptr, placement), E_POINTER);
  EXPECT_EQ(key_.WriteSize(nullptr, SIZE{}), E_POINTER);
  EXPECT_EQ(key_.WritePoint(nullptr, POINT{}), E_POINTER);
  EXPECT_EQ(key_.WriteRect(nullptr, RECT{}), E_POINTER);
  EXPECT_EQ(key_.WriteDouble(nullptr, 1.0), E_POINTER);
  EXPECT_EQ(key_.WriteFloat(nullptr, 1.0f), E_POINTER);
  EXPECT_EQ(key_.Write64(nullptr, 1), E_POINTER);
  EXPECT_EQ(key_.Write64Value(nullptr, 1, 2), E_POINTER);
  EXPECT_EQ(key_.WriteInt32(nullptr, 1), E_POINTER);
  EXPECT_EQ(key_.WriteUInt32(nullptr, 1), E_POINTER);
  EXPECT_EQ(key_.WriteDword(nullptr, 1), E_POINTER);
  EXPECT_EQ(key_.WriteString(nullptr, L"x"), E_POINTER);
  EXPECT_EQ(key_.WriteString(L"v", nullptr), E_POINTER);
  EXPECT_EQ(key_.DeleteValue(nullptr), E_POINTER);

  EXPECT_EQ(key_.ReadPlacement(L"w", nullptr), E_POINTER);
  EXPECT_EQ(key_.ReadSize(L"s", nullptr), E_POINTER);
  EXPECT_EQ(key_.ReadPoint(L"p", nullptr), E_POINTER);
  EXPECT_EQ(key_.ReadRect(L"r", nullptr), E_POINTER);
  EXPECT_EQ(key_.ReadDouble(L"v", nullptr, 0), E_POINTER);
  EXPECT_EQ(key_.ReadFloat(L"v", nullptr, 0), E_POINTER);
  EXPECT_EQ(key_.Read64(L"v", nullptr, 0), E_POINTER);
  EXPECT_EQ(key_.Read64Value(L"v", nullptr, 0), E_POINTER);
  EXPECT_EQ(key_.ReadInt32(L"v", nullptr, 0), E_POINTER);
  EXPECT_EQ(key_.ReadUInt32(L"v", nullptr, 0), E_POINTER);
  EXPECT_EQ(key_.ReadDword(L"v", nullptr, 0), E_POINTER);
  EXPECT_EQ(key_.ReadBstr(L"v", nullptr, L""), E_POINTER);
  EXPECT_EQ(key_.ReadString(L"v", nullptr, L""), E_POINTER);

  WINDOWPLACEMENT readPlacement = {};
  EXPECT_EQ(key_.ReadPlacement(nullptr, &readPlacement), E_POINTER);
  EXPECT_EQ(readPlacement.length, 0u);
  RECT rect = {1, 1, 1, 1};
  EXPECT_EQ(key_.ReadRect(nullptr, &rect), E_POINTER);
  EXPECT_EQ(rect.left, 1);
  SIZE size = {1, 1};
  EXPECT_EQ(key_.ReadSize(nullptr, &size), E_POINTER);
  EXPECT_EQ(size.cx, 1);
  POINT point = {1, 1};
  EXPECT_EQ(key_.ReadPoint(nullptr, &point), E_POINTER);
  EXPECT_EQ(point.x, 1);
  double number = 1;
  EXPECT_EQ(key_.ReadDouble(nullptr, &number, 2), E_POINTER);
  EXPECT_EQ(number, 1);
  float single = 1;
  EXPECT_EQ(key_.ReadFloat(nullptr, &single, 2), E_POINTER);
  EXPECT_EQ(single, 1);
  int64_t big = 1;
  EXPECT_EQ(key_.Read64(nullptr, &big, 2), E_POINTER);
  EXPECT_EQ(big, 1);
  uint64_t bits = 1;
  EXPECT_EQ(key_.Read64Value(nullptr, &bits, 2), E_POINTER);
  EXPECT_EQ(bits, 1u);
  int32_t signedValue = 1;
  EXPECT_EQ(key_.ReadInt32(nullptr, &signedValue, 2), E_POINTER);
  EXPECT_EQ(signedValue, 1);
  uint32_t unsignedValue = 1;
  EXPECT_EQ(key_.ReadUInt32(nullptr, &unsignedValue, 2), E_POINTER);
  EXPECT_EQ(unsignedValue, 1u);
  DWORD dword = 1;
  EXPECT_EQ(key_.ReadDword(nullptr, &dword, 2), E_POINTER);
  EXPECT_EQ(dword, 1u);
  std::wstring text = L"kept";
  EXPECT_EQ(key_.ReadString(nullptr, &text, L"default"), E_POINTER);
  EXPECT_EQ(text, L"kept");
  BSTR bstr = reinterpret_cast<BSTR>(1);
  EXPECT_EQ(key_.ReadBstr(nullptr, &bstr, L"default"), E_POINTER);
  EXPECT_EQ(bstr, nullptr);

  // Nothing was written along the way.
  DWORD values = 1;
  ASSERT_EQ(::RegQueryInfoKeyW(key_.handle(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                               &values, nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(values, 0u);
}

}  // namespace
