// The hook procedures Zelkgrab.ax exports, called the way the platform calls them, with a
// hooks server window of the test's own reading back what they post: each observed message
// and its report, the rectangle's packing, scrolling, popup menu selections, the windows that
// are never reported, the codes each procedure acts on, the next hook's result passed back,
// and a server that is missing or replaced.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "common/com_registration.h"
#include "common/module_proc.h"
#include "common/win_raii.h"
#include "hooks_server_window.h"

using hooks_test::HooksServerWindow;
using hooks_test::Report;
using hooks_test::ReportMessages;

namespace {

using HookProcedure = LRESULT(CALLBACK*)(int, WPARAM, LPARAM);

std::wstring besideThisProgram(const wchar_t* name) {
  std::wstring path = modulePath(nullptr);
  return path.substr(0, path.find_last_of(L"\\/") + 1) + name;
}

constexpr wchar_t kWindowClass[] = L"ZelkHooksTestWindow";

// A plain window the hooks are told about: by default a visible child of the stage, the
// program's one visible top-level window. Child windows come and go at once, while Wine takes
// two seconds to take a top-level window off a display that has no window manager.
class TestWindow {
 public:
  struct Options {
    RECT rect = {100, 100, 300, 250};  // on the screen, as the stage's client area starts at 0,0
    bool visible = true;
    HWND parent = stage();  // null: a top-level popup
    HWND owner = nullptr;   // of a top-level popup
  };

  explicit TestWindow(const Options& options) {
    const DWORD style = (options.parent ? WS_CHILD : WS_POPUP) | (options.visible ? WS_VISIBLE : 0);
    const RECT& r = options.rect;
    window_ = ::CreateWindowExW(WS_EX_NOACTIVATE, kWindowClass, L"observed", style, r.left, r.top,
                                r.right - r.left, r.bottom - r.top,
                                options.parent ? options.parent : options.owner, nullptr,
                                ::GetModuleHandleW(nullptr), nullptr);
  }
  ~TestWindow() {
    if (window_) ::DestroyWindow(window_);
  }
  TestWindow(const TestWindow&) = delete;
  TestWindow& operator=(const TestWindow&) = delete;

  HWND get() const { return window_; }
  LPARAM param() const { return reinterpret_cast<LPARAM>(window_); }

  static HWND stage() { return stage_; }

 private:
  friend class HooksEnvironment;
  static HWND stage_;
  HWND window_ = nullptr;
};

HWND TestWindow::stage_ = nullptr;

// Loads the module once for the program, as a hook would load it, and shows the stage.
class HooksEnvironment : public testing::Environment {
 public:
  void SetUp() override {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = ::DefWindowProcW;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.hbrBackground = static_cast<HBRUSH>(::GetStockObject(GRAY_BRUSH));
    windowClass.lpszClassName = kWindowClass;
    ::RegisterClassW(&windowClass);
    TestWindow::stage_ =
        ::CreateWindowExW(WS_EX_NOACTIVATE, kWindowClass, L"stage", WS_POPUP | WS_VISIBLE, 0, 0,
                          1600, 1000, nullptr, nullptr, windowClass.hInstance, nullptr);
    module_ = ::LoadLibraryW(besideThisProgram(L"Zelkgrab.ax").c_str());
  }
  void TearDown() override {
    if (module_) ::FreeLibrary(module_);
    if (TestWindow::stage_) ::DestroyWindow(TestWindow::stage_);
    TestWindow::stage_ = nullptr;
    ::UnregisterClassW(kWindowClass, ::GetModuleHandleW(nullptr));
  }

  static HMODULE module() { return module_; }

 private:
  static HMODULE module_;
};

HMODULE HooksEnvironment::module_ = nullptr;
testing::Environment* const g_environment = testing::AddGlobalTestEnvironment(new HooksEnvironment);

// One exported procedure and the way the platform hands it a message.
struct Procedure {
  const char* name;
  enum class Data { CallWndProc, CallWndProcRet, Msg } data;
  // (code, the hook's wParam) with which the procedure acts, and a few with which it must not.
  std::vector<std::pair<int, WPARAM>> acting;
  std::vector<std::pair<int, WPARAM>> ignoring;
};

void PrintTo(const Procedure& procedure, std::ostream* out) { *out << procedure.name; }

const Procedure kProcedures[] = {
    // The hook's wParam says whether the current thread sent the message: acted on either way.
    {"HookCallWndProc", Procedure::Data::CallWndProc, {{HC_ACTION, 0}, {HC_ACTION, 1}}, {{-1, 0}}},
    {"HookCallWndProcRet",
     Procedure::Data::CallWndProcRet,
     {{HC_ACTION, 0}, {HC_ACTION, 1}},
     {{-1, 1}}},
    {"HookGetMessage",
     Procedure::Data::Msg,
     {{HC_ACTION, PM_REMOVE}, {HC_ACTION, PM_REMOVE | PM_NOYIELD}},
     {{HC_ACTION, PM_NOREMOVE}, {HC_ACTION, PM_NOYIELD}, {-1, PM_REMOVE}}},
    {"HookDialogMessage",
     Procedure::Data::Msg,
     {{MSGF_DIALOGBOX, 0}},
     {{MSGF_MENU, 0}, {MSGF_SCROLLBAR, 0}, {MSGF_NEXTWINDOW, 0}, {-1, 0}}},
};

// The structure a procedure reads, filled as the platform fills it; other fields hold values a
// procedure that read the wrong field would report.
class HookData {
 public:
  HookData(Procedure::Data data, HWND window, UINT message, WPARAM wParam, LPARAM lParam)
      : data_(data) {
    call_ = {lParam, wParam, message, window};
    ret_ = {0x5A5A, lParam, wParam, message, window};
    msg_ = {window, message, wParam, lParam, 1234, {5, 6}};
  }
  LPARAM param() {
    switch (data_) {
      case Procedure::Data::CallWndProc:
        return reinterpret_cast<LPARAM>(&call_);
      case Procedure::Data::CallWndProcRet:
        return reinterpret_cast<LPARAM>(&ret_);
      case Procedure::Data::Msg:
        return reinterpret_cast<LPARAM>(&msg_);
    }
    return 0;
  }

 private:
  Procedure::Data data_;
  CWPSTRUCT call_;
  CWPRETSTRUCT ret_;
  MSG msg_;
};

LRESULT callAs(const Procedure& procedure, HookProcedure hook, int code, WPARAM hookWParam,
               HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
  HookData data(procedure.data, window, message, wParam, lParam);
  return hook(code, hookWParam, data.param());
}

// As the platform calls the procedure when it should act.
void observeAs(const Procedure& procedure, HookProcedure hook, HWND window, UINT message,
               WPARAM wParam = 0, LPARAM lParam = 0) {
  const auto [code, hookWParam] = procedure.acting.front();
  callAs(procedure, hook, code, hookWParam, window, message, wParam, lParam);
}

class WindowHooksTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(HooksEnvironment::module(), nullptr);
    ASSERT_NE(TestWindow::stage(), nullptr);
  }

  static HookProcedure procedure(const char* name) {
    return moduleProc<HookProcedure>(HooksEnvironment::module(), name);
  }

  const ReportMessages& reports_ = ReportMessages::registered();
};

class EachProcedure : public WindowHooksTest, public testing::WithParamInterface<Procedure> {
 protected:
  void SetUp() override {
    WindowHooksTest::SetUp();
    hook_ = procedure(GetParam().name);
    ASSERT_NE(hook_, nullptr) << GetParam().name << " is not exported";
  }

  LRESULT call(int code, WPARAM hookWParam, HWND window, UINT message) {
    return callAs(GetParam(), hook_, code, hookWParam, window, message);
  }
  void observe(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    observeAs(GetParam(), hook_, window, message, wParam, lParam);
  }

  HookProcedure hook_ = nullptr;
};

TEST_F(WindowHooksTest, ModuleExportsTheProceduresAndHoldsThePopupSelectionAtom) {
  for (const char* name :
       {"HookCallWndProc", "HookCallWndProcRet", "HookGetMessage", "HookDialogMessage"}) {
    EXPECT_NE(procedure(name), nullptr) << name;
  }
  EXPECT_NE(::GlobalFindAtomW(L"Zelk.SCRCAPHK.PopupSelectionAtom"), 0);
}

// Each observed message and what it reports: the report, its wParam and whether its lParam is
// the window (else 0). Rectangles are checked on their own below.
TEST_P(EachProcedure, ReportsEachObservedMessageAsListed) {
  HooksServerWindow server;
  TestWindow window({});
  ASSERT_TRUE(server.window() && window.get());
  const ReportMessages& m = reports_;
  struct Row {
    UINT message;
    WPARAM wParam;
    UINT report;  // 0: nothing
    WPARAM reportWParam;
    bool windowInLParam;
  };
  const Row rows[] = {
      {0x0047, 0, m.windowChanged, 0x0047, true},              // WM_WINDOWPOSCHANGED
      {0x0114, SB_THUMBTRACK, m.windowChanged, 0x0114, true},  // WM_HSCROLL
      {0x0115, SB_ENDSCROLL, m.windowChanged, 0x0115, true},   // WM_VSCROLL
      {0x01E2, 0, m.windowChanged, 0x01E2, true},
      {0x01E5, 7, m.windowChanged, 0x01E5, true},
      {0x0085, 1, m.windowBorderChanged, 0x0085, true},        // WM_NCPAINT
      {0x0086, 1, m.windowBorderChanged, 0x0086, true},        // WM_NCACTIVATE
      {0x0007, 0, m.windowClientAreaChanged, 0x0007, true},    // WM_SETFOCUS
      {0x000A, 1, m.windowClientAreaChanged, 0x000A, true},    // WM_ENABLE
      {0x000C, 0, m.windowClientAreaChanged, 0x000C, true},    // WM_SETTEXT
      {0x000F, 0, m.windowClientAreaChanged, 0x000F, true},    // WM_PAINT
      {0x0015, 0, m.windowClientAreaChanged, 0x0015, true},    // WM_SYSCOLORCHANGE
      {0x00B1, 2, m.windowClientAreaChanged, 0x00B1, true},    // EM_SETSEL
      {0x00F1, 1, m.windowClientAreaChanged, 0x00F1, true},    // BM_SETCHECK
      {0x00F3, 1, m.windowClientAreaChanged, 0x00F3, true},    // BM_SETSTATE
      {0x0101, 'A', m.windowClientAreaChanged, 0x0101, true},  // WM_KEYUP
      {0x0102, 'a', m.windowClientAreaChanged, 0x0102, true},  // WM_CHAR
      {0x0202, 0, m.windowClientAreaChanged, 0x0202, true},    // WM_LBUTTONUP
      {0x0205, 0, m.windowClientAreaChanged, 0x0205, true},    // WM_RBUTTONUP
      {0x0208, 0, m.windowClientAreaChanged, 0x0208, true},    // WM_MBUTTONUP
      {0x0311, 0, m.windowClientAreaChanged, 0x0311, true},    // WM_PALETTECHANGED
      {0x00A0, HTCAPTION, m.cursorChanged, 0, false},          // WM_NCMOUSEMOVE
      {0x0200, MK_LBUTTON, m.cursorChanged, 0, false},         // WM_MOUSEMOVE
      // Messages beside the listed ones report nothing.
      {0x0000, 0, 0, 0, false},    // WM_NULL
      {0x0001, 0, 0, 0, false},    // WM_CREATE
      {0x0003, 0, 0, 0, false},    // WM_MOVE
      {0x0005, 0, 0, 0, false},    // WM_SIZE
      {0x0014, 0, 0, 0, false},    // WM_ERASEBKGND
      {0x0082, 0, 0, 0, false},    // WM_NCDESTROY
      {0x0083, 0, 0, 0, false},    // WM_NCCALCSIZE
      {0x0100, 'A', 0, 0, false},  // WM_KEYDOWN
      {0x0113, 1, 0, 0, false},    // WM_TIMER
      {0x0201, 0, 0, 0, false},    // WM_LBUTTONDOWN
      {0x020A, 0, 0, 0, false},    // WM_MOUSEWHEEL
      {0x01E1, 0, 0, 0, false},
      {0x01E3, 0, 0, 0, false},
      {0x01E4, 0, 0, 0, false},
      {m.windowChanged, 0x0047, 0, 0, false},  // a report passing through a hooked program
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << "message 0x" << std::hex << row.message);
    observe(window.get(), row.message, row.wParam, 0x7777);
    std::vector<Report> expected;
    if (row.report) {
      expected.push_back({row.report, row.reportWParam, row.windowInLParam ? window.param() : 0});
    }
    EXPECT_EQ(server.take(), expected);
  }
}

// Moving and destroying report the window's rectangle, each coordinate in 16 bits with left
// and top in wParam, right and bottom in lParam, as receivers read them back signed.
TEST_P(EachProcedure, ReportsTheRectangleAsSigned16BitPairs) {
  HooksServerWindow server;
  struct Case {
    RECT rect;
    WPARAM wParam;
    LPARAM lParam;
  };
  const Case cases[] = {
      {{-100, 20, 300, 400}, 0x0014FF9C, 0x0190012C},
      {{-300, -200, -50, -10}, 0xFF38FED4, 0xFFF6FFCE},
      {{1500, 700, 2100, 1180}, 0x02BC05DC, 0x049C0834},
  };
  for (const Case& c : cases) {
    TestWindow window({.rect = c.rect});
    RECT actual;
    ASSERT_TRUE(::GetWindowRect(window.get(), &actual));
    ASSERT_TRUE(::EqualRect(&actual, &c.rect)) << "the platform placed the window elsewhere";
    for (UINT message : {WM_WINDOWPOSCHANGING, WM_DESTROY}) {
      SCOPED_TRACE(testing::Message() << "message 0x" << std::hex << message << " at " << std::dec
                                      << c.rect.left << "," << c.rect.top);
      observe(window.get(), message);
      const std::vector<Report> reports = server.take();
      ASSERT_EQ(reports, (std::vector<Report>{{reports_.rectangleChanged, c.wParam, c.lParam}}));
      EXPECT_EQ(static_cast<short>(LOWORD(reports[0].wParam)), c.rect.left);
      EXPECT_EQ(static_cast<short>(HIWORD(reports[0].wParam)), c.rect.top);
      EXPECT_EQ(static_cast<short>(LOWORD(reports[0].lParam)), c.rect.right);
      EXPECT_EQ(static_cast<short>(HIWORD(reports[0].lParam)), c.rect.bottom);
    }
  }
}

// Scrolling reports only while the thumb is dragged and when scrolling ends, whatever the
// position in the high word.
TEST_P(EachProcedure, ReportsScrollingOnlyForThumbTrackAndEndScroll) {
  HooksServerWindow server;
  TestWindow window({});
  for (UINT message : {WM_HSCROLL, WM_VSCROLL}) {
    for (WORD request = SB_LINEUP; request <= SB_ENDSCROLL; ++request) {
      SCOPED_TRACE(testing::Message()
                   << "message 0x" << std::hex << message << ", request " << std::dec << request);
      observe(window.get(), message, MAKEWPARAM(request, 37));
      std::vector<Report> expected;
      if (request == SB_THUMBTRACK || request == SB_ENDSCROLL) {
        expected.push_back({reports_.windowChanged, message, window.param()});
      }
      EXPECT_EQ(server.take(), expected);
    }
  }
}

// A popup menu window reports each change of its selected item once, remembered per window.
TEST_P(EachProcedure, ReportsEachPopupSelectionChangeOncePerMenuWindow) {
  HooksServerWindow server;
  TestWindow first({});
  TestWindow second({.rect = {400, 100, 500, 300}});
  const ATOM atom = ::GlobalFindAtomW(L"Zelk.SCRCAPHK.PopupSelectionAtom");
  ASSERT_NE(atom, 0);
  const struct {
    const TestWindow& menu;
    WPARAM item;
    bool reported;
  } steps[] = {
      {first, 3, true},
      {first, 3, false},
      {first, 4, true},
      {second, 3, true},
      {second, 4, true},
      {second, 4, false},
      {first, 4, false},
      {first, 3, true},
      {first, static_cast<WPARAM>(-1), true},
      {first, static_cast<WPARAM>(-1), false},
  };
  int step = 0;
  for (const auto& s : steps) {
    SCOPED_TRACE(testing::Message() << "step " << step++);
    observe(s.menu.get(), 0x01E5, s.item);
    std::vector<Report> expected;
    if (s.reported) expected.push_back({reports_.windowChanged, 0x01E5, s.menu.param()});
    EXPECT_EQ(server.take(), expected);
    EXPECT_EQ(::GetPropW(s.menu.get(), MAKEINTATOM(atom)), reinterpret_cast<HANDLE>(s.item));
  }
}

// Each procedure acts on its own codes only: the message-retrieval hook not on a peeked message,
// the dialog hook not on other modal loops, none on a negative code.
TEST_P(EachProcedure, ActsOnlyOnItsOwnCodes) {
  HooksServerWindow server;
  TestWindow window({});
  const std::vector<Report> reported = {
      {reports_.windowClientAreaChanged, WM_PAINT, window.param()}};
  for (const auto& [code, hookWParam] : GetParam().acting) {
    SCOPED_TRACE(testing::Message() << "acting: code " << code << ", wParam " << hookWParam);
    call(code, hookWParam, window.get(), WM_PAINT);
    EXPECT_EQ(server.take(), reported);
  }
  for (const auto& [code, hookWParam] : GetParam().ignoring) {
    SCOPED_TRACE(testing::Message() << "ignoring: code " << code << ", wParam " << hookWParam);
    call(code, hookWParam, window.get(), WM_PAINT);
    EXPECT_EQ(server.take(), std::vector<Report>{});
  }
}

// Inside a real hook chain of this thread, the procedure hands its arguments to the next hook
// unchanged and returns that hook's result, whether it acted or not. The chain is a message
// filter chain run by CallMsgFilterW: its first hook calls the procedure, its last one stands
// for the next hook.
struct Chain {
  HookProcedure procedure = nullptr;
  int code = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  LRESULT returned = 0;
  int nextCalls = 0;
  int nextCode = 0;
  WPARAM nextWParam = 0;
  LPARAM nextLParam = 0;
};
Chain* g_chain = nullptr;
constexpr LRESULT kNextResult = 0x1234ABCD;

LRESULT CALLBACK nextHook(int code, WPARAM wParam, LPARAM lParam) {
  if (g_chain && g_chain->procedure) {
    ++g_chain->nextCalls;
    g_chain->nextCode = code;
    g_chain->nextWParam = wParam;
    g_chain->nextLParam = lParam;
    return kNextResult;
  }
  return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK firstHook(int code, WPARAM wParam, LPARAM lParam) {
  if (g_chain && g_chain->procedure) {
    g_chain->returned = g_chain->procedure(g_chain->code, g_chain->wParam, g_chain->lParam);
    return TRUE;
  }
  return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST_P(EachProcedure, ReturnsWhatTheNextHookReturns) {
  HooksServerWindow server;
  TestWindow window({});
  const DWORD thread = ::GetCurrentThreadId();
  // The last hook set is called first.
  UniqueHook next(::SetWindowsHookExW(WH_MSGFILTER, nextHook, nullptr, thread));
  UniqueHook first(::SetWindowsHookExW(WH_MSGFILTER, firstHook, nullptr, thread));
  ASSERT_TRUE(next && first);
  std::vector<std::pair<int, WPARAM>> calls = GetParam().acting;
  calls.insert(calls.end(), GetParam().ignoring.begin(), GetParam().ignoring.end());
  for (const auto& [code, hookWParam] : calls) {
    SCOPED_TRACE(testing::Message() << "code " << code << ", wParam " << hookWParam);
    HookData data(GetParam().data, window.get(), WM_PAINT, 0, 0);
    Chain chain{hook_, code, hookWParam, data.param()};
    g_chain = &chain;
    MSG trigger = {window.get(), WM_NULL};
    ::CallMsgFilterW(&trigger, 0x4000);
    g_chain = nullptr;
    EXPECT_EQ(chain.nextCalls, 1);
    EXPECT_EQ(chain.returned, kNextResult);
    EXPECT_EQ(chain.nextCode, code);
    EXPECT_EQ(chain.nextWParam, hookWParam);
    EXPECT_EQ(chain.nextLParam, data.param());
  }
  // It acted on its own codes along the way.
  EXPECT_EQ(server.take().size(), GetParam().acting.size());
}

INSTANTIATE_TEST_SUITE_P(Exported, EachProcedure, testing::ValuesIn(kProcedures),
                         [](const testing::TestParamInfo<Procedure>& info) {
                           return std::string(info.param.name);
                         });

// Hidden windows, the server and its children and owned popups (whose parent is the server)
// report nothing; a visible server makes sure it is not just their visibility that counts.
TEST_F(WindowHooksTest, ReportsNothingForHiddenWindowsOrTheServerAndWindowsUnderIt) {
  HooksServerWindow server(true);
  ASSERT_TRUE(::IsWindowVisible(server.window()));
  TestWindow hidden({.visible = false});
  TestWindow child({.rect = {10, 10, 60, 60}, .parent = server.window()});
  TestWindow owned({.parent = nullptr, .owner = server.window()});
  ASSERT_TRUE(::IsWindowVisible(child.get()) && ::IsWindowVisible(owned.get()));
  ASSERT_EQ(::GetParent(owned.get()), server.window());
  const ATOM atom = ::GlobalFindAtomW(L"Zelk.SCRCAPHK.PopupSelectionAtom");
  TestWindow other({});
  for (const Procedure& p : kProcedures) {
    SCOPED_TRACE(p.name);
    const HookProcedure hook = procedure(p.name);
    ASSERT_NE(hook, nullptr);
    for (HWND window : {hidden.get(), server.window(), child.get(), owned.get()}) {
      for (UINT message : {0x0046u, 0x0047u, 0x01E2u, 0x01E5u, 0x0085u, 0x000Fu, 0x0200u}) {
        SCOPED_TRACE(testing::Message()
                     << "window " << window << ", message 0x" << std::hex << message);
        observeAs(p, hook, window, message, 9);
        EXPECT_EQ(server.take(), std::vector<Report>{});
      }
      EXPECT_EQ(::GetPropW(window, MAKEINTATOM(atom)), nullptr) << "a selection was remembered";
    }
    // The same message from a window beside them is reported.
    observeAs(p, hook, other.get(), WM_PAINT);
    EXPECT_EQ(server.take(),
              (std::vector<Report>{{reports_.windowClientAreaChanged, WM_PAINT, other.param()}}));
  }
}

// With no server window the procedures post nothing (not to this thread's queue either, as a
// post to no window would) and still pass every message on.
TEST_F(WindowHooksTest, WithoutAServerNothingIsPostedAndNothingFails) {
  ASSERT_EQ(::FindWindowW(nullptr, L"Zelkgrab Hooks Server object"), nullptr);
  TestWindow window({});
  for (const Procedure& p : kProcedures) {
    const HookProcedure hook = procedure(p.name);
    ASSERT_NE(hook, nullptr);
    for (UINT message : {0x0046u, 0x0002u, 0x0047u, 0x01E5u, 0x0086u, 0x000Fu, 0x0200u}) {
      observeAs(p, hook, window.get(), message, 1);
    }
  }
  MSG msg;
  EXPECT_FALSE(::PeekMessageW(&msg, reinterpret_cast<HWND>(-1), 0, 0, PM_REMOVE))
      << "message 0x" << std::hex << msg.message << " posted to the thread";
  HooksServerWindow server;
  EXPECT_EQ(server.take(), std::vector<Report>{});
}

// The server is found again when the one the module knew is gone: a new window with the same
// title receives the reports.
TEST_F(WindowHooksTest, ReportsReachANewServerWithTheSameTitle) {
  const HookProcedure hook = procedure("HookCallWndProc");
  ASSERT_NE(hook, nullptr);
  TestWindow window({});
  auto paint = [&] { observeAs(kProcedures[0], hook, window.get(), WM_PAINT); };
  const std::vector<Report> reported = {
      {reports_.windowClientAreaChanged, WM_PAINT, window.param()}};
  for (int generation = 0; generation < 3; ++generation) {
    SCOPED_TRACE(testing::Message() << "server " << generation);
    HooksServerWindow server;
    paint();
    paint();
    EXPECT_EQ(server.take(), (std::vector<Report>{reported[0], reported[0]}));
  }
  paint();  // between servers
  HooksServerWindow last;
  EXPECT_EQ(last.take(), std::vector<Report>{});
  paint();
  EXPECT_EQ(last.take(), reported);
}

}  // namespace
