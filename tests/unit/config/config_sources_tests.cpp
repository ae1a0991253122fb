// Configuration sources on Wine: documents decoded by their byte-order mark or else read through
// the thread's ANSI code page, from files and through WinINet (a local HTTP server that
// url_read_test.sh starts; without it those cases skip), the module directory with its registry
// fallback, and the ANSI conversions.
#include <windows.h>
#include <gtest/gtest.h>
#include <winsock2.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "common/guid_text.h"
#include "common/win_raii.h"
#include "config/config_sources.h"

namespace {

// A class identifier only these tests register.
const CLSID kTestServer = {
    0x6d41c2a7, 0x0b9e, 0x4f53, {0x9a, 0x2c, 0x71, 0xe8, 0x3d, 0x05, 0xb4, 0x96}};

// A document whose declaration names UTF-8 while its bytes are ANSI (e-acute, euro sign in
// code page 1252): the declaration must not change how it reads.
const std::string kAnsiDocument =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<configuration name=\"caf\xe9 \x80\"/>\r\n";

// The same document with each byte-order mark: characters of no ANSI code page, one beyond
// the basic plane (a surrogate pair in UTF-16), must come through. url_read_test.sh serves
// the same bytes.
const std::wstring kMarkedText =
    L"<?xml version=\"1.0\"?>\r\n<configuration name=\"caf\u00e9 \u20ac \u4e2d "
    L"\U0001F600\"/>\r\n";
const std::string kUtf8Document =
    "\xEF\xBB\xBF<?xml version=\"1.0\"?>\r\n<configuration name=\"caf\xC3\xA9 \xE2\x82\xAC "
    "\xE4\xB8\xAD \xF0\x9F\x98\x80\"/>\r\n";

std::string utf16Document(bool littleEndian) {
  std::string bytes = littleEndian ? "\xFF\xFE" : "\xFE\xFF";
  for (wchar_t unit : kMarkedText) {
    const char low = static_cast<char>(unit & 0xFF);
    const char high = static_cast<char>(unit >> 8);
    bytes += littleEndian ? std::string{low, high} : std::string{high, low};
  }
  return bytes;
}

UINT threadCodePage() {
  UINT codePage = 0;
  ::GetLocaleInfoW(::GetThreadLocale(), LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                   reinterpret_cast<LPWSTR>(&codePage), sizeof(codePage) / sizeof(wchar_t));
  return codePage;
}

std::wstring systemConversion(const std::string& bytes) {
  const int length = static_cast<int>(bytes.size());
  std::wstring text(length, L'\0');
  text.resize(::MultiByteToWideChar(CP_THREAD_ACP, 0, bytes.data(), length, text.data(), length));
  return text;
}

std::wstring environment(const wchar_t* name) {
  wchar_t value[1024];
  const DWORD length = ::GetEnvironmentVariableW(name, value, 1024);
  return length > 0 && length < 1024 ? std::wstring(value, length) : std::wstring();
}

class DiskFileTest : public testing::Test {
 protected:
  void SetUp() override {
    wchar_t folder[MAX_PATH];
    ASSERT_GT(::GetTempPathW(MAX_PATH, folder), 0u);
    wchar_t file[MAX_PATH];
    ASSERT_NE(::GetTempFileNameW(folder, L"zcs", 0, file), 0u);
    path_ = file;
  }
  void TearDown() override { ::DeleteFileW(path_.c_str()); }

  void write(const std::string& bytes) {
    UniqueFileHandle file(::CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file);
    DWORD written = 0;
    ASSERT_TRUE(
        ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    ASSERT_EQ(written, bytes.size());
  }

  std::wstring path_;
};

TEST_F(DiskFileTest, ReadsAnsiBytesInTheThreadCodePage) {
  write(kAnsiDocument);
  std::wstring text;
  ASSERT_EQ(readDiskFile(path_, &text), S_OK);
  EXPECT_EQ(text, systemConversion(kAnsiDocument));
  if (threadCodePage() == 1252) {
    EXPECT_NE(text.find(L"caf\u00e9 \u20ac\""), std::wstring::npos);
  }
  EXPECT_EQ(text.size(), kAnsiDocument.size()) << "a single-byte code page keeps the length";
}

TEST_F(DiskFileTest, DecodesByTheByteOrderMarkAndLeavesItOut) {
  const struct {
    const char* name;
    std::string bytes;
  } cases[] = {{"UTF-8", kUtf8Document},
               {"UTF-16LE", utf16Document(true)},
               {"UTF-16BE", utf16Document(false)}};
  for (const auto& marked : cases) {
    SCOPED_TRACE(marked.name);
    write(marked.bytes);
    std::wstring text;
    ASSERT_EQ(readDiskFile(path_, &text), S_OK);
    EXPECT_EQ(text, kMarkedText);
  }

  // A mark alone is an empty document; an odd last byte of UTF-16 is no character.
  for (const char* mark : {"\xEF\xBB\xBF", "\xFF\xFE", "\xFE\xFF"}) {
    write(mark);
    std::wstring text = L"left over";
    EXPECT_EQ(readDiskFile(path_, &text), S_OK);
    EXPECT_EQ(text, L"");
  }
  write(
      std::string("\xFF\xFE"
                  "a\0b",
                  5));
  std::wstring text;
  EXPECT_EQ(readDiskFile(path_, &text), S_OK);
  EXPECT_EQ(text, L"a");
}

TEST_F(DiskFileTest, ReadsAFileThatIsOpenForReading) {
  write(kAnsiDocument);
  UniqueFileHandle reader(::CreateFileW(path_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(reader);
  std::wstring text;
  EXPECT_EQ(readDiskFile(path_, &text), S_OK);
  EXPECT_EQ(text, systemConversion(kAnsiDocument));
}

TEST_F(DiskFileTest, EmptyFileGivesEmptyText) {
  write("");
  std::wstring text = L"left over";
  EXPECT_EQ(readDiskFile(path_, &text), S_OK);
  EXPECT_EQ(text, L"");
}

TEST_F(DiskFileTest, FailsWithoutAReadableFile) {
  std::wstring text = L"left over";
  EXPECT_EQ(readDiskFile(path_ + L".missing", &text), E_FAIL);
  EXPECT_EQ(text, L"");

  // Held open for writing without read sharing.
  write(kAnsiDocument);
  UniqueFileHandle writer(::CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(writer);
  EXPECT_EQ(readDiskFile(path_, &text), E_FAIL);
  writer.reset();

  // A directory is no document.
  const std::wstring folder = path_.substr(0, path_.find_last_of(L'\\'));
  EXPECT_EQ(readDiskFile(folder, &text), E_FAIL);

  EXPECT_EQ(readDiskFile(path_, nullptr), E_POINTER);
}

TEST(UrlReadTest, ReadsDocumentsFromTheLocalServer) {
  // Set by url_read_test.sh, which serves these files; the plain test run has no server.
  const std::wstring base = environment(L"ZELK_TEST_URL_BASE");
  if (base.empty()) GTEST_SKIP() << "ZELK_TEST_URL_BASE is not set (run by url_read_test.sh)";

  std::wstring text;
  ASSERT_EQ(readUrl(base + L"document.xml", &text), S_OK);
  EXPECT_EQ(text, systemConversion(kAnsiDocument));

  // Several reads' worth, every byte value (NUL included) in the script's pattern.
  std::string pattern(10000, '\0');
  for (size_t i = 0; i < pattern.size(); ++i) pattern[i] = static_cast<char>((i * 31 + 7) % 256);
  ASSERT_EQ(readUrl(base + L"large.bin", &text), S_OK);
  EXPECT_EQ(text.size(), pattern.size());
  EXPECT_EQ(text, systemConversion(pattern));

  for (const wchar_t* name : {L"utf8.xml", L"utf16le.xml", L"utf16be.xml"}) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(name)));
    ASSERT_EQ(readUrl(base + name, &text), S_OK);
    EXPECT_EQ(text, kMarkedText);
  }

  ASSERT_EQ(readUrl(base + L"empty.xml", &text), S_OK);
  EXPECT_EQ(text, L"");

  text = L"left over";
  EXPECT_EQ(readUrl(base + L"missing.xml", &text), E_FAIL) << "the server's error page";
  EXPECT_EQ(text, L"");
}

TEST(UrlReadTest, FailsWithinSecondsWhenNobodyListens) {
  // A port bound but not listening refuses connections, and nobody else can take it meanwhile.
  WSADATA data;
  ASSERT_EQ(::WSAStartup(MAKEWORD(2, 2), &data), 0);
  SOCKET holder = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  ASSERT_NE(holder, INVALID_SOCKET);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof(address);
  const bool bound = ::bind(holder, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
                     ::getsockname(holder, reinterpret_cast<sockaddr*>(&address), &length) == 0;

  if (bound) {
    const std::wstring url =
        L"http://127.0.0.1:" + std::to_wstring(ntohs(address.sin_port)) + L"/config.xml";
    std::wstring text = L"left over";
    const auto start = std::chrono::steady_clock::now();
    const HRESULT hr = readUrl(url, &text);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_TRUE(hr == E_UNEXPECTED || hr == E_FAIL) << std::hex << hr;
    EXPECT_EQ(text, L"");
    EXPECT_LT(took, std::chrono::seconds(20));
  }
  ::closesocket(holder);
  ::WSACleanup();
  ASSERT_TRUE(bound);

  std::wstring text;
  EXPECT_EQ(readUrl(L"not an address", &text), E_UNEXPECTED);
  EXPECT_EQ(readUrl(L"http://127.0.0.1:1/", nullptr), E_POINTER);
}

class ModuleDirectoryTest : public testing::Test {
 protected:
  void TearDown() override { ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, classKey().c_str()); }

  static std::wstring classKey() { return L"Software\\Classes\\CLSID\\" + formatGuid(kTestServer); }

  static void registerServer(const std::wstring& path) {
    UniqueRegKey key;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, (classKey() + L"\\InprocServer32").c_str(), 0,
                                nullptr, 0, KEY_WRITE, nullptr, key.put(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(
        ::RegSetValueExW(key.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                         static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t))),
        ERROR_SUCCESS);
  }

  // A handle no module has, so the module's own path cannot be had.
  HMODULE const noModule_ = reinterpret_cast<HMODULE>(1);
};

TEST_F(ModuleDirectoryTest, NamesTheFolderOfTheTestProgram) {
  const std::wstring directory = moduleDirectory(::GetModuleHandleW(nullptr), kTestServer);
  ASSERT_FALSE(directory.empty());
  EXPECT_EQ(directory.back(), L'\\');
  EXPECT_EQ(directory.find(L'\\'), 2u) << "a drive path: " << testing::PrintToString(directory);
  EXPECT_NE(::GetFileAttributesW((directory + L"config_tests.exe").c_str()),
            INVALID_FILE_ATTRIBUTES);
}

TEST_F(ModuleDirectoryTest, FallsBackToTheRegisteredServerPath) {
  EXPECT_EQ(moduleDirectory(noModule_, kTestServer), L"") << "nothing registered yet";

  registerServer(L"C:\\Program Files\\Zelk Test\\Zelkgrab.ax");
  EXPECT_EQ(moduleDirectory(noModule_, kTestServer), L"C:\\Program Files\\Zelk Test\\");

  registerServer(L"Zelkgrab.ax");
  EXPECT_EQ(moduleDirectory(noModule_, kTestServer), L"") << "a bare file name has no folder";

  registerServer(L"");
  EXPECT_EQ(moduleDirectory(noModule_, kTestServer), L"");
}

TEST(AnsiConversionTest, RoundTripsThroughTheThreadCodePage) {
  EXPECT_EQ(wideToAnsi(L""), "");
  EXPECT_EQ(ansiToWide(""), L"");
  const std::wstring ascii = L"<configuration><params fps=\"25\"/></configuration>";
  EXPECT_EQ(wideToAnsi(ascii), std::string(ascii.begin(), ascii.end()));
  EXPECT_EQ(ansiToWide(wideToAnsi(ascii)), ascii);

  EXPECT_EQ(ansiToWide(kAnsiDocument), systemConversion(kAnsiDocument));
  EXPECT_EQ(wideToAnsi(ansiToWide(kAnsiDocument)), kAnsiDocument);
  if (threadCodePage() == 1252) {
    EXPECT_EQ(wideToAnsi(L"caf\u00e9 \u20ac"), "caf\xe9 \x80");
    EXPECT_EQ(wideToAnsi(L"\u4e2d"), "?") << "a character the code page lacks";
  }
}

}  // namespace
