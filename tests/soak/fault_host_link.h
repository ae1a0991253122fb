// How the fault runs drive fault_host.exe in another process: the shared block it publishes
// its state in, the window messages it obeys (as a program's buttons would reach it, also
// while a call it serves waits), and the controller's side of both.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "common/win_raii.h"

// The host's state, in the file mapping "ZelkFaultHost-<pid>". Written by the host only.
struct FaultHostStatus {
  volatile LONG frames;        // samples that reached the host's grabber
  volatile LONG streaming;     // 1 while its graph runs
  volatile LONG lastStopMs;    // how long the last Stop took; -1 before the first
  volatile LONG lastResult;    // result of the last command
  volatile LONG commandsDone;  // raised after each command, once its result is there
};

// Posted as WM_APP + the command to the host's message-only window.
enum class FaultHostCommand { Stop, Run, Quit };

std::wstring faultHostBlockName(DWORD pid);
// The title of the host's message-only window.
std::wstring faultHostWindowName(DWORD pid);

// The controller's view of one running host.
class FaultHostLink {
 public:
  // Opens the block of host `pid`, waiting up to `ms` for the host to stream and take commands.
  bool open(DWORD pid, DWORD ms);
  const FaultHostStatus& status() const { return *view_.get(); }
  // Frames so far.
  LONG frames() const { return status().frames; }
  // Waits until `count` frames arrived in all; false on time-out.
  bool waitForFrames(LONG count, DWORD ms) const;
  // Has the host carry out Stop or Run and waits up to `ms` for it: the result, or E_PENDING
  // on time-out.
  HRESULT command(FaultHostCommand command, DWORD ms);
  // Asks the host to let its filter go and end; the caller waits for the process.
  bool requestQuit();

 private:
  DWORD pid_ = 0;
  UniqueHandle mapping_;
  struct ViewRelease {
    void operator()(FaultHostStatus* view) const { ::UnmapViewOfFile(view); }
  };
  std::unique_ptr<FaultHostStatus, ViewRelease> view_;
};
