// The panel server's lifetime.
#include "panel/server_lifetime.h"

#include <utility>

void ServerLifetime::lock() { ++locks_; }

void ServerLifetime::unlock() {
  if (--locks_ == 0) {
    activity_ = true;
    if (shutdown_) ::SetEvent(shutdown_);
  }
}

bool ServerLifetime::startMonitor(DWORD mainThread) {
  mainThread_ = mainThread;
  shutdown_ = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (!shutdown_) return false;
  HANDLE thread = ::CreateThread(nullptr, 0, &ServerLifetime::monitorProc, this, 0, nullptr);
  if (!thread) {
    ::CloseHandle(std::exchange(shutdown_, nullptr));
    return false;
  }
  ::CloseHandle(thread);
  return true;
}

DWORD WINAPI ServerLifetime::monitorProc(void* self) {
  static_cast<ServerLifetime*>(self)->monitor();
  return 0;
}

void ServerLifetime::monitor() {
  for (;;) {
    ::WaitForSingleObject(shutdown_, INFINITE);
    // Each further release of the last lock starts the quiet time again.
    do {
      activity_ = false;
    } while (::WaitForSingleObject(shutdown_, kIdleMs) == WAIT_OBJECT_0);
    if (!activity_ && locks_ == 0) break;
  }
  // The event stays open: a late release may still signal it, and the process ends soon.
  ::PostThreadMessageW(mainThread_, WM_QUIT, 0, 0);
}

ServerLifetime& serverLifetime() {
  static ServerLifetime lifetime;
  return lifetime;
}
