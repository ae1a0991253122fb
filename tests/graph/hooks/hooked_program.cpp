// The hooked second program of the hooks tests.
#include "hooked_program.h"

#include "common/com_registration.h"

namespace hooks_test {

namespace {

constexpr int kProgramLifetimeSeconds = 90;

}  // namespace

std::wstring besideThisProgram(const wchar_t* name) {
  std::wstring path = modulePath(nullptr);
  return path.substr(0, path.find_last_of(L"\\/") + 1) + name;
}

HookedProgram::HookedProgram(const RECT& rect) {
  title_ = L"hooked window of " + std::to_wstring(::GetCurrentProcessId());
  const std::wstring path = besideThisProgram(L"hooked_window.exe");
  std::wstring line = L"\"" + path + L"\" \"" + title_ + L"\" " + std::to_wstring(rect.left) +
                      L" " + std::to_wstring(rect.top) + L" " + std::to_wstring(rect.right) + L" " +
                      std::to_wstring(rect.bottom) + L" " +
                      std::to_wstring(kProgramLifetimeSeconds);
  STARTUPINFOW startup = {sizeof(startup)};
  PROCESS_INFORMATION process = {};
  if (!::CreateProcessW(path.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
    return;
  }
  process_.reset(process.hProcess);
  UniqueHandle thread(process.hThread);
  processId_ = process.dwProcessId;
  const ULONGLONG deadline = ::GetTickCount64() + 15000;
  while (::GetTickCount64() < deadline &&
         ::WaitForSingleObject(process_.get(), 20) == WAIT_TIMEOUT) {
    HWND found = ::FindWindowW(L"ZelkHookedWindow", title_.c_str());
    DWORD owner = 0;
    if (found && ::GetWindowThreadProcessId(found, &owner) && owner == processId_ &&
        ::IsWindowVisible(found)) {
      window_ = found;
      break;
    }
  }
}

HookedProgram::~HookedProgram() {
  if (process_ && close(10000) == STILL_ACTIVE) ::TerminateProcess(process_.get(), 99);
}

DWORD HookedProgram::close(DWORD waitMs) {
  if (window_) ::PostMessageW(window_, WM_CLOSE, 0, 0);
  DWORD code = STILL_ACTIVE;
  if (::WaitForSingleObject(process_.get(), waitMs) == WAIT_OBJECT_0) {
    ::GetExitCodeProcess(process_.get(), &code);
  }
  return code;
}

LRESULT HookedProgram::ask(UINT message) const {
  DWORD_PTR result = 0;
  if (!::SendMessageTimeoutW(window_, message, 0, 0, SMTO_ABORTIFHUNG, 5000, &result)) {
    return -1;
  }
  return static_cast<LRESULT>(result);
}

}  // namespace hooks_test
