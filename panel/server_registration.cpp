// Registration of the panel as a local COM server.
#include "panel/server_registration.h"

#include <oleauto.h>
#include <wrl/client.h>

#include "common/guid_text.h"
#include "common/win_raii.h"
#include "zelkpanel.h"

namespace {

struct ServerClass {
  const CLSID& clsid;
  const wchar_t* progId;
  const wchar_t* independentProgId;
  const wchar_t* description;
};

const ServerClass kClasses[] = {
    {CLSID_ZelkgrabQueue, L"Zelkpanel.ZelkgrabQueue.1", L"Zelkpanel.ZelkgrabQueue",
     L"ZelkgrabQueue Class"},
    {CLSID_ZelkgrabEnum, L"Zelkpanel.ZelkgrabEnum.1", L"Zelkpanel.ZelkgrabEnum",
     L"ZelkgrabEnum Class"},
    {CLSID_ZelkgrabWndEnum, L"Zelkpanel.ZelkgrabWndEnum.1", L"Zelkpanel.ZelkgrabWndEnum",
     L"ZelkgrabWndEnum Class"},
};

// The application id the entries name: none is supplied, so it is empty.
constexpr wchar_t kAppId[] = L"";
constexpr wchar_t kAppName[] = L"Zelkpanel";
constexpr wchar_t kProgramKey[] = L"AppID\\Zelkpanel.EXE";

// Keeps the first failure while every step still runs.
class Outcome {
 public:
  void take(HRESULT hr) {
    if (FAILED(hr) && SUCCEEDED(result_)) result_ = hr;
  }
  void takeStatus(LSTATUS status) { take(HRESULT_FROM_WIN32(status)); }
  HRESULT result() const { return result_; }

 private:
  HRESULT result_ = S_OK;
};

LSTATUS setString(HKEY key, const wchar_t* name, const std::wstring& value) {
  const auto bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
  return ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          bytes);
}

// Creates `path` below `parent` and sets its default value unless `value` is null.
LSTATUS writeKey(HKEY parent, const std::wstring& path, const wchar_t* value,
                 UniqueRegKey* opened = nullptr) {
  UniqueRegKey key;
  LSTATUS status = ::RegCreateKeyExW(parent, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                     KEY_WRITE, nullptr, key.put(), nullptr);
  if (status != ERROR_SUCCESS) return status;
  if (value) status = setString(key.get(), nullptr, value);
  if (opened) *opened = std::move(key);
  return status;
}

LSTATUS removeTree(HKEY parent, const std::wstring& path) {
  const LSTATUS status = ::RegDeleteTreeW(parent, path.c_str());
  return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

// A path that contains blanks is quoted, so that COM cannot start a different program that
// happens to match its first words.
std::wstring serverCommand(const std::wstring& programPath) {
  if (programPath.find(L' ') == std::wstring::npos) return programPath;
  return L"\"" + programPath + L"\"";
}

void registerAppId(Outcome& outcome) {
  // The key named by the (empty) application id is "AppID" itself.
  outcome.takeStatus(writeKey(HKEY_CLASSES_ROOT, L"AppID", kAppName));
  UniqueRegKey program;
  outcome.takeStatus(writeKey(HKEY_CLASSES_ROOT, kProgramKey, nullptr, &program));
  if (program) outcome.takeStatus(setString(program.get(), L"AppID", kAppId));
}

// The application id names no key of its own, so its entry is the default value of "AppID"
// itself: that key stays, and its value goes only while it is still ours.
void unregisterAppId(Outcome& outcome) {
  outcome.takeStatus(removeTree(HKEY_CLASSES_ROOT, kProgramKey));
  UniqueRegKey appIds;
  if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, L"AppID", 0, KEY_READ | KEY_WRITE, appIds.put()) !=
      ERROR_SUCCESS) {
    return;
  }
  wchar_t value[64] = {};
  DWORD bytes = sizeof(value) - sizeof(wchar_t);
  DWORD type = 0;
  if (::RegQueryValueExW(appIds.get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value),
                         &bytes) == ERROR_SUCCESS &&
      type == REG_SZ && std::wstring(value) == kAppName) {
    outcome.takeStatus(::RegDeleteValueW(appIds.get(), nullptr));
  }
}

void registerClass(const ServerClass& entry, const std::wstring& command, Outcome& outcome) {
  const std::wstring clsid = formatGuid(entry.clsid);
  const std::wstring libid = formatGuid(LIBID_ZelkpanelLib);

  outcome.takeStatus(writeKey(HKEY_CLASSES_ROOT, entry.progId, entry.description));
  outcome.takeStatus(
      writeKey(HKEY_CLASSES_ROOT, std::wstring(entry.progId) + L"\\CLSID", clsid.c_str()));
  outcome.takeStatus(writeKey(HKEY_CLASSES_ROOT, entry.independentProgId, entry.description));
  outcome.takeStatus(writeKey(HKEY_CLASSES_ROOT, std::wstring(entry.independentProgId) + L"\\CLSID",
                              clsid.c_str()));
  outcome.takeStatus(writeKey(HKEY_CLASSES_ROOT,
                              std::wstring(entry.independentProgId) + L"\\CurVer", entry.progId));

  // The class key is made afresh, so nothing of an earlier registration lingers in it.
  const std::wstring classPath = L"CLSID\\" + clsid;
  outcome.takeStatus(removeTree(HKEY_CLASSES_ROOT, classPath));
  UniqueRegKey classKey;
  outcome.takeStatus(writeKey(HKEY_CLASSES_ROOT, classPath, entry.description, &classKey));
  if (!classKey) return;
  outcome.takeStatus(writeKey(classKey.get(), L"ProgID", entry.progId));
  outcome.takeStatus(
      writeKey(classKey.get(), L"VersionIndependentProgID", entry.independentProgId));
  outcome.takeStatus(writeKey(classKey.get(), L"Programmable", nullptr));
  outcome.takeStatus(writeKey(classKey.get(), L"LocalServer32", command.c_str()));
  outcome.takeStatus(setString(classKey.get(), L"AppID", kAppId));
  outcome.takeStatus(writeKey(classKey.get(), L"TypeLib", libid.c_str()));
}

void unregisterClass(const ServerClass& entry, Outcome& outcome) {
  outcome.takeStatus(removeTree(HKEY_CLASSES_ROOT, entry.progId));
  outcome.takeStatus(removeTree(HKEY_CLASSES_ROOT, entry.independentProgId));
  outcome.takeStatus(removeTree(HKEY_CLASSES_ROOT, L"CLSID\\" + formatGuid(entry.clsid)));
}

}  // namespace

HRESULT registerServer(const std::wstring& programPath) {
  if (programPath.empty()) return E_INVALIDARG;
  Outcome outcome;
  registerAppId(outcome);
  const std::wstring command = serverCommand(programPath);
  for (const ServerClass& entry : kClasses) registerClass(entry, command, outcome);
  // The type library is the program's own resource 1.
  Microsoft::WRL::ComPtr<ITypeLib> library;
  HRESULT hr = ::LoadTypeLibEx(programPath.c_str(), REGKIND_REGISTER, &library);
  outcome.take(hr);
  return outcome.result();
}

HRESULT unregisterServer() {
  Outcome outcome;
  unregisterAppId(outcome);
  for (const ServerClass& entry : kClasses) unregisterClass(entry, outcome);
  const SYSKIND kind = sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;
  HRESULT hr = ::UnRegisterTypeLib(LIBID_ZelkpanelLib, 1, 0, LANG_NEUTRAL, kind);
  if (hr != TYPE_E_REGISTRYACCESS && hr != TYPE_E_CANTLOADLIBRARY) outcome.take(hr);
  return outcome.result();
}
