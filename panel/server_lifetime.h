// How long the panel's local server lives: every object of its classes (and every client's
// LockServer) holds one lock; when the last is released the shutdown monitor waits until
// 5 seconds pass without another release of the last lock and with no lock held, then posts
// a quit message to the main thread, whose message loop ends the process.
// Threads: locks are taken and released on any thread (atomically); the monitor runs on a
// thread of its own, started by the main thread.
#pragma once

#include <windows.h>

#include <atomic>

#include "common/win_raii.h"

class ServerLifetime {
 public:
  static constexpr DWORD kIdleMs = 5000;

  ServerLifetime() = default;
  ServerLifetime(const ServerLifetime&) = delete;
  ServerLifetime& operator=(const ServerLifetime&) = delete;

  void lock();
  void unlock();
  LONG lockCount() const { return locks_.load(); }

  // Makes the shutdown event and starts the monitor for `mainThread`; false when either
  // fails, and the server then runs until its message loop ends otherwise.
  bool startMonitor(DWORD mainThread);

 private:
  static DWORD WINAPI monitorProc(void* self);
  void monitor();

  std::atomic<LONG> locks_{0};
  std::atomic<bool> activity_{false};
  HANDLE shutdown_ = nullptr;  // closed by the monitor as it ends
  DWORD mainThread_ = 0;
};

// The process's one server lifetime.
ServerLifetime& serverLifetime();
