// The soak's fault runs, each bounded and each printing what it saw: capture filters streaming
// in host processes of their own while the panel is killed or frozen, a control client killed
// in the middle of a CheckEvent wait, and a host killed while the panel's dialog shows its
// filter. The panel and the filter module are registered as installed ones are.
#include <windows.h>
#include <tlhelp32.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "common/win_raii.h"
#include "panel_process.h"
#include "tests/soak/fault_host_link.h"
#include "tests/soak/listed_filters.h"

using Microsoft::WRL::ComPtr;
using namespace panel_test;

namespace {

testing::Environment* const kRegisteredPanel =
    testing::AddGlobalTestEnvironment(new RegisteredPanel(true));

constexpr DWORD kStopLimitMs = 2000;

void report(const char* format, ...) {
  std::va_list arguments;
  va_start(arguments, format);
  std::printf("fault run: ");
  std::vprintf(format, arguments);
  std::printf("\n");
  std::fflush(stdout);
  va_end(arguments);
}

// A host streaming into its own grabber, ended by Quit, else by its handle.
struct StreamingHost {
  explicit StreamingHost(const std::wstring& options)
      : program(L"fault_host.exe", L"120" + (options.empty() ? L"" : L" " + options)) {}
  ~StreamingHost() {
    if (program.wait(0) == STILL_ACTIVE) {
      link.requestQuit();
      program.wait(10000);
    }
  }
  Program program;
  FaultHostLink link;
};

using Hosts = std::vector<std::unique_ptr<StreamingHost>>;

// The panel process serving the hosts (the one with the hooks server), waiting up to `ms`;
// 0 when none. `other` is passed over: a panel that was there before.
DWORD servingPanel(DWORD ms, DWORD other = 0) {
  const ULONGLONG deadline = ::GetTickCount64() + ms;
  do {
    if (HWND server = hooksServerWindow()) {
      const DWORD panel = windowProcess(server);
      if (panel != other) return panel;
    }
    ::Sleep(20);
  } while (::GetTickCount64() < deadline);
  return 0;
}

// Looks every 50 ms until `done()` holds: false when `ms` pass first.
template <class Condition>
bool waitUntil(Condition done, DWORD ms) {
  const ULONGLONG deadline = ::GetTickCount64() + ms;
  while (!done()) {
    if (::GetTickCount64() > deadline) return false;
    ::Sleep(50);
  }
  return true;
}

// Waits until the panel shows `count` frame windows: false on time-out.
bool showsFrames(DWORD panel, size_t count, DWORD ms) {
  return waitUntil([&] { return frameWindows(panel).size() == count; }, ms);
}

// `count` hosts, one after the other, each streaming at least 10 frames and served by the
// panel: 0 on failure, else the panel's process. A pin waits 3 s for the panel to start and
// then streams without it, which a panel started under load can miss: such a host streams
// once more.
::testing::AssertionResult startServedHosts(int count, const std::wstring& options, Hosts* hosts,
                                            DWORD* panel) {
  for (int i = 0; i < count; ++i) {
    hosts->push_back(std::make_unique<StreamingHost>(options));
    StreamingHost& host = *hosts->back();
    if (!host.program.started() || !host.link.open(host.program.id(), 20000)) {
      return ::testing::AssertionFailure() << "host " << i << " did not start";
    }
    if (!host.link.waitForFrames(10, 10000)) {
      return ::testing::AssertionFailure() << "host " << i << " does not stream";
    }
  }
  *panel = servingPanel(10000);
  for (int attempt = 0; attempt < 2 && (*panel == 0 || !showsFrames(*panel, count, 5000));
       ++attempt) {
    for (auto& host : *hosts) {
      host->link.command(FaultHostCommand::Stop, 10000);
      host->link.command(FaultHostCommand::Run, 10000);
    }
    *panel = servingPanel(10000);
  }
  if (*panel == 0 || !showsFrames(*panel, count, 5000)) {
    return ::testing::AssertionFailure() << "no panel serves the " << count << " hosts";
  }
  return ::testing::AssertionSuccess();
}

// The panel's main dialogs.
std::vector<HWND> mainDialogs(DWORD panel) {
  std::vector<HWND> dialogs;
  for (HWND found = ::FindWindowExW(nullptr, nullptr, L"#32770", L"Zelkgrab"); found;
       found = ::FindWindowExW(nullptr, found, L"#32770", L"Zelkgrab")) {
    if (windowProcess(found) == panel && ::IsWindowVisible(found)) dialogs.push_back(found);
  }
  return dialogs;
}

bool waitForDialogs(DWORD panel, size_t count, DWORD ms) {
  return waitUntil([&] { return mainDialogs(panel).size() == count; }, ms);
}

void killProcess(DWORD id) {
  UniqueHandle process(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id));
  ASSERT_TRUE(process);
  ASSERT_TRUE(::TerminateProcess(process.get(), 99));
  ASSERT_EQ(::WaitForSingleObject(process.get(), 5000), WAIT_OBJECT_0);
}

// Every thread of a process held still while it lives, as a debugger or a stuck program would.
class FrozenProcess {
 public:
  explicit FrozenProcess(DWORD id) {
    UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    THREADENTRY32 entry = {sizeof(entry)};
    for (BOOL more = ::Thread32First(snapshot.get(), &entry); more;
         more = ::Thread32Next(snapshot.get(), &entry)) {
      if (entry.th32OwnerProcessID != id) continue;
      UniqueHandle thread(::OpenThread(THREAD_SUSPEND_RESUME, FALSE, entry.th32ThreadID));
      if (thread && ::SuspendThread(thread.get()) != static_cast<DWORD>(-1)) {
        threads_.push_back(std::move(thread));
      }
    }
  }
  ~FrozenProcess() {
    for (UniqueHandle& thread : threads_) ::ResumeThread(thread.get());
  }
  size_t threads() const { return threads_.size(); }

 private:
  std::vector<UniqueHandle> threads_;
};

// Stops every host, each within the limit.
void stopEach(Hosts& hosts, const char* when) {
  for (size_t i = 0; i < hosts.size(); ++i) {
    EXPECT_EQ(hosts[i]->link.command(FaultHostCommand::Stop, 10000), S_OK) << "host " << i;
    const LONG ms = hosts[i]->link.status().lastStopMs;
    report("host %zu stopped in %ld ms %s", i, ms, when);
    EXPECT_LT(ms, static_cast<LONG>(kStopLimitMs)) << "host " << i;
  }
}

// Every host gains `frames` within `ms`; prints how many each gained.
void expectStreaming(Hosts& hosts, LONG frames, DWORD ms, const char* when) {
  std::vector<LONG> before;
  for (auto& host : hosts) before.push_back(host->link.frames());
  for (size_t i = 0; i < hosts.size(); ++i) {
    EXPECT_TRUE(hosts[i]->link.waitForFrames(before[i] + frames, ms)) << "host " << i;
  }
  for (size_t i = 0; i < hosts.size(); ++i) {
    report("host %zu: %ld frames %s", i, hosts[i]->link.frames() - before[i], when);
  }
}

void quitEach(Hosts& hosts) {
  for (size_t i = 0; i < hosts.size(); ++i) {
    ASSERT_TRUE(hosts[i]->link.requestQuit());
    EXPECT_EQ(hosts[i]->program.wait(15000), 0u) << "host " << i << " ends";
  }
}

class FaultRun : public testing::Test {
 protected:
  void TearDown() override { endPanelsNow(); }
  ComApartment apartment_{COINIT_MULTITHREADED};
};

TEST_F(FaultRun, APanelKilledWhileThreeFiltersStreamLeavesThemStreamingAndANewOneServesThem) {
  Hosts hosts;
  DWORD panel = 0;
  ASSERT_TRUE(startServedHosts(3, L"", &hosts, &panel)) << "with one frame for each filter";
  killProcess(panel);
  report("panel %lu killed while 3 filters stream", panel);
  expectStreaming(hosts, 10, 5000, "in the 2 s after the panel died");
  stopEach(hosts, "without a panel");
  // Wine's COM service keeps handing out the killed server's class objects until it is
  // restarted; Windows starts a new server by itself.
  endPanelsNow();
  for (size_t i = 0; i < hosts.size(); ++i) {
    EXPECT_HRESULT_SUCCEEDED(hosts[i]->link.command(FaultHostCommand::Run, 10000)) << "host " << i;
  }
  const DWORD next = servingPanel(10000, panel);
  ASSERT_NE(next, 0u) << "a new panel serves the filters";
  EXPECT_TRUE(showsFrames(next, 3, 10000)) << "with a frame for each filter again";
  report("a new panel %lu shows %zu frames after the streams started again", next,
         frameWindows(next).size());
  expectStreaming(hosts, 10, 5000, "with the new panel");
  quitEach(hosts);
}

TEST_F(FaultRun, APanelFrozenWithItsDialogsOpenHoldsUpNoFilter) {
  Hosts hosts;
  DWORD panel = 0;
  ASSERT_TRUE(startServedHosts(3, L"pages", &hosts, &panel));
  ASSERT_TRUE(waitForDialogs(panel, 3, 15000)) << "a dialog for each filter";
  {
    FrozenProcess frozen(panel);
    ASSERT_GT(frozen.threads(), 0u);
    report("panel %lu frozen (%zu threads) with 3 dialogs open", panel, frozen.threads());
    expectStreaming(hosts, 10, 5000, "while the panel is frozen");
    stopEach(hosts, "while the panel is frozen");
    for (size_t i = 0; i < hosts.size(); ++i) {
      const ULONGLONG started = ::GetTickCount64();
      EXPECT_HRESULT_SUCCEEDED(hosts[i]->link.command(FaultHostCommand::Run, 10000))
          << "host " << i;
      report("host %zu ran again in %llu ms", i, ::GetTickCount64() - started);
    }
    expectStreaming(hosts, 10, 5000, "after running again, the panel still frozen");
  }
  report("panel thawed");
  for (HWND dialog : mainDialogs(panel)) {
    DWORD_PTR answer = 0;
    EXPECT_TRUE(::SendMessageTimeoutW(dialog, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &answer))
        << "the dialog answers again";
  }
  expectStreaming(hosts, 10, 5000, "after the panel thawed");
  stopEach(hosts, "after the panel thawed");
  quitEach(hosts);
  EXPECT_TRUE(waitForDialogs(panel, 0, 10000)) << "the dialogs close with their filters";
}

TEST_F(FaultRun, AClientKilledInTheMiddleOfACheckEventWaitHoldsUpNothing) {
  Hosts hosts;
  DWORD panel = 0;
  ASSERT_TRUE(startServedHosts(1, L"", &hosts, &panel));
  const DWORD hostId = hosts[0]->program.id();
  Program client(L"fault_client.exe", std::to_wstring(hostId) + L" 60000");
  ASSERT_TRUE(client.started());
  const std::wstring waitingName = L"ZelkFaultClientWaiting-" + std::to_wstring(client.id());
  for (int i = 0; i < 200; ++i) {
    UniqueHandle waiting(::OpenEventW(SYNCHRONIZE, FALSE, waitingName.c_str()));
    if (waiting && ::WaitForSingleObject(waiting.get(), 0) == WAIT_OBJECT_0) break;
    ::Sleep(50);
  }
  ::Sleep(500);  // into the wait
  ASSERT_EQ(client.wait(0), static_cast<DWORD>(STILL_ACTIVE)) << "the client waits";
  client.terminate();
  report("client %lu killed in a 60 s CheckEvent wait", client.id());
  // The host's own thread, which serves calls from other processes, must not wait with it.
  ULONGLONG started = ::GetTickCount64();
  EXPECT_EQ(hosts[0]->link.command(FaultHostCommand::Stop, 10000), S_OK);
  EXPECT_HRESULT_SUCCEEDED(hosts[0]->link.command(FaultHostCommand::Run, 10000));
  report("the host stopped and ran again %llu ms after the client died",
         ::GetTickCount64() - started);
  EXPECT_LT(::GetTickCount64() - started, 2000u);

  expectStreaming(hosts, 10, 5000, "after the client died");
  ComPtr<IZelkgrab> control;
  started = ::GetTickCount64();
  ASSERT_EQ(controlOfListedFilter(hostId, 5000, &control), S_OK);
  report("another client found the filter in %llu ms", ::GetTickCount64() - started);
  UniqueBstr path(::SysAllocString(L"params\\flags\\showmouse"));
  started = ::GetTickCount64();
  LONG value = -1;
  EXPECT_EQ(control->get_sc_prop(path.get(), &value), S_OK);
  EXPECT_EQ(control->put_sc_prop(path.get(), value ? 0 : 1), S_OK);
  EXPECT_HRESULT_SUCCEEDED(control->CheckEvent(0));
  report("another client's calls took %llu ms", ::GetTickCount64() - started);
  EXPECT_LT(::GetTickCount64() - started, 2000u);
  control.Reset();
  stopEach(hosts, "after the client died");
  EXPECT_HRESULT_SUCCEEDED(hosts[0]->link.command(FaultHostCommand::Run, 10000));
  expectStreaming(hosts, 10, 5000, "after running again");
  started = ::GetTickCount64();
  quitEach(hosts);
  report("the host ended %llu ms after it was asked to", ::GetTickCount64() - started);
}

TEST_F(FaultRun, AHostKilledWhileThePanelsDialogShowsItsFilterClosesTheDialog) {
  Hosts hosts;
  DWORD panel = 0;
  ASSERT_TRUE(startServedHosts(1, L"pages", &hosts, &panel));
  ASSERT_TRUE(waitForDialogs(panel, 1, 15000));
  const HWND dialog = mainDialogs(panel).front();
  const ULONGLONG killed = ::GetTickCount64();
  hosts[0]->program.terminate();
  report("the host's process ended %llu ms after it was killed", ::GetTickCount64() - killed);
  // The dialog is hidden as it is destroyed. Without a window manager, as on the test display,
  // Wine then waits about 2 s in vain for the display to confirm before the window is gone.
  while (::IsWindowVisible(dialog) && ::GetTickCount64() - killed < 10000) ::Sleep(5);
  const ULONGLONG hiddenMs = ::GetTickCount64() - killed;
  while (::IsWindow(dialog) && ::GetTickCount64() - killed < 10000) ::Sleep(5);
  report("the dialog closed %llu ms after its host was killed (gone after %llu ms)", hiddenMs,
         ::GetTickCount64() - killed);
  EXPECT_FALSE(::IsWindow(dialog));
  EXPECT_LT(hiddenMs, 250u) << "within a tick of the 100 ms poll";
}

}  // namespace
