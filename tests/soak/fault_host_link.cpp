// The fault host's names and the controller's side of its block and window.
#include "tests/soak/fault_host_link.h"

std::wstring faultHostBlockName(DWORD pid) { return L"ZelkFaultHost-" + std::to_wstring(pid); }

std::wstring faultHostWindowName(DWORD pid) {
  return L"ZelkFaultHostWindow-" + std::to_wstring(pid);
}

bool FaultHostLink::open(DWORD pid, DWORD ms) {
  pid_ = pid;
  const ULONGLONG deadline = ::GetTickCount64() + ms;
  // The window comes last, once the graph runs.
  while (!::FindWindowExW(HWND_MESSAGE, nullptr, nullptr, faultHostWindowName(pid).c_str())) {
    if (::GetTickCount64() > deadline) return false;
    ::Sleep(20);
  }
  mapping_.reset(::OpenFileMappingW(FILE_MAP_READ, FALSE, faultHostBlockName(pid).c_str()));
  if (!mapping_) return false;
  view_.reset(static_cast<FaultHostStatus*>(
      ::MapViewOfFile(mapping_.get(), FILE_MAP_READ, 0, 0, sizeof(FaultHostStatus))));
  return static_cast<bool>(view_);
}

bool FaultHostLink::waitForFrames(LONG count, DWORD ms) const {
  const ULONGLONG deadline = ::GetTickCount64() + ms;
  while (frames() < count) {
    if (::GetTickCount64() > deadline) return false;
    ::Sleep(10);
  }
  return true;
}

namespace {

bool post(FaultHostCommand command, DWORD pid) {
  HWND window = ::FindWindowExW(HWND_MESSAGE, nullptr, nullptr, faultHostWindowName(pid).c_str());
  return window && ::PostMessageW(window, WM_APP + static_cast<UINT>(command), 0, 0);
}

}  // namespace

bool FaultHostLink::requestQuit() { return post(FaultHostCommand::Quit, pid_); }

HRESULT FaultHostLink::command(FaultHostCommand command, DWORD ms) {
  const LONG before = status().commandsDone;
  if (!post(command, pid_)) return E_HANDLE;
  const ULONGLONG deadline = ::GetTickCount64() + ms;
  while (status().commandsDone == before) {
    if (::GetTickCount64() > deadline) return E_PENDING;
    ::Sleep(5);
  }
  return status().lastResult;
}
