// Registration of Zelkgrab.ax through the filter mapper, the type library calls and the
// ProgID keys below HKEY_CLASSES_ROOT.
#include "config/module_registration.h"

#include <dshow.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <string>

#include "common/guid_text.h"
#include "common/module_proc.h"
#include "common/registry_key.h"
#include "common/win_raii.h"
#include "dshow/class_factory.h"
#include "zelkgrab.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr wchar_t kFilterName[] = L"Zelkgrab";
constexpr wchar_t kProgId[] = L"Zelkgrab";
constexpr wchar_t kVersionedProgId[] = L"Zelkgrab.Zelkgrab";
// The mapper answers this when an entry to remove is not there.
constexpr HRESULT kNotFound = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
// Kept out of automatic graph building: applications pick it from the capture sources.
constexpr DWORD kFilterMerit = MERIT_DO_NOT_USE;

const REGPINTYPES kPinTypes[] = {{&MEDIATYPE_Video, &GUID_NULL}};

const REGFILTERPINS2 kPins[] = {{
    REG_PINFLAG_B_OUTPUT,  // dwFlags
    1,                     // cInstances
    1,                     // nMediaTypes
    kPinTypes,             // lpMediaType
    0,                     // nMediums
    nullptr,               // lpMedium
    &PIN_CATEGORY_CAPTURE  // clsPinCategory
}};

REGFILTER2 filterDescription() {
  REGFILTER2 filter = {};
  filter.dwVersion = 2;
  filter.dwMerit = kFilterMerit;
  filter.cPins2 = 1;
  filter.rgPins2 = kPins;
  return filter;
}

// The module path as the ANSI call gives it, widened; empty when it cannot be had.
std::wstring ansiModulePath() {
  char path[MAX_PATH] = {};
  const DWORD length = ::GetModuleFileNameA(currentModule(), path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  const int wide = ::MultiByteToWideChar(CP_ACP, 0, path, static_cast<int>(length), nullptr, 0);
  if (wide <= 0) return {};
  std::wstring result(static_cast<size_t>(wide), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, path, static_cast<int>(length), result.data(), wide);
  return result;
}

HRESULT lastErrorResult() {
  const DWORD error = ::GetLastError();
  return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
}

bool succeededOrAbsent(HRESULT hr) { return SUCCEEDED(hr) || hr == kNotFound; }

HRESULT updateCategoryEntry(bool install) {
  ComApartment apartment;
  ComPtr<IFilterMapper2> mapper;
  HRESULT hr =
      ::CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&mapper));
  if (FAILED(hr)) return hr;

  // Removing first keeps a second registration from leaving two entries.
  hr = mapper->UnregisterFilter(&CLSID_VideoInputDeviceCategory, nullptr, CLSID_Zelkgrab);
  if (succeededOrAbsent(hr) && install) {
    const REGFILTER2 filter = filterDescription();
    hr = mapper->RegisterFilter(CLSID_Zelkgrab, kFilterName, nullptr,
                                &CLSID_VideoInputDeviceCategory, nullptr, &filter);
  }
  if (succeededOrAbsent(hr)) hr = S_OK;
  // The mapper may be the last user of its DLL; let COM unload it while the apartment stands.
  mapper.Reset();
  ::CoFreeUnusedLibraries();
  return hr;
}

HRESULT registerTypeLibrary() {
  const std::wstring path = ansiModulePath();
  if (path.empty()) return lastErrorResult();
  ComPtr<ITypeLib> library;
  // The module's first TYPELIB resource is found from the module path itself.
  return ::LoadTypeLibEx(path.c_str(), REGKIND_REGISTER, &library);
}

}  // namespace

HRESULT registerFilterCategories(bool install) {
  // A module that cannot name its own file cannot be registered, nor its keys trusted to be ours.
  if (ansiModulePath().empty()) return lastErrorResult();
  if (install) {
    const HRESULT hr = registerModuleServers();
    if (FAILED(hr)) return hr;
  }
  HRESULT hr = updateCategoryEntry(install);
  if (FAILED(hr)) return hr;
  if (!install) hr = unregisterModuleServers();
  return hr;
}

HRESULT registerZelkgrabModule() {
  HRESULT hr = registerFilterCategories(true);
  if (FAILED(hr)) return hr;
  hr = registerTypeLibrary();
  if (FAILED(hr)) return hr;

  const std::wstring classId = formatGuid(CLSID_Zelkgrab);
  {
    RegistryKey progId(HKEY_CLASSES_ROOT, kProgId);
    progId.WriteString(L"Source Filter", classId.c_str());
  }
  RegistryKey versioned(HKEY_CLASSES_ROOT, kVersionedProgId, &hr);
  if (FAILED(hr)) return hr;
  versioned.WriteString(L"", L"Zelkgrab Class");
  versioned.WriteString(L"CLSID\\", classId.c_str());
  return S_OK;
}

HRESULT unregisterZelkgrabModule() {
  // Keys that are already gone are what we want.
  ::RegDeleteTreeW(HKEY_CLASSES_ROOT, kProgId);
  ::RegDeleteTreeW(HKEY_CLASSES_ROOT, kVersionedProgId);
  ::UnRegisterTypeLib(LIBID_ZelkgrabLib, 1, 0, LOCALE_NEUTRAL, SYS_WIN64);
  return registerFilterCategories(false);
}
