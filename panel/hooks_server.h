// The receiving end of the window hooks Zelkgrab.ax exports. While at least one queue object
// is registered it keeps that module's four hooks installed for every thread of the desktop,
// and the hidden window the hooks post their reports to; each report becomes an event name
// appended to every registered queue. The module, once loaded, stays until the server ends.
// Apartment: everything runs on the panel's main thread; reports arrive as posted messages to
// the server window. The server's lock is taken before a queue's own lock, never after.
#pragma once

#include <windows.h>

#include <vector>

#include "common/win_raii.h"
#include "dshow/critsec.h"

// What the hooks server feeds: a queue object's event queue.
class EventSink {
 public:
  virtual void appendEvent(const wchar_t* name) = 0;

 protected:
  ~EventSink() = default;
};

class HooksServer {
 public:
  static constexpr wchar_t kWindowTitle[] = L"Zelkgrab Hooks Server object";
  static constexpr wchar_t kWindowClass[] = L"Zelkgrab Hooks Server object_CLASS";
  static constexpr wchar_t kHookModule[] = L"Zelkgrab.ax";

  HooksServer() = default;
  ~HooksServer() { uninstall(); }
  HooksServer(const HooksServer&) = delete;
  HooksServer& operator=(const HooksServer&) = delete;

  // The first registered queue installs the hooks; the result does not depend on that.
  HRESULT Register(EventSink* queue);
  // Removes every occurrence; the last one uninstalls.
  HRESULT Unregister(EventSink* queue);
  void Broadcast(const wchar_t* eventName);

 private:
  static constexpr int kEvents = 5;

  HRESULT install();
  void uninstall();
  static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  CCritSec lock_;
  std::vector<EventSink*> queues_;  // not counted: each queue unregisters as it goes
  UniqueModule module_;
  UINT messages_[kEvents] = {};
  UniqueHook hooks_[4];
  HWND window_ = nullptr;
  ATOM windowClass_ = 0;
};

// The process's one hooks server.
HooksServer& hooksServer();
