// Zelkgrab.ax's hooks installed for every thread of the desktop, as the hooks server installs
// them, watching a window of a second program (hooked_window.exe): moving it, repainting it and
// hovering it with the display's real pointer reach the test's server window; the hooked
// program keeps answering and ends normally; once the hooks are removed its changes are no
// longer reported.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/com_registration.h"
#include "common/module_proc.h"
#include "common/win_raii.h"
#include "hooked_program.h"
#include "hooks_server_window.h"
#include "x_pointer.h"

using hooks_test::besideThisProgram;
using hooks_test::HookedProgram;
using hooks_test::HooksServerWindow;
using hooks_test::Report;
using hooks_test::ReportMessages;

namespace {

// Each wait for a report; an action is repeated a few times, as a hooked thread may act on its
// first message before it sees the new hooks.
constexpr DWORD kReportWaitMs = 1500;
constexpr int kAttempts = 4;
constexpr RECT kStart = {400, 300, 800, 600};

LPARAM packed(LONG x, LONG y) {
  return static_cast<LPARAM>((static_cast<DWORD>(x) & 0xFFFF) |
                             ((static_cast<DWORD>(y) & 0xFFFF) << 16));
}

class HookedProcessTest : public testing::Test {
 protected:
  void SetUp() override {
    module_.reset(::LoadLibraryW(besideThisProgram(L"Zelkgrab.ax").c_str()));
    ASSERT_TRUE(module_);
    server_ = std::make_unique<HooksServerWindow>();
    ASSERT_NE(server_->window(), nullptr);
    program_ = std::make_unique<HookedProgram>(kStart);
    ASSERT_NE(program_->window(), nullptr) << "the hooked program showed no window";
    const struct {
      int id;
      const char* name;
    } hooks[] = {{WH_CALLWNDPROC, "HookCallWndProc"},
                 {WH_CALLWNDPROCRET, "HookCallWndProcRet"},
                 {WH_GETMESSAGE, "HookGetMessage"},
                 {WH_SYSMSGFILTER, "HookDialogMessage"}};
    for (const auto& hook : hooks) {
      auto procedure = moduleProc<HOOKPROC>(module_.get(), hook.name);
      ASSERT_NE(procedure, nullptr) << hook.name;
      hooks_.emplace_back(::SetWindowsHookExW(hook.id, procedure, module_.get(), 0));
      ASSERT_TRUE(hooks_.back()) << hook.name << ": error " << ::GetLastError();
    }
  }

  // Hooks first, then the program, the server and the module: members go in reverse order.
  void TearDown() override {
    hooks_.clear();
    program_.reset();
    server_.reset();
  }

  // Repeats `act` until a report it expects arrives; true if one did.
  template <class Act, class Accept>
  bool actUntilReported(Act act, Accept accept) {
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
      act(attempt);
      if (server_->waitFor(accept, kReportWaitMs)) return true;
    }
    return false;
  }

  RECT programRect() const {
    RECT rect = {};
    ::GetWindowRect(program_->window(), &rect);
    return rect;
  }

  // Moves the program's window by SetWindowPos from here, alternately right and back.
  RECT moveProgram(int attempt) {
    const RECT before = programRect();
    const bool away = attempt % 2 == 0;
    ::SetWindowPos(program_->window(), nullptr, kStart.left + (away ? 60 : 0),
                   kStart.top + (away ? 10 : 0), 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    return before;
  }

  const ReportMessages& reports_ = ReportMessages::registered();
  UniqueModule module_;
  std::unique_ptr<HooksServerWindow> server_;
  std::unique_ptr<HookedProgram> program_;
  std::vector<UniqueHook> hooks_;
};

// Moving reports the rectangle the window is leaving and then that it moved.
TEST_F(HookedProcessTest, MovingTheWindowReportsItsRectangleAndTheMove) {
  RECT before = {};
  bool rectangle = false;
  bool moved = false;
  EXPECT_TRUE(actUntilReported(
      [&](int attempt) { before = moveProgram(attempt); },
      [&](const Report& report) {
        rectangle |= report == Report{reports_.rectangleChanged,
                                      static_cast<WPARAM>(packed(before.left, before.top)),
                                      packed(before.right, before.bottom)};
        moved |= report == Report{reports_.windowChanged, WM_WINDOWPOSCHANGED, program_->param()};
        return rectangle && moved;
      }))
      << "rectangle reported: " << rectangle << ", move reported: " << moved;
  // The hook procedures ran in the hooked program itself.
  EXPECT_EQ(program_->ask(WM_APP + 1), 1);
}

TEST_F(HookedProcessTest, RepaintingTheWindowReportsItsClientArea) {
  EXPECT_TRUE(actUntilReported(
      [&](int) {
        ::InvalidateRect(program_->window(), nullptr, TRUE);
        ::UpdateWindow(program_->window());
      },
      [&](const Report& report) {
        return report == Report{reports_.windowClientAreaChanged, WM_PAINT, program_->param()};
      }));
}

// The display's pointer moved over the window, from outside Wine.
TEST_F(HookedProcessTest, HoveringTheWindowReportsTheCursor) {
  server_->take();
  bool pointerMoved = true;
  EXPECT_TRUE(actUntilReported(
      [&](int attempt) {
        pointerMoved &= x_pointer::moveTo({kStart.left + 100 + 40 * attempt, kStart.top + 100});
      },
      [&](const Report& report) {
        return report == Report{reports_.cursorChanged, 0, 0};
      }));
  EXPECT_TRUE(pointerMoved) << "xdotool did not move the pointer";
  EXPECT_GT(program_->ask(WM_APP), 0) << "the window saw no mouse move";
}

// The hooked program answers while hooked and ends normally; once the hooks are removed, its
// moves are no longer reported.
TEST_F(HookedProcessTest, HookedProgramRunsOnAndIsNoLongerWatchedOnceUnhooked) {
  ASSERT_TRUE(actUntilReported([&](int attempt) { moveProgram(attempt); },
                               [&](const Report& report) {
                                 return report.message == reports_.windowChanged &&
                                        report.lParam == program_->param();
                               }));
  EXPECT_EQ(program_->ask(WM_NULL), 0) << "the hooked program does not answer";

  hooks_.clear();
  server_->waitFor([](const Report&) { return false; }, 300);  // reports still on their way
  for (int attempt = 0; attempt < 2; ++attempt) moveProgram(attempt);
  ::InvalidateRect(program_->window(), nullptr, TRUE);
  ::UpdateWindow(program_->window());
  EXPECT_FALSE(server_->waitFor(
      [&](const Report& report) {
        return report.lParam == program_->param() || report.message == reports_.rectangleChanged;
      },
      kReportWaitMs))
      << "reported after the hooks were removed";
  EXPECT_EQ(program_->ask(WM_NULL), 0);
  EXPECT_EQ(program_->close(10000), 0u) << "the hooked program did not end normally";
}

}  // namespace
