// What a registration of Zelkgrab.ax leaves behind, seen as applications see it: the system
// device enumerator's video capture sources, creation by class id, the class and ProgID keys
// and the type library. `RegisteredModule` cases run after regsvr32, `UnregisteredModule`
// cases before it and after regsvr32 /u.
#include <windows.h>
#include <dshow.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <string>

#include "common/guid_text.h"
#include "common/win_raii.h"
#include "zelkgrab.h"

using Microsoft::WRL::ComPtr;

namespace {

const std::wstring kClassKey = L"CLSID\\" + formatGuid(CLSID_Zelkgrab);

// The friendly names of the video capture sources the system device enumerator lists that
// are called "Zelkgrab".
int listedZelkgrabSources() {
  ComPtr<ICreateDevEnum> devices;
  EXPECT_EQ(::CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                               IID_PPV_ARGS(&devices)),
            S_OK);
  if (!devices) return -1;
  ComPtr<IEnumMoniker> monikers;
  const HRESULT hr = devices->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &monikers, 0);
  EXPECT_TRUE(SUCCEEDED(hr)) << std::hex << hr;
  // S_FALSE: the category is empty and there is no enumerator.
  if (hr != S_OK) return 0;
  int count = 0;
  ComPtr<IMoniker> moniker;
  while (monikers->Next(1, moniker.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
    ComPtr<IPropertyBag> properties;
    if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_PPV_ARGS(&properties)))) continue;
    VARIANT name;
    ::VariantInit(&name);
    if (SUCCEEDED(properties->Read(L"FriendlyName", &name, nullptr)) && name.vt == VT_BSTR &&
        std::wstring(name.bstrVal) == L"Zelkgrab") {
      ++count;
    }
    ::VariantClear(&name);
  }
  return count;
}

bool keyExists(const std::wstring& path) {
  UniqueRegKey key;
  return ::RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

// A string value below HKEY_CLASSES_ROOT (null name: the default value); "<missing>" when
// there is none.
std::wstring classesString(const std::wstring& path, const wchar_t* name) {
  wchar_t text[1024] = {};
  DWORD bytes = sizeof(text);
  const LSTATUS status =
      ::RegGetValueW(HKEY_CLASSES_ROOT, path.c_str(), name, RRF_RT_REG_SZ, nullptr, text, &bytes);
  return status == ERROR_SUCCESS ? std::wstring(text) : L"<missing>";
}

std::string narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

class RegistrationTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(SUCCEEDED(apartment_.result())); }

  ComApartment apartment_{COINIT_APARTMENTTHREADED};
};

using RegisteredModule = RegistrationTest;
using UnregisteredModule = RegistrationTest;

TEST_F(RegisteredModule, IsListedOnceAmongVideoCaptureSources) {
  EXPECT_EQ(listedZelkgrabSources(), 1);
}

TEST_F(RegisteredModule, CreatesTheFilterByClassIdWithACapturePin) {
  ComPtr<IBaseFilter> filter;
  ASSERT_EQ(
      ::CoCreateInstance(CLSID_Zelkgrab, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&filter)),
      S_OK);
  CLSID clsid = {};
  ASSERT_EQ(filter->GetClassID(&clsid), S_OK);
  EXPECT_EQ(clsid, CLSID_Zelkgrab);

  ComPtr<IEnumPins> pins;
  ASSERT_EQ(filter->EnumPins(&pins), S_OK);
  ComPtr<IPin> pin;
  ASSERT_EQ(pins->Next(1, &pin, nullptr), S_OK);
  ComPtr<IKsPropertySet> properties;
  ASSERT_EQ(pin.As(&properties), S_OK);
  GUID category = GUID_NULL;
  DWORD returned = 0;
  ASSERT_EQ(properties->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category,
                            sizeof(category), &returned),
            S_OK);
  EXPECT_EQ(returned, sizeof(category));
  EXPECT_EQ(category, PIN_CATEGORY_CAPTURE);
}

TEST_F(RegisteredModule, WritesTheClassAndProgIdKeys) {
  const std::wstring classId = formatGuid(CLSID_Zelkgrab);
  EXPECT_EQ(classesString(kClassKey, nullptr), L"Zelkgrab");
  const std::wstring server = classesString(kClassKey + L"\\InprocServer32", nullptr);
  const std::wstring suffix = L"\\Zelkgrab.ax";
  ASSERT_GT(server.size(), suffix.size()) << narrow(server);
  EXPECT_EQ(::lstrcmpiW(server.substr(server.size() - suffix.size()).c_str(), suffix.c_str()), 0)
      << narrow(server);
  EXPECT_NE(::GetFileAttributesW(server.c_str()), INVALID_FILE_ATTRIBUTES) << narrow(server);
  EXPECT_EQ(classesString(kClassKey + L"\\InprocServer32", L"ThreadingModel"), L"Both");

  EXPECT_EQ(classesString(L"Zelkgrab", L"Source Filter"), classId);
  EXPECT_EQ(classesString(L"Zelkgrab.Zelkgrab", nullptr), L"Zelkgrab Class");
  EXPECT_EQ(classesString(L"Zelkgrab.Zelkgrab\\CLSID", nullptr), classId);
}

TEST_F(RegisteredModule, RegistersTheTypeLibrary) {
  ComPtr<ITypeLib> library;
  ASSERT_EQ(::LoadRegTypeLib(LIBID_ZelkgrabLib, 1, 0, LOCALE_NEUTRAL, &library), S_OK);
  ComPtr<ITypeInfo> info;
  EXPECT_EQ(library->GetTypeInfoOfGuid(IID_IZelkgrab, &info), S_OK);
}

TEST_F(UnregisteredModule, IsNotListedAmongVideoCaptureSources) {
  EXPECT_EQ(listedZelkgrabSources(), 0);
}

TEST_F(UnregisteredModule, CannotBeCreatedByClassId) {
  ComPtr<IBaseFilter> filter;
  EXPECT_EQ(
      ::CoCreateInstance(CLSID_Zelkgrab, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&filter)),
      REGDB_E_CLASSNOTREG);
}

TEST_F(UnregisteredModule, LeavesNoClassOrProgIdKeys) {
  EXPECT_FALSE(keyExists(kClassKey));
  EXPECT_FALSE(keyExists(L"Zelkgrab"));
  EXPECT_FALSE(keyExists(L"Zelkgrab.Zelkgrab"));
}

TEST_F(UnregisteredModule, LeavesNoTypeLibrary) {
  ComPtr<ITypeLib> library;
  EXPECT_NE(::LoadRegTypeLib(LIBID_ZelkgrabLib, 1, 0, LOCALE_NEUTRAL, &library), S_OK);
  EXPECT_FALSE(keyExists(L"TypeLib\\" + formatGuid(LIBID_ZelkgrabLib)));
}

}  // namespace
