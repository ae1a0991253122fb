// A Win32 event owned for its lifetime: auto-reset by default, manual-reset on request.
#pragma once

#include <windows.h>

class CAMEvent {
 public:
  explicit CAMEvent(bool manualReset = false)
      : handle_(::CreateEventW(nullptr, manualReset ? TRUE : FALSE, FALSE, nullptr)) {}
  ~CAMEvent() {
    if (handle_) ::CloseHandle(handle_);
  }
  CAMEvent(const CAMEvent&) = delete;
  CAMEvent& operator=(const CAMEvent&) = delete;

  HANDLE handle() const { return handle_; }
  bool valid() const { return handle_ != nullptr; }
  void Set() { ::SetEvent(handle_); }
  void Reset() { ::ResetEvent(handle_); }
  bool Wait(DWORD timeout = INFINITE) {
    return ::WaitForSingleObject(handle_, timeout) == WAIT_OBJECT_0;
  }
  // Without waiting; consumes the signal of an auto-reset event.
  bool Check() { return Wait(0); }

 private:
  HANDLE handle_;
};
