// Class registration keys of in-process COM servers.
#include "common/com_registration.h"

#include "common/guid_text.h"
#include "common/win_raii.h"

namespace {

HRESULT setStringValue(HKEY key, const wchar_t* name, const std::wstring& value) {
  const auto bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
  LSTATUS status =
      ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), bytes);
  return HRESULT_FROM_WIN32(status);
}

HRESULT createKey(HKEY parent, const std::wstring& path, UniqueRegKey& key) {
  LSTATUS status = ::RegCreateKeyExW(parent, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                     KEY_WRITE, nullptr, key.put(), nullptr);
  return HRESULT_FROM_WIN32(status);
}

std::wstring classKeyPath(const CLSID& clsid) { return L"CLSID\\" + formatGuid(clsid); }

}  // namespace

HRESULT registerInprocServer(const CLSID& clsid, const wchar_t* friendlyName,
                             const std::wstring& modulePath, const wchar_t* threadingModel) {
  if (!friendlyName || !threadingModel || modulePath.empty()) return E_INVALIDARG;
  UniqueRegKey classKey;
  HRESULT hr = createKey(HKEY_CLASSES_ROOT, classKeyPath(clsid), classKey);
  if (FAILED(hr)) return hr;
  hr = setStringValue(classKey.get(), nullptr, friendlyName);
  if (FAILED(hr)) return hr;

  UniqueRegKey serverKey;
  hr = createKey(classKey.get(), L"InprocServer32", serverKey);
  if (FAILED(hr)) return hr;
  hr = setStringValue(serverKey.get(), nullptr, modulePath);
  if (FAILED(hr)) return hr;
  return setStringValue(serverKey.get(), L"ThreadingModel", threadingModel);
}

HRESULT unregisterClass(const CLSID& clsid) {
  LSTATUS status = ::RegDeleteTreeW(HKEY_CLASSES_ROOT, classKeyPath(clsid).c_str());
  if (status == ERROR_FILE_NOT_FOUND) return S_OK;
  return HRESULT_FROM_WIN32(status);
}

std::wstring modulePath(HMODULE module) {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD length = ::GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}
