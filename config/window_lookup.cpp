// The system's windows, as parameter documents name them.
#include <windows.h>

#include "config/window_lookup.h"

#include "config/capture_params.h"

namespace {

HWND windowOf(uint32_t handle) {
  return reinterpret_cast<HWND>(static_cast<intptr_t>(static_cast<int32_t>(handle)));
}

}  // namespace

bool namesWindow(uint32_t handle) {
  return handle != kNoWindow && ::IsWindow(windowOf(handle)) != FALSE;
}

std::wstring windowTitle(uint32_t handle) {
  if (!namesWindow(handle)) return {};
  // Read from the window's record, never by a message: the window may belong to a thread
  // that waits for whoever is asking.
  wchar_t title[512];
  const int copied = ::InternalGetWindowText(windowOf(handle), title, 512);
  return std::wstring(title, copied > 0 ? static_cast<size_t>(copied) : 0);
}

uint32_t windowTitled(const std::wstring& title) {
  HWND window = ::FindWindowW(nullptr, title.c_str());
  if (!window || !::IsWindow(window)) return kNoWindow;
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(window));
}
