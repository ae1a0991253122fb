// Class registration keys on Wine's real registry, and the GUID text they are named by.
#include <windows.h>
#include <gtest/gtest.h>
#include <objbase.h>

#include "common/com_registration.h"
#include "common/guid_text.h"
#include "common/win_raii.h"

namespace {

// A class identifier only these tests use.
const CLSID kTestClass = {
    0x3b0e1f5c, 0x62d4, 0x4a9b, {0x8e, 0x11, 0x5d, 0x27, 0xc4, 0x90, 0x1a, 0x6f}};

std::wstring readString(HKEY root, const std::wstring& path, const wchar_t* name) {
  wchar_t buffer[512] = {};
  DWORD size = sizeof(buffer);
  if (::RegGetValueW(root, path.c_str(), name, RRF_RT_REG_SZ, nullptr, buffer, &size) !=
      ERROR_SUCCESS) {
    return L"<missing>";
  }
  return buffer;
}

bool keyExists(HKEY root, const std::wstring& path) {
  UniqueRegKey key;
  return ::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

TEST(GuidTextTest, MatchesTheSystemFormatting) {
  for (int i = 0; i < 16; ++i) {
    GUID guid;
    ASSERT_EQ(::CoCreateGuid(&guid), S_OK);
    wchar_t expected[40];
    ASSERT_EQ(::StringFromGUID2(guid, expected, 40), 39);
    EXPECT_EQ(formatGuid(guid), expected);
  }
}

TEST(ComRegistrationTest, WritesAndRemovesTheServerKeys) {
  const std::wstring classKey = L"CLSID\\" + formatGuid(kTestClass);
  ASSERT_EQ(registerInprocServer(kTestClass, L"Test class", L"C:\\modules\\test.dll", L"Both"),
            S_OK);
  EXPECT_EQ(readString(HKEY_CLASSES_ROOT, classKey, nullptr), L"Test class");
  EXPECT_EQ(readString(HKEY_CLASSES_ROOT, classKey + L"\\InprocServer32", nullptr),
            L"C:\\modules\\test.dll");
  EXPECT_EQ(readString(HKEY_CLASSES_ROOT, classKey + L"\\InprocServer32", L"ThreadingModel"),
            L"Both");

  ASSERT_EQ(unregisterClass(kTestClass), S_OK);
  EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, classKey));
  EXPECT_EQ(unregisterClass(kTestClass), S_OK);
}

TEST(ComRegistrationTest, RefusesIncompleteArgumentsWithoutWriting) {
  EXPECT_EQ(registerInprocServer(kTestClass, L"Test class", L"", L"Both"), E_INVALIDARG);
  EXPECT_EQ(registerInprocServer(kTestClass, nullptr, L"C:\\x.dll", L"Both"), E_INVALIDARG);
  EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, L"CLSID\\" + formatGuid(kTestClass)));
}

TEST(ComRegistrationTest, ModulePathNamesThisProgram) {
  std::wstring path = modulePath(nullptr);
  ASSERT_GT(path.size(), 4u);
  EXPECT_EQ(path.substr(path.size() - 4), L".exe");
  EXPECT_NE(::GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
