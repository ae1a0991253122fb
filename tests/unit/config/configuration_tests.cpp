// The configuration chain on Wine's real registry and files: built-in values, the file beside
// the module and its redirects, the registry copy, and what one filter instance leaves the next.
#include <windows.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "capture/capture_filter.h"
#include "capture/capture_pin.h"
#include "capture/screen_info.h"
#include "common/module_proc.h"
#include "common/registry_key.h"
#include "common/win_raii.h"
#include "config/config_sources.h"
#include "config/configuration.h"
#include "config/packed_text.h"
#include "config/parameter_set.h"
#include "config/built_in_settings.h"

using Microsoft::WRL::ComPtr;

namespace {

std::wstring workingDirectory() {
  wchar_t path[MAX_PATH];
  ::GetCurrentDirectoryW(MAX_PATH, path);
  return std::wstring(path) + L"\\";
}

void writeFile(const std::wstring& path, const std::string& content) {
  std::ofstream file(path.c_str(), std::ios::binary | std::ios::trunc);
  file << content;
}

class ConfigurationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(apartment_.result()));
    besideModule_ = moduleDirectory(currentModule(), CLSID_Zelkgrab) + L"zelkgrabset.xml";
    second_ = workingDirectory() + L"zelk_second.xml";
    clean();
    CaptureParams screen;
    ASSERT_EQ(readScreenInfo(&screen), S_OK);
    desktop_ = screen.rect;
  }
  void TearDown() override { clean(); }

  void clean() {
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, Configuration::keyPath());
    ::RegDeleteTreeW(HKEY_CURRENT_USER, Configuration::keyPath());
    ::DeleteFileW(besideModule_.c_str());
    ::DeleteFileW(second_.c_str());
  }

  CaptureParams load() {
    Configuration configuration(currentModule(), CLSID_Zelkgrab);
    CaptureParams params;
    configuration.load(params, desktop_);
    return params;
  }

  // What a pin starts from with nothing on disk and nothing in the registry.
  CaptureParams baseline() {
    CaptureParams params = load();
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, Configuration::keyPath());
    return params;
  }

  ComApartment apartment_{COINIT_APARTMENTTHREADED};
  std::wstring besideModule_;
  std::wstring second_;
  ParamRect desktop_;
};

TEST_F(ConfigurationTest, NothingSavedGivesTheBuiltInValuesCentredAndSavesThem) {
  const CaptureParams params = load();
  EXPECT_EQ(params.sampletime, 400000);
  EXPECT_EQ(params.rect.width(), 800);
  EXPECT_EQ(params.rect.height(), 600);
  EXPECT_EQ(params.rect.left, desktop_.left + (desktop_.width() - 800) / 2);
  EXPECT_EQ(params.rect.top, desktop_.top + (desktop_.height() - 600) / 2);
  EXPECT_EQ(params.area.left, params.rect.left);
  EXPECT_EQ(params.frameSize.cx, 800);

  // The registry copy: typed values and the packed document.
  RegistryKey key(HKEY_LOCAL_MACHINE, Configuration::keyPath());
  DWORD flags = 0;
  ASSERT_EQ(key.ReadDword(L"flags", &flags, 0), S_OK);
  EXPECT_EQ(flags, params.flags);
  RECT rect = {};
  ASSERT_EQ(key.ReadRect(L"rect", &rect), S_OK);
  EXPECT_EQ(rect.left, params.rect.left);
  std::wstring packed;
  ASSERT_EQ(key.ReadString(L"params", &packed, L""), S_OK);
  ASSERT_FALSE(packed.empty());
  EXPECT_EQ(packed.find_first_not_of(L"0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                     L"abcdefghijklmnopqrstuvwxyz()"),
            std::wstring::npos);
  std::wstring document;
  ASSERT_EQ(buildDocument(params, &document), S_OK);
  EXPECT_EQ(ansiToWide(unpackText(packed)), document);
}

TEST_F(ConfigurationTest, FileBesideTheModuleChangesOnlyWhatItCarries) {
  CaptureParams expected = baseline();
  writeFile(besideModule_,
            "<configuration><params><flags trackwnd=\"1\"/></params></configuration>");
  const CaptureParams params = load();
  expected.set(CaptureFlag::TrackWnd, true);
  EXPECT_TRUE(params == expected);
}

TEST_F(ConfigurationTest, RelativeThenDiskFileRedirectAppliesBothInOrder) {
  const std::string secondPath = wideToAnsi(second_);
  writeFile(besideModule_, "<configuration>\t<redirect type=\"diskfile\" file=\"" + secondPath +
                               "\"/><params><output cx=\"500\" cy=\"400\"/></params>"
                               "</configuration>");
  writeFile(second_, "<configuration><params><output cx=\"700\"/></params></configuration>");
  const CaptureParams params = load();
  EXPECT_EQ(params.output.cx, 700);
  EXPECT_EQ(params.output.cy, 400);
}

TEST_F(ConfigurationTest, FilesWithAByteOrderMarkAreApplied) {
  // As editors save them: UTF-16 with its name in the declaration, UTF-8 with a mark.
  const std::wstring text =
      L"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n<configuration><params event=\"31\"/>"
      L"</configuration>\r\n";
  std::string utf16le = "\xFF\xFE";
  for (wchar_t unit : text) utf16le += std::string{static_cast<char>(unit), '\0'};
  writeFile(besideModule_, utf16le);
  EXPECT_EQ(load().event, 31);

  writeFile(besideModule_,
            "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<configuration>"
            "<redirect type=\"diskfile\" file=\"" +
                wideToAnsi(second_) + "\"/><params event=\"32\"/></configuration>");
  std::string utf16be = "\xFE\xFF";
  for (char c :
       std::string("<configuration><params><output cx=\"640\"/></params></configuration>")) {
    utf16be += std::string{'\0', c};
  }
  writeFile(second_, utf16be);
  const CaptureParams params = load();
  EXPECT_EQ(params.event, 32);
  EXPECT_EQ(params.output.cx, 640) << "the redirect's target";
}

TEST_F(ConfigurationTest, UnknownRedirectTypeEndsTheChainKeepingWhatWasApplied) {
  writeFile(besideModule_,
            "<configuration><redirect type=\"RELATIVE\" file=\"x.xml\"/>"
            "<params event=\"77\"/></configuration>");
  Configuration configuration(currentModule(), CLSID_Zelkgrab);
  CaptureParams params = initialCaptureParams();
  EXPECT_EQ(configuration.followRedirects(params, builtInDocument(), 0), E_NOTIMPL);
  EXPECT_EQ(params.event, 77);
  EXPECT_EQ(load().event, 77);
}

TEST_F(ConfigurationTest, SelfRedirectingFileEndsAtTheBound) {
  writeFile(besideModule_,
            "<configuration><redirect type=\"relative\" file=\"zelkgrabset.xml\"/>"
            "<params event=\"5\"/></configuration>");
  Configuration configuration(currentModule(), CLSID_Zelkgrab);
  CaptureParams params = initialCaptureParams();
  EXPECT_EQ(configuration.followRedirects(params, builtInDocument(), 0),
            Configuration::kRedirectLoop);
  EXPECT_EQ(params.event, 5);
  EXPECT_EQ(load().event, 5) << "a pin still starts";
}

TEST_F(ConfigurationTest, TwoFilesRedirectingToEachOtherEndAtTheBound) {
  const std::string second(second_.begin(), second_.end());
  writeFile(besideModule_, "<configuration><redirect type=\"diskfile\" file=\"" + second +
                               "\"/><params event=\"11\"/></configuration>");
  writeFile(second_,
            "<configuration><redirect type=\"relative\" file=\"zelkgrabset.xml\"/>"
            "<params event=\"12\"/></configuration>");
  Configuration configuration(currentModule(), CLSID_Zelkgrab);
  CaptureParams params = initialCaptureParams();
  EXPECT_EQ(configuration.followRedirects(params, builtInDocument(), 0),
            Configuration::kRedirectLoop);
  // The files take turns up to the bound: the last one applied is the second.
  static_assert(Configuration::kMaxRedirects % 2 == 0);
  EXPECT_EQ(params.event, 12);
  EXPECT_EQ(load().event, 12) << "a pin still starts";
}

TEST_F(ConfigurationTest, MissingRedirectTargetEndsTheChain) {
  writeFile(besideModule_,
            "<configuration><redirect type=\"diskfile\" file=\"c:\\no\\such.xml\"/>"
            "<params event=\"9\"/></configuration>");
  Configuration configuration(currentModule(), CLSID_Zelkgrab);
  CaptureParams params = initialCaptureParams();
  EXPECT_EQ(configuration.followRedirects(params, builtInDocument(), 0), E_FAIL);
  EXPECT_EQ(params.event, 9);
}

TEST_F(ConfigurationTest, RegistryCopyIsRestoredButNeverLimitInst) {
  CaptureParams saved = baseline();
  saved.output = {123, 45};
  saved.set(CaptureFlag::LimitInst, true);
  {
    Configuration configuration(currentModule(), CLSID_Zelkgrab);
    ASSERT_EQ(configuration.save(saved), S_OK);
  }
  const CaptureParams params = load();
  EXPECT_EQ(params.output.cx, 123);
  EXPECT_EQ(params.output.cy, 45);
  EXPECT_FALSE(params.has(CaptureFlag::LimitInst));

  // A file beside the module may switch it on again.
  writeFile(besideModule_,
            "<configuration><params><flags limitinst=\"1\"/></params>"
            "</configuration>");
  EXPECT_TRUE(load().has(CaptureFlag::LimitInst));
}

TEST_F(ConfigurationTest, GarbageInTheRegistryCopyChangesNothing) {
  const CaptureParams expected = baseline();
  {
    RegistryKey key(HKEY_LOCAL_MACHINE, Configuration::keyPath());
    ASSERT_EQ(key.WriteString(L"params", L"Zz()#!?not-a-document"), S_OK);
  }
  EXPECT_TRUE(load() == expected);
}

// Run by url_read_test.sh, which serves config.xml on 127.0.0.1 and names the address.
class UrlReadConfigurationTest : public ConfigurationTest {};

TEST_F(UrlReadConfigurationTest, RedirectToAUrlAppliesTheServedDocument) {
  const char* base = std::getenv("ZELK_TEST_URL_BASE");
  if (!base) GTEST_SKIP() << "needs the local HTTP server of url_read_test.sh";
  writeFile(besideModule_, std::string("<configuration><redirect type=\"url\" file=\"") + base +
                               "config.xml\"/><params event=\"1\"/></configuration>");
  EXPECT_EQ(load().event, 4242);
}

class FilterConfigurationTest : public ConfigurationTest {
 protected:
  ComPtr<CaptureFilter> makeFilter() {
    HRESULT hr = S_OK;
    ComPtr<CaptureFilter> filter = static_cast<CaptureFilter*>(CaptureFilter::create(nullptr, &hr));
    EXPECT_EQ(hr, S_OK);
    return filter;
  }
};

TEST_F(FilterConfigurationTest, EverySetIsSavedAndTheNextInstanceStartsFromIt) {
  ComPtr<CaptureFilter> first = makeFilter();
  ASSERT_EQ(first->settings().SetParam(L"params\\flags\\trackscr", 1), S_OK);
  RegistryKey key(HKEY_LOCAL_MACHINE, Configuration::keyPath());
  DWORD flags = 0;
  ASSERT_EQ(key.ReadDword(L"flags", &flags, 0), S_OK);
  EXPECT_NE(flags & static_cast<DWORD>(CaptureFlag::TrackScr), 0u);
  EXPECT_EQ(first->settings().SetParam(L"params\\nothing", 1), S_FALSE);

  // Not saved by a set: what the destructor saves is what the next one gets.
  first->settings().change([](CaptureParams& params) { params.output = {512, 384}; });
  first.Reset();
  ComPtr<CaptureFilter> second = makeFilter();
  const CaptureParams params = second->pin()->Params();
  EXPECT_EQ(params.output.cx, 512);
  EXPECT_TRUE(params.has(CaptureFlag::TrackScr));
}

TEST_F(FilterConfigurationTest, WholeDocumentsGoInAndOutOfThePin) {
  ComPtr<CaptureFilter> filter = makeFilter();
  CapturePin* pin = filter->pin();
  std::wstring document;
  ASSERT_EQ(filter->settings().GetDocument(&document), S_OK);
  ASSERT_EQ(filter->settings().PutDocument(L"<configuration><params><output cx=\"333\"/></params>"
                                           L"</configuration>"),
            S_OK);
  int32_t cx = 0;
  ASSERT_EQ(filter->settings().GetParam(L"params\\output\\cx", &cx), S_OK);
  EXPECT_EQ(cx, 333);

  CaptureParams before = {};
  before.size = sizeof(before);
  ASSERT_EQ(pin->CopyParams(&before), S_OK);
  EXPECT_TRUE(
      FAILED(filter->settings().PutDocument(document.substr(0, document.size() / 2).c_str())));
  CaptureParams after = {};
  after.size = sizeof(after);
  ASSERT_EQ(pin->CopyParams(&after), S_OK);
  EXPECT_TRUE(after == before) << "a truncated document must not half-apply";
  CaptureParams wrongSize = {};
  EXPECT_EQ(pin->CopyParams(&wrongSize), E_INVALIDARG);

  ASSERT_EQ(filter->settings().PutDocument(document.c_str()), S_OK);
  ASSERT_EQ(filter->settings().GetParam(L"params\\output\\cx", &cx), S_OK);
  EXPECT_EQ(cx, 320);
}

}  // namespace
