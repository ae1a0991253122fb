// The watchdog's thread. It terminates rather than exits: a step that hangs holds locks that
// an orderly exit (DLL detach, static destructors) could wait on for ever.
#include <windows.h>

#include "tools/zelkrec/watchdog.h"

#include <cstdio>

Watchdog::Watchdog() : thread_([this] { watch(); }) {}

Watchdog::~Watchdog() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    quit_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void Watchdog::arm(std::chrono::milliseconds limit, std::string message) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    armed_ = true;
    deadline_ = std::chrono::steady_clock::now() + limit;
    message_ = std::move(message);
  }
  changed_.notify_all();
}

void Watchdog::disarm() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    armed_ = false;
  }
  changed_.notify_all();
}

void Watchdog::watch() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!quit_) {
    if (!armed_) {
      changed_.wait(lock);
      continue;
    }
    if (changed_.wait_until(lock, deadline_) == std::cv_status::timeout && armed_ &&
        std::chrono::steady_clock::now() >= deadline_) {
      std::fprintf(stderr, "zelkrec: %s\n", message_.c_str());
      std::fflush(stderr);
      ::TerminateProcess(::GetCurrentProcess(), 1);
    }
  }
}
