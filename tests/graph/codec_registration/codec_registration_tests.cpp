// What registering the codec modules leaves in the system, seen as applications see it: the
// system device enumerator lists "Zelkenc" among the video compressors, the filter mapper
// finds Zelkdec for a "ZLKC" stream, both filters and the encoder's property page (with its
// dialog from the encoder module) can be created by class id, and after unregistration all of
// it is gone. The modules' own DllRegisterServer and DllUnregisterServer are called, as
// regsvr32 would; each test ends unregistered.
#include <windows.h>
#include <dshow.h>
#include <oleauto.h>
#include <olectl.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <string>

#include "codec/zlkc_media_type.h"
#include "common/guid_text.h"
#include "common/module_proc.h"
#include "common/win_raii.h"
#include "decoder/zelkdec_ids.h"
#include "encoder/zelkenc_ids.h"

using Microsoft::WRL::ComPtr;

namespace {

using EntryPoint = HRESULT(STDAPICALLTYPE*)();

// A filter module loaded from beside this program, with its registration entry points.
class FilterModule {
 public:
  explicit FilterModule(const wchar_t* fileName) {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring directory(path, length);
    directory.resize(directory.find_last_of(L'\\') + 1);
    module_.reset(::LoadLibraryW((directory + fileName).c_str()));
  }

  bool loaded() const { return static_cast<bool>(module_); }
  HRESULT registerServer() { return call("DllRegisterServer"); }
  HRESULT unregisterServer() { return call("DllUnregisterServer"); }

 private:
  HRESULT call(const char* name) {
    auto entry = moduleProc<EntryPoint>(module_.get(), name);
    return entry ? entry() : HRESULT_FROM_WIN32(::GetLastError());
  }

  UniqueModule module_;
};

std::wstring readBagString(IMoniker* moniker, const wchar_t* name) {
  ComPtr<IPropertyBag> properties;
  if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, &properties))) return {};
  VARIANT value;
  ::VariantInit(&value);
  std::wstring text;
  if (SUCCEEDED(properties->Read(name, &value, nullptr)) && value.vt == VT_BSTR) {
    text = value.bstrVal;
  }
  ::VariantClear(&value);
  return text;
}

// How many entries of the video compressor category are called "Zelkenc".
int listedCompressors() {
  ComPtr<ICreateDevEnum> devices;
  EXPECT_EQ(::CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                               IID_ICreateDevEnum, &devices),
            S_OK);
  if (!devices) return -1;
  ComPtr<IEnumMoniker> monikers;
  const HRESULT hr = devices->CreateClassEnumerator(CLSID_VideoCompressorCategory, &monikers, 0);
  EXPECT_TRUE(SUCCEEDED(hr)) << std::hex << hr;
  if (hr != S_OK) return 0;  // S_FALSE: the category is empty
  int count = 0;
  ComPtr<IMoniker> moniker;
  while (monikers->Next(1, moniker.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
    if (readBagString(moniker.Get(), L"FriendlyName") == L"Zelkenc") ++count;
  }
  return count;
}

// How many filters the mapper offers for a "ZLKC" input that are the decoder.
int decodersForCompressedStream() {
  ComPtr<IFilterMapper2> mapper;
  EXPECT_EQ(::CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER,
                               IID_IFilterMapper2, &mapper),
            S_OK);
  if (!mapper) return -1;
  const GUID input[] = {MEDIATYPE_Video, MEDIASUBTYPE_ZLKC};
  ComPtr<IEnumMoniker> monikers;
  const HRESULT hr =
      mapper->EnumMatchingFilters(&monikers, 0, TRUE, MERIT_DO_NOT_USE + 1, TRUE, 1, input, nullptr,
                                  nullptr, FALSE, FALSE, 0, nullptr, nullptr, nullptr);
  EXPECT_EQ(hr, S_OK);
  if (!monikers) return 0;
  const std::wstring decoder = formatGuid(CLSID_Zelkdec);
  int count = 0;
  ComPtr<IMoniker> moniker;
  while (monikers->Next(1, moniker.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
    if (::lstrcmpiW(readBagString(moniker.Get(), L"CLSID").c_str(), decoder.c_str()) == 0) {
      ++count;
    }
  }
  return count;
}

// A string value below HKEY_CLASSES_ROOT; "<missing>" when there is none.
std::wstring classesString(const std::wstring& path, const wchar_t* name) {
  wchar_t text[1024] = {};
  DWORD bytes = sizeof(text);
  const LSTATUS status =
      ::RegGetValueW(HKEY_CLASSES_ROOT, path.c_str(), name, RRF_RT_REG_SZ, nullptr, text, &bytes);
  return status == ERROR_SUCCESS ? std::wstring(text) : L"<missing>";
}

bool endsWith(const std::wstring& text, const std::wstring& suffix) {
  return text.size() > suffix.size() &&
         ::lstrcmpiW(text.substr(text.size() - suffix.size()).c_str(), suffix.c_str()) == 0;
}

std::string narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

void expectInprocServer(const CLSID& clsid, const wchar_t* moduleName) {
  const std::wstring key = L"CLSID\\" + formatGuid(clsid) + L"\\InprocServer32";
  const std::wstring server = classesString(key, nullptr);
  EXPECT_TRUE(endsWith(server, std::wstring(L"\\") + moduleName)) << narrow(server);
  EXPECT_EQ(classesString(key, L"ThreadingModel"), L"Both");
}

// The names of the created filter's pins, in order.
std::wstring pinNames(const CLSID& clsid) {
  ComPtr<IBaseFilter> filter;
  HRESULT hr = ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, &filter);
  EXPECT_EQ(hr, S_OK);
  if (!filter) return {};
  ComPtr<IEnumPins> pins;
  if (FAILED(filter->EnumPins(&pins))) return {};
  std::wstring names;
  ComPtr<IPin> pin;
  while (pins->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
    PIN_INFO info = {};
    if (FAILED(pin->QueryPinInfo(&info))) continue;
    names += std::wstring(info.achName) + L";";
    info.pFilter->Release();
  }
  return names;
}

// The title of the property page `clsid` creates; empty when it cannot be made.
std::wstring pageTitle(const CLSID& clsid) {
  ComPtr<IPropertyPage> page;
  HRESULT hr = ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IPropertyPage,
                                  reinterpret_cast<void**>(page.GetAddressOf()));
  EXPECT_EQ(hr, S_OK);
  if (!page) return {};
  PROPPAGEINFO info = {};
  if (FAILED(page->GetPageInfo(&info))) return {};
  std::wstring title = info.pszTitle ? info.pszTitle : L"";
  ::CoTaskMemFree(info.pszTitle);
  return title;
}

class CodecRegistration : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(apartment_.result()));
    ASSERT_TRUE(encoder_.loaded());
    ASSERT_TRUE(decoder_.loaded());
  }

  void TearDown() override {
    EXPECT_EQ(encoder_.unregisterServer(), S_OK);
    EXPECT_EQ(decoder_.unregisterServer(), S_OK);
    // Creating the encoder made its settings key.
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\MorvainLabs\\Zelkenc");
  }

  ComApartment apartment_{COINIT_APARTMENTTHREADED};
  FilterModule encoder_{L"Zelkenc.ax"};
  FilterModule decoder_{L"Zelkdec.ax"};
};

TEST_F(CodecRegistration, UnregisteringModulesThatWereNeverRegisteredSucceeds) {
  EXPECT_EQ(encoder_.unregisterServer(), S_OK);
  EXPECT_EQ(decoder_.unregisterServer(), S_OK);
  EXPECT_EQ(listedCompressors(), 0);
  EXPECT_EQ(decodersForCompressedStream(), 0);
}

TEST_F(CodecRegistration, RegisteredFiltersAreFoundAndCreatedThenGoneAfterRemoval) {
  // Twice, as installers do: still one entry each.
  for (int round = 0; round < 2; ++round) {
    ASSERT_EQ(encoder_.registerServer(), S_OK);
    ASSERT_EQ(decoder_.registerServer(), S_OK);
  }
  EXPECT_EQ(listedCompressors(), 1);
  EXPECT_EQ(decodersForCompressedStream(), 1);
  expectInprocServer(CLSID_Zelkenc, L"Zelkenc.ax");
  expectInprocServer(CLSID_Zelkdec, L"Zelkdec.ax");
  EXPECT_EQ(pinNames(CLSID_Zelkenc), L"Input;Output;");
  EXPECT_EQ(pinNames(CLSID_Zelkdec), L"XForm In;XForm Out;");
  expectInprocServer(CLSID_ZelkencProp, L"Zelkenc.ax");
  EXPECT_EQ(pageTitle(CLSID_ZelkencProp), L"Zelkenc properties") << "from the module's resources";

  ASSERT_EQ(encoder_.unregisterServer(), S_OK);
  ASSERT_EQ(decoder_.unregisterServer(), S_OK);
  EXPECT_EQ(listedCompressors(), 0);
  EXPECT_EQ(decodersForCompressedStream(), 0);
  for (const CLSID* clsid : {&CLSID_Zelkenc, &CLSID_Zelkdec, &CLSID_ZelkencProp}) {
    EXPECT_EQ(classesString(L"CLSID\\" + formatGuid(*clsid), nullptr), L"<missing>");
    ComPtr<IBaseFilter> filter;
    EXPECT_EQ(::CoCreateInstance(*clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, &filter),
              REGDB_E_CLASSNOTREG);
  }
}

}  // namespace
