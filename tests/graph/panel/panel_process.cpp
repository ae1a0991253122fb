// Helpers of the panel's tests.
#include "panel_process.h"

#include <tlhelp32.h>

#include <cstdio>
#include <algorithm>
#include <cwctype>
#include <map>

#include "common/module_proc.h"
#include "hooked_program.h"

namespace panel_test {

namespace {

// The test's environment with `changes` applied, as CreateProcessW takes it.
std::wstring environmentBlock(const std::vector<std::wstring>& changes) {
  std::map<std::wstring, std::wstring> variables;
  wchar_t* block = ::GetEnvironmentStringsW();
  for (const wchar_t* entry = block; entry && *entry; entry += std::wcslen(entry) + 1) {
    const std::wstring text(entry);
    const size_t equals = text.find(L'=', 1);
    if (equals != std::wstring::npos) variables[text.substr(0, equals)] = text.substr(equals + 1);
  }
  ::FreeEnvironmentStringsW(block);
  for (const std::wstring& change : changes) {
    const size_t equals = change.find(L'=');
    variables[change.substr(0, equals)] = change.substr(equals + 1);
  }
  std::wstring result;
  for (const auto& [name, value] : variables) result += name + L"=" + value + L'\0';
  result += L'\0';
  return result;
}

}  // namespace

Program::Program(const wchar_t* file, const std::wstring& arguments,
                 const std::vector<std::wstring>& environment) {
  const std::wstring path = hooks_test::besideThisProgram(file);
  std::wstring line = L"\"" + path + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
  std::wstring block = environment.empty() ? std::wstring() : environmentBlock(environment);
  STARTUPINFOW startup = {sizeof(startup)};
  PROCESS_INFORMATION process = {};
  if (!::CreateProcessW(path.c_str(), line.data(), nullptr, nullptr, FALSE,
                        CREATE_UNICODE_ENVIRONMENT, block.empty() ? nullptr : block.data(), nullptr,
                        &startup, &process)) {
    return;
  }
  process_.reset(process.hProcess);
  ::CloseHandle(process.hThread);
  id_ = process.dwProcessId;
}

Program::~Program() { terminate(); }

DWORD Program::wait(DWORD ms) {
  DWORD code = STILL_ACTIVE;
  if (process_ && ::WaitForSingleObject(process_.get(), ms) == WAIT_OBJECT_0) {
    ::GetExitCodeProcess(process_.get(), &code);
  }
  return code;
}

void Program::terminate() {
  if (process_ && ::WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) {
    ::TerminateProcess(process_.get(), 99);
    ::WaitForSingleObject(process_.get(), 5000);
  }
}

DWORD runPanel(const std::wstring& arguments, DWORD waitMs) {
  Program panel(L"Zelkpanel.exe", arguments);
  return panel.started() ? panel.wait(waitMs) : ~0u;
}

HRESULT PanelEnvironment::registerAll() {
  if (runPanel(L"/RegServer") != 0) return E_FAIL;
  // The filter's class and type library: the panel makes filters and passes their control
  // interface between processes.
  UniqueModule filter(::LoadLibraryW(hooks_test::besideThisProgram(L"Zelkgrab.ax").c_str()));
  const auto registerServer =
      moduleProc<HRESULT(STDAPICALLTYPE*)()>(filter.get(), "DllRegisterServer");
  return registerServer ? registerServer() : E_FAIL;
}

void PanelEnvironment::unregisterAll() {
  UniqueModule filter(::LoadLibraryW(hooks_test::besideThisProgram(L"Zelkgrab.ax").c_str()));
  const auto unregister =
      moduleProc<HRESULT(STDAPICALLTYPE*)()>(filter.get(), "DllUnregisterServer");
  if (unregister) unregister();
  runPanel(L"/UnregServer");
}

void RegisteredPanel::SetUp() { ASSERT_EQ(PanelEnvironment::registerAll(), S_OK); }

void RegisteredPanel::TearDown() {
  if (mayOutlive_) {
    endPanelsNow();
  } else {
    EXPECT_TRUE(waitUntilNoPanel(kLongestEndMs)) << "a panel server did not end by itself";
  }
  PanelEnvironment::unregisterAll();
}

std::vector<DWORD> panelProcesses() { return processesNamed(L"Zelkpanel.exe"); }

std::vector<DWORD> processesNamed(const wchar_t* file) {
  std::vector<DWORD> ids;
  UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot || snapshot.get() == INVALID_HANDLE_VALUE) return ids;
  PROCESSENTRY32W entry = {sizeof(entry)};
  for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more;
       more = ::Process32NextW(snapshot.get(), &entry)) {
    if (_wcsicmp(entry.szExeFile, file) == 0) ids.push_back(entry.th32ProcessID);
  }
  return ids;
}

void terminateProcess(DWORD id) {
  UniqueHandle process(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id));
  if (process) {
    ::TerminateProcess(process.get(), 99);
    ::WaitForSingleObject(process.get(), 5000);
  }
}

void forgetEndedServers() {
  for (DWORD id : processesNamed(L"rpcss.exe")) terminateProcess(id);
}

bool waitUntilNoPanel(DWORD ms) {
  const ULONGLONG deadline = ::GetTickCount64() + ms;
  while (::GetTickCount64() < deadline) {
    if (panelProcesses().empty()) return true;
    ::Sleep(50);
  }
  endPanelsNow();
  return false;
}

void endPanelsNow() {
  for (DWORD id : panelProcesses()) terminateProcess(id);
  // Also after a panel a test killed itself.
  forgetEndedServers();
}

int closeMainDialogs() {
  const std::vector<DWORD> panels = panelProcesses();
  std::vector<HWND> dialogs;
  for (HWND found = ::FindWindowExW(nullptr, nullptr, L"#32770", L"Zelkgrab"); found;
       found = ::FindWindowExW(nullptr, found, L"#32770", L"Zelkgrab")) {
    if (std::find(panels.begin(), panels.end(), windowProcess(found)) != panels.end()) {
      dialogs.push_back(found);
    }
  }
  for (HWND dialog : dialogs) {
    ::PostMessageW(::GetDlgItem(dialog, 1011), BM_CLICK, 0, 0);
    for (int i = 0; i < 250 && ::IsWindow(dialog); ++i) ::Sleep(20);
  }
  return static_cast<int>(dialogs.size());
}

HWND hooksServerWindow() { return ::FindWindowW(nullptr, L"Zelkgrab Hooks Server object"); }

DWORD windowProcess(HWND window) {
  DWORD process = 0;
  ::GetWindowThreadProcessId(window, &process);
  return process;
}

std::vector<HWND> frameWindows(DWORD processId) {
  struct Search {
    DWORD process;
    std::vector<HWND> found;
  } search{processId, {}};
  ::EnumWindows(
      [](HWND window, LPARAM parameter) -> BOOL {
        auto* search = reinterpret_cast<Search*>(parameter);
        if (windowProcess(window) == search->process &&
            (::GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_LAYERED)) {
          search->found.push_back(window);
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

FilterHost::FilterHost(const std::wstring& options)
    : program_(L"filter_host.exe", L"60" + (options.empty() ? L"" : L" " + options)) {}

std::wstring FilterHost::entrySuffix() const {
  wchar_t suffix[32];
  std::swprintf(suffix, 32, L" pid %08x", static_cast<unsigned>(id()));
  return suffix;
}

bool FilterHost::runGraph() {
  UniqueHandle event(::OpenEventW(EVENT_MODIFY_STATE, FALSE,
                                  (L"ZelkFilterHostRun-" + std::to_wstring(id())).c_str()));
  return event && ::SetEvent(event.get());
}

DWORD FilterHost::quit() {
  UniqueHandle event(::OpenEventW(EVENT_MODIFY_STATE, FALSE,
                                  (L"ZelkFilterHostQuit-" + std::to_wstring(id())).c_str()));
  if (event) ::SetEvent(event.get());
  return program_.wait(15000);
}

std::vector<std::wstring> instanceNames(IZelkgrabEnum* instances) {
  std::vector<std::wstring> names;
  ULONG count = 0;
  if (FAILED(instances->get_count(&count))) return names;
  for (ULONG n = 0; n < count; ++n) {
    UniqueBstr name;
    names.emplace_back(SUCCEEDED(instances->get_name(n, name.put())) ? name.get() : L"<error>");
  }
  return names;
}

bool endsWith(const std::wstring& text, const std::wstring& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

long waitForInstance(const std::wstring& suffix) {
  for (int i = 0; i < 200; ++i) {
    Microsoft::WRL::ComPtr<IZelkgrabEnum> instances;
    if (createInPanel(CLSID_ZelkgrabEnum, instances) == S_OK) {
      const std::vector<std::wstring> names = instanceNames(instances.Get());
      for (size_t n = 0; n < names.size(); ++n) {
        if (endsWith(names[n], suffix)) return static_cast<long>(n);
      }
    }
    ::Sleep(50);
  }
  return -1;
}

HRESULT getQueue(IZelkgrabQueue* queue, const wchar_t* property, std::wstring* value) {
  UniqueBstr name(::SysAllocString(property));
  UniqueBstr text;
  const HRESULT hr = queue->get_qparam(name.get(), text.put());
  if (hr == S_OK && value) value->assign(text.get() ? text.get() : L"");
  return hr;
}

HRESULT putQueue(IZelkgrabQueue* queue, const wchar_t* property, const wchar_t* value) {
  UniqueBstr name(::SysAllocString(property));
  UniqueBstr text(::SysAllocString(value));
  return queue->put_qparam(name.get(), text.get());
}

std::vector<std::wstring> takeEvents(IZelkgrabQueue* queue) {
  std::vector<std::wstring> events;
  std::wstring event;
  while (events.size() < 100000 && getQueue(queue, L"event", &event) == S_OK) {
    events.push_back(event);
  }
  return events;
}

}  // namespace panel_test
