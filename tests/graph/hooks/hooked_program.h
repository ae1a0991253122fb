// hooked_window.exe run as a second program whose window tests watch through the hooks: started
// with its window at a given place, asked questions by message, closed politely and ended by
// its handle however the test ends. It ends by itself after 90 s should a test die first.
#pragma once

#include <windows.h>

#include <string>

#include "common/win_raii.h"

namespace hooks_test {

// A file beside the running test program, where the build puts every module.
std::wstring besideThisProgram(const wchar_t* name);

class HookedProgram {
 public:
  // Waits (at most 15 s) until the window is shown; `window()` is null when it was not.
  explicit HookedProgram(const RECT& rect);
  ~HookedProgram();
  HookedProgram(const HookedProgram&) = delete;
  HookedProgram& operator=(const HookedProgram&) = delete;

  HWND window() const { return window_; }
  LPARAM param() const { return reinterpret_cast<LPARAM>(window_); }
  DWORD processId() const { return processId_; }

  // Asks the window to close and waits for the program to end: its exit code, or STILL_ACTIVE.
  DWORD close(DWORD waitMs);
  // The window's answer to `message`, or -1 if it did not answer in time.
  LRESULT ask(UINT message) const;

 private:
  UniqueHandle process_;
  DWORD processId_ = 0;
  std::wstring title_;
  HWND window_ = nullptr;
};

}  // namespace hooks_test
