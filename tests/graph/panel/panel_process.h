// Helpers of the panel's tests, which always talk to a real Zelkpanel.exe: running the program
// with a command line, its registration for the whole test program, finding the panel
// processes COM started and waiting for them to end, the windows a panel shows, and short
// forms of the queue object's `qparam`.
#pragma once

#include <windows.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/win_raii.h"
#include "zelkpanel.h"

namespace panel_test {

// The quiet time after which an idle server ends, and the slack its tests allow.
constexpr DWORD kIdleEndMs = 5000;
constexpr DWORD kLongestEndMs = 10000;

// A program started by the test and ended by its handle, whichever way the test ends.
class Program {
 public:
  // Starts `file` (beside the test program) with `arguments`; `environment` adds or replaces
  // variables ("NAME=value") of the test's own environment.
  Program(const wchar_t* file, const std::wstring& arguments,
          const std::vector<std::wstring>& environment = {});
  ~Program();
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  bool started() const { return static_cast<bool>(process_); }
  DWORD id() const { return id_; }
  HANDLE handle() const { return process_.get(); }
  // The exit code, or STILL_ACTIVE if it did not end within `ms`.
  DWORD wait(DWORD ms);
  void terminate();

 private:
  UniqueHandle process_;
  DWORD id_ = 0;
};

// Runs Zelkpanel.exe with `arguments` and waits for it: the exit code, or STILL_ACTIVE.
DWORD runPanel(const std::wstring& arguments, DWORD waitMs = 15000);

// Registers the panel ("/RegServer") and the filter module for the whole test program, and
// removes both again once no panel runs any more.
class PanelEnvironment {
 public:
  static HRESULT registerAll();
  static void unregisterAll();
};

// The same as a GoogleTest environment, which also fails the program when a panel server did
// not end by itself.
class RegisteredPanel : public testing::Environment {
 public:
  // `mayOutlive`: panels still running at the end are ended without failing, for tests whose
  // subject is not the server's lifetime.
  explicit RegisteredPanel(bool mayOutlive = false) : mayOutlive_(mayOutlive) {}
  void SetUp() override;
  void TearDown() override;

 private:
  bool mayOutlive_;
};

// The ids of the running processes of program `file`, and of Zelkpanel.exe.
std::vector<DWORD> processesNamed(const wchar_t* file);
std::vector<DWORD> panelProcesses();
// Waits until no panel process runs; ends those still running after `ms` (false then).
bool waitUntilNoPanel(DWORD ms);
// Ends every panel process by its id, and forgets any panel killed before. Wine's COM service
// keeps the class objects of a server that was killed and hands them to later clients, which
// then fail: it is restarted (by its process id) so that the next client starts a fresh server.
void endPanelsNow();

// Closes every main dialog the panel shows, with its close button: how many there were.
int closeMainDialogs();

// The hooks server's window, or null.
HWND hooksServerWindow();
// The visible or hidden layered top-level windows of process `processId`: the frame windows.
std::vector<HWND> frameWindows(DWORD processId);
DWORD windowProcess(HWND window);

template <class Interface>
HRESULT createInPanel(const CLSID& clsid, Microsoft::WRL::ComPtr<Interface>& object) {
  return ::CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, __uuidof(Interface),
                            reinterpret_cast<void**>(object.ReleaseAndGetAddressOf()));
}

// filter_host.exe: a capture filter in a process of its own, ended by its quit event (or by
// its handle).
class FilterHost {
 public:
  // `options`: "", "graph" (maybe with "later"), "pages" or both, as filter_host takes them.
  explicit FilterHost(const std::wstring& options);
  ~FilterHost() { quit(); }
  bool started() const { return program_.started(); }
  DWORD id() const { return program_.id(); }
  // The filter's running-object name ends in " pid " and the host's id.
  std::wstring entrySuffix() const;
  // Starts the graph of a host made with "graph later".
  bool runGraph();
  // Asks it to let the filter go and end: its exit code, or STILL_ACTIVE.
  DWORD quit();
  DWORD wait(DWORD ms) { return program_.wait(ms); }
  void kill() { program_.terminate(); }

 private:
  Program program_;
};

// The display names a panel enumerator lists.
std::vector<std::wstring> instanceNames(IZelkgrabEnum* instances);
bool endsWith(const std::wstring& text, const std::wstring& suffix);
// Waits until a fresh enumerator lists an entry ending in `suffix`: its position, or -1.
long waitForInstance(const std::wstring& suffix);

HRESULT getQueue(IZelkgrabQueue* queue, const wchar_t* property, std::wstring* value);
HRESULT putQueue(IZelkgrabQueue* queue, const wchar_t* property, const wchar_t* value);
// Every event queued so far, oldest first.
std::vector<std::wstring> takeEvents(IZelkgrabQueue* queue);

}  // namespace panel_test
