// A worker thread with a request/reply protocol. A controlling thread sends a request with
// `CallWorker` and blocks until the worker answers it with `Reply`; the worker takes requests
// with `GetRequest` (blocking) or peeks with `CheckRequest` while it works. One request is in
// flight at a time. The worker runs in the multithreaded COM apartment.
#pragma once

#include <windows.h>

#include "common/win_raii.h"
#include "dshow/am_event.h"
#include "dshow/critsec.h"

class CAMThread {
 public:
  CAMThread();
  virtual ~CAMThread();
  CAMThread(const CAMThread&) = delete;
  CAMThread& operator=(const CAMThread&) = delete;

  // Starts the thread; false if it exists already or cannot be started.
  bool Create();
  bool ThreadExists() const { return static_cast<bool>(thread_); }
  // Waits for the thread to end and closes it. The thread must have been asked to exit.
  void Close();

  // Controlling side: sends `request` and returns the worker's reply.
  DWORD CallWorker(DWORD request);

  // Worker side.
  DWORD GetRequest();
  // True with the pending request, which stays pending until replied to.
  bool CheckRequest(DWORD* request);
  void Reply(DWORD result);
  HANDLE GetRequestHandle() const { return requestPending_.handle(); }

 protected:
  virtual DWORD ThreadProc() = 0;

 private:
  static DWORD WINAPI threadStart(void* self);

  CCritSec callLock_;  // one caller at a time
  CAMEvent requestPending_{true};
  CAMEvent replied_;
  DWORD request_ = 0;
  DWORD reply_ = 0;
  UniqueHandle thread_;
};
