// Zelkpanel.exe as a local COM server, always as a real second process: its command line and
// registration, when an idle server ends, the queue object with its frame window, the window
// enumerator, the instance enumerator with filters held by a third process, and the hooks
// server feeding every queue.
#include <windows.h>
#include <psapi.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/guid_text.h"
#include "hooked_program.h"
#include "minidump_check.h"
#include "panel_process.h"
#include "scratch_folder.h"
#include "zelkgrab.h"
#include "zelkpanel.h"

using Microsoft::WRL::ComPtr;
using namespace panel_test;

namespace {

testing::Environment* const kRegisteredPanel =
    testing::AddGlobalTestEnvironment(new RegisteredPanel());

bool keyExists(const std::wstring& path) {
  UniqueRegKey key;
  return ::RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

// The default value (null name) or a named string value; "<none>" when missing.
std::wstring stringValue(const std::wstring& path, const wchar_t* name = nullptr) {
  wchar_t value[1024] = {};
  DWORD bytes = sizeof(value) - sizeof(wchar_t);
  if (::RegGetValueW(HKEY_CLASSES_ROOT, path.c_str(), name, RRF_RT_REG_SZ, nullptr, value,
                     &bytes) != ERROR_SUCCESS) {
    return L"<none>";
  }
  return value;
}

std::wstring panelPath() { return hooks_test::besideThisProgram(L"Zelkpanel.exe"); }

struct ClassNames {
  const CLSID& clsid;
  const wchar_t* progId;
  const wchar_t* independent;
  const wchar_t* description;
};
const ClassNames kClasses[] = {
    {CLSID_ZelkgrabQueue, L"Zelkpanel.ZelkgrabQueue.1", L"Zelkpanel.ZelkgrabQueue",
     L"ZelkgrabQueue Class"},
    {CLSID_ZelkgrabEnum, L"Zelkpanel.ZelkgrabEnum.1", L"Zelkpanel.ZelkgrabEnum",
     L"ZelkgrabEnum Class"},
    {CLSID_ZelkgrabWndEnum, L"Zelkpanel.ZelkgrabWndEnum.1", L"Zelkpanel.ZelkgrabWndEnum",
     L"ZelkgrabWndEnum Class"},
};

std::wstring typeLibraryKey() { return L"TypeLib\\" + formatGuid(LIBID_ZelkpanelLib) + L"\\1.0"; }

void expectRegistered() {
  for (const ClassNames& names : kClasses) {
    SCOPED_TRACE(testing::Message() << std::wstring(names.progId).c_str());
    const std::wstring clsid = formatGuid(names.clsid);
    const std::wstring classKey = L"CLSID\\" + clsid;
    EXPECT_EQ(stringValue(names.progId), names.description);
    EXPECT_EQ(stringValue(std::wstring(names.progId) + L"\\CLSID"), clsid);
    EXPECT_EQ(stringValue(names.independent), names.description);
    EXPECT_EQ(stringValue(std::wstring(names.independent) + L"\\CLSID"), clsid);
    EXPECT_EQ(stringValue(std::wstring(names.independent) + L"\\CurVer"), names.progId);
    EXPECT_EQ(stringValue(classKey), names.description);
    EXPECT_EQ(stringValue(classKey + L"\\ProgID"), names.progId);
    EXPECT_EQ(stringValue(classKey + L"\\VersionIndependentProgID"), names.independent);
    EXPECT_TRUE(keyExists(classKey + L"\\Programmable"));
    EXPECT_EQ(stringValue(classKey + L"\\LocalServer32"), panelPath());
    EXPECT_EQ(stringValue(classKey, L"AppID"), L"");
    EXPECT_EQ(stringValue(classKey + L"\\TypeLib"), formatGuid(LIBID_ZelkpanelLib));
    EXPECT_FALSE(keyExists(classKey + L"\\InprocServer32"));
  }
  EXPECT_EQ(stringValue(L"AppID"), L"Zelkpanel");
  EXPECT_EQ(stringValue(L"AppID\\Zelkpanel.EXE", L"AppID"), L"");
  EXPECT_TRUE(keyExists(typeLibraryKey()));
}

void expectUnregistered() {
  for (const ClassNames& names : kClasses) {
    SCOPED_TRACE(testing::Message() << std::wstring(names.progId).c_str());
    EXPECT_FALSE(keyExists(names.progId));
    EXPECT_FALSE(keyExists(names.independent));
    EXPECT_FALSE(keyExists(L"CLSID\\" + formatGuid(names.clsid)));
  }
  EXPECT_FALSE(keyExists(L"AppID\\Zelkpanel.EXE"));
  EXPECT_TRUE(keyExists(L"AppID")) << "the application ids of others stay";
  EXPECT_FALSE(keyExists(typeLibraryKey()));
}

// A test that unregisters the panel puts the registration back for the next ones.
class Reregister {
 public:
  ~Reregister() { EXPECT_EQ(runPanel(L"/RegServer"), 0u); }
};

// A window of this test's own, shown without being activated: under Wine an activated window
// takes seconds to go away on a display without a window manager.
HWND showWindow(const wchar_t* title, int x, int y, DWORD style = WS_POPUP | WS_VISIBLE) {
  static const ATOM windowClass = [] {
    WNDCLASSW description = {};
    description.lpfnWndProc = ::DefWindowProcW;
    description.hInstance = ::GetModuleHandleW(nullptr);
    description.lpszClassName = L"ZelkPanelTestWindow";
    return ::RegisterClassW(&description);
  }();
  HWND window = ::CreateWindowExW(0, MAKEINTATOM(windowClass), title, style & ~WS_VISIBLE, x, y,
                                  120, 80, nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
  if (window && (style & WS_VISIBLE))
    ::ShowWindow(window, (style & WS_MINIMIZE) ? SW_SHOWMINNOACTIVE : SW_SHOWNOACTIVATE);
  return window;
}

class PanelServerTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(SUCCEEDED(apartment_.result())); }
  ComApartment apartment_{COINIT_APARTMENTTHREADED};
};

// ---- Command line and registration

TEST_F(PanelServerTest, RegistrationWordsRegisterAndEndAtOnceWhateverTheirPrefix) {
  Reregister reregister;
  for (const wchar_t* word : {L"/RegServer", L"-RegServer", L"RegServer"}) {
    SCOPED_TRACE(testing::Message() << std::wstring(word).c_str());
    ASSERT_EQ(runPanel(L"/UnregServer"), 0u);
    expectUnregistered();
    const ULONGLONG started = ::GetTickCount64();
    ASSERT_EQ(runPanel(word), 0u);
    EXPECT_LT(::GetTickCount64() - started, 5000u) << "registration shows nothing and ends";
    expectRegistered();
  }
  // Registering again over an existing registration gives the same keys.
  ASSERT_EQ(runPanel(L"RegServer"), 0u);
  expectRegistered();
}

TEST_F(PanelServerTest, OtherWordsAndOtherLetterCaseDoNotRegister) {
  Reregister reregister;
  ASSERT_EQ(runPanel(L"/UnregServer"), 0u);

  // Lower case is no registration word: the interactive start shows its selection dialog.
  {
    Program panel(L"Zelkpanel.exe", L"/regserver");
    ASSERT_TRUE(panel.started());
    HWND dialog = nullptr;
    for (int i = 0; i < 300 && !dialog; ++i) {
      HWND found = ::FindWindowW(nullptr, L"Zelk Screen Capture Driver instance selection");
      if (found && windowProcess(found) == panel.id() && ::IsWindowVisible(found)) dialog = found;
      if (!dialog) ::Sleep(50);
    }
    ASSERT_NE(dialog, nullptr) << "no selection dialog";
    ::PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(panel.wait(5000), 0u) << "Cancel ends the interactive run";
  }
  // The first word decides: a server that does not register.
  {
    Program panel(L"Zelkpanel.exe", L"-Embedding /RegServer");
    ASSERT_TRUE(panel.started());
    EXPECT_EQ(panel.wait(2000), static_cast<DWORD>(STILL_ACTIVE)) << "a server keeps running";
    endPanelsNow();
  }
  expectUnregistered();
}

TEST_F(PanelServerTest, AServerStartedByHandServesTheNextClient) {
  // Some other word first: it is passed over.
  Program panel(L"Zelkpanel.exe", L"foo Embedding");
  ASSERT_TRUE(panel.started());
  ASSERT_EQ(::WaitForInputIdle(panel.handle(), 10000), 0u) << "the server reached its loop";
  ComPtr<IZelkgrabQueue> queue;
  ASSERT_EQ(createInPanel(CLSID_ZelkgrabQueue, queue), S_OK);
  HWND server = hooksServerWindow();
  ASSERT_NE(server, nullptr);
  EXPECT_EQ(windowProcess(server), panel.id()) << "the running server made the object";
  queue.Reset();
  EXPECT_NE(panel.wait(kLongestEndMs), static_cast<DWORD>(STILL_ACTIVE));
}

// ---- Crash handler

TEST_F(PanelServerTest, ACrashedPanelLeavesAMinidumpInTheUsersTemporaryFolder) {
  minidump_check::ScratchFolder folder;
  ASSERT_FALSE(folder.path().empty());
  const std::vector<std::wstring> environment = {L"TMP=" + folder.path(), L"TEMP=" + folder.path(),
                                                 L"ZELKPANEL_TEST_CRASH=1"};
  {
    // A test build of the panel that crashes on request, right after its first step.
    Program crashing(L"Zelkpanel_crashtest.exe", L"", environment);
    ASSERT_TRUE(crashing.started());
    EXPECT_EQ(crashing.wait(60000), static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION));
  }
  const auto dumps = minidump_check::dumpFiles(folder.path(), L"Zelkpanel_crashtest");
  ASSERT_EQ(dumps.size(), 1u);
  std::string why;
  EXPECT_TRUE(minidump_check::isMinidumpOfException(folder.path() + L"\\" + dumps[0],
                                                    EXCEPTION_ACCESS_VIOLATION, &why))
      << why;

  // The program users get has no such switch.
  Program panel(L"Zelkpanel.exe", L"/RegServer", environment);
  EXPECT_EQ(panel.wait(15000), 0u);
  EXPECT_TRUE(minidump_check::dumpFiles(folder.path(), L"Zelkpanel").empty());
}

TEST_F(PanelServerTest, ThePanelRunsWithoutTheCrashHandlerBesideIt) {
  Reregister reregister;
  minidump_check::ScratchFolder folder;
  ASSERT_FALSE(folder.path().empty());
  const std::wstring copy = folder.path() + L"\\Zelkpanel.exe";
  ASSERT_TRUE(::CopyFileW(panelPath().c_str(), copy.c_str(), TRUE));
  STARTUPINFOW startup = {sizeof(startup)};
  PROCESS_INFORMATION process = {};
  std::wstring line = L"\"" + copy + L"\" /UnregServer";
  ASSERT_TRUE(::CreateProcessW(copy.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &process));
  UniqueHandle handle(process.hProcess);
  ::CloseHandle(process.hThread);
  ASSERT_EQ(::WaitForSingleObject(handle.get(), 15000), WAIT_OBJECT_0);
  DWORD code = STILL_ACTIVE;
  ::GetExitCodeProcess(handle.get(), &code);
  EXPECT_EQ(code, 0u);
  expectUnregistered();
  handle.reset();
  ::DeleteFileW(copy.c_str());
}

// ---- Lifetime

// How long after `since` the process `id` ended; ~0 if it ran on for over `ms`.
ULONGLONG endsAfter(DWORD id, ULONGLONG since, DWORD ms) {
  UniqueHandle process(::OpenProcess(SYNCHRONIZE, FALSE, id));
  if (!process) return ~0ull;
  if (::WaitForSingleObject(process.get(), ms) != WAIT_OBJECT_0) return ~0ull;
  return ::GetTickCount64() - since;
}

TEST_F(PanelServerTest, AnIdleServerEndsFiveSecondsAfterItsLastObject) {
  ASSERT_TRUE(waitUntilNoPanel(kLongestEndMs));
  ComPtr<IZelkgrabWndEnum> windows;
  ASSERT_EQ(createInPanel(CLSID_ZelkgrabWndEnum, windows), S_OK);
  const std::vector<DWORD> panels = panelProcesses();
  ASSERT_EQ(panels.size(), 1u) << "COM started one server";
  windows.Reset();
  const ULONGLONG released = ::GetTickCount64();
  const ULONGLONG ended = endsAfter(panels[0], released, kLongestEndMs);
  EXPECT_GE(ended, 4500u);
  EXPECT_LE(ended, 7000u);
}

TEST_F(PanelServerTest, AnObjectMadeWithinTheQuietTimeKeepsTheServerRunning) {
  ASSERT_TRUE(waitUntilNoPanel(kLongestEndMs));
  ComPtr<IZelkgrabWndEnum> windows;
  ASSERT_EQ(createInPanel(CLSID_ZelkgrabWndEnum, windows), S_OK);
  const std::vector<DWORD> panels = panelProcesses();
  ASSERT_EQ(panels.size(), 1u);
  UniqueHandle panel(::OpenProcess(SYNCHRONIZE, FALSE, panels[0]));
  windows.Reset();
  ::Sleep(3000);
  ASSERT_EQ(createInPanel(CLSID_ZelkgrabWndEnum, windows), S_OK);
  EXPECT_EQ(panelProcesses(), panels) << "the same server answered";
  EXPECT_EQ(::WaitForSingleObject(panel.get(), 4000), static_cast<DWORD>(WAIT_TIMEOUT))
      << "an object is alive: the server runs on";
  windows.Reset();
  const ULONGLONG ended = endsAfter(panels[0], ::GetTickCount64(), kLongestEndMs);
  EXPECT_GE(ended, 4500u);
  EXPECT_LE(ended, 7000u);
}

// ---- Queue object

class QueueTest : public PanelServerTest {
 protected:
  void SetUp() override {
    PanelServerTest::SetUp();
    ASSERT_EQ(createInPanel(CLSID_ZelkgrabQueue, queue_), S_OK);
    HWND server = hooksServerWindow();
    ASSERT_NE(server, nullptr);
    const std::vector<HWND> frames = frameWindows(windowProcess(server));
    ASSERT_EQ(frames.size(), 1u) << "one frame window for the one queue";
    frame_ = frames[0];
  }
  void TearDown() override { queue_.Reset(); }

  std::wstring get(const wchar_t* property) {
    std::wstring value = L"<untouched>";
    EXPECT_EQ(getQueue(queue_.Get(), property, &value), S_OK) << std::wstring(property).c_str();
    return value;
  }

  ComPtr<IZelkgrabQueue> queue_;
  HWND frame_ = nullptr;
};

TEST_F(QueueTest, EventsComeOutFirstInFirstOutAndAnEmptyQueueSaysSFalse) {
  takeEvents(queue_.Get());  // whatever the hooks reported meanwhile
  UniqueBstr event(::SysAllocString(L"event"));
  UniqueBstr untouched(::SysAllocString(L"untouched"));
  BSTR value = untouched.get();
  // The hooks may report something at any time; "A" and "B" keep their order among it.
  ASSERT_EQ(putQueue(queue_.Get(), L"event", L"A"), S_OK);
  ASSERT_EQ(putQueue(queue_.Get(), L"event", L"B"), S_OK);
  std::vector<std::wstring> events = takeEvents(queue_.Get());
  events.erase(std::remove_if(events.begin(), events.end(),
                              [](const std::wstring& e) { return e != L"A" && e != L"B"; }),
               events.end());
  EXPECT_EQ(events, (std::vector<std::wstring>{L"A", L"B"}));
  // Nothing left: S_FALSE. (Marshalling gives the caller a fresh null for an untouched out
  // value, so only the result can be checked across processes.)
  EXPECT_EQ(queue_->get_qparam(event.get(), &value), S_FALSE);
}

TEST_F(QueueTest, FrameSettingsStartAtTheirDefaultsAndReadBackAsDecimalText) {
  EXPECT_EQ(get(L"FrameColor"), L"255");
  EXPECT_EQ(get(L"FrameAlpha"), L"255");
  EXPECT_EQ(get(L"FrameBorderCX"), L"3");
  EXPECT_EQ(get(L"FrameBorderCY"), L"3");
  EXPECT_EQ(get(L"FrameShow"), L"0");
  EXPECT_FALSE(::IsWindowVisible(frame_));

  EXPECT_EQ(putQueue(queue_.Get(), L"FrameAlpha", L"300"), S_OK);
  EXPECT_EQ(get(L"FrameAlpha"), L"44") << "kept as one byte";
  EXPECT_EQ(putQueue(queue_.Get(), L"FrameColor", L"  16711680xyz"), S_OK);
  EXPECT_EQ(get(L"FrameColor"), L"16711680") << "leading blanks and trailing text are allowed";
  EXPECT_EQ(putQueue(queue_.Get(), L"FrameColor", L"-1"), S_OK);
  EXPECT_EQ(get(L"FrameColor"), L"4294967295") << "a 32-bit colour, unsigned";
  EXPECT_EQ(putQueue(queue_.Get(), L"FrameBorderCX", L"junk"), S_OK);
  EXPECT_EQ(get(L"FrameBorderCX"), L"0");

  BYTE alpha = 0;
  DWORD flags = 0;
  ASSERT_TRUE(::GetLayeredWindowAttributes(frame_, nullptr, &alpha, &flags));
  EXPECT_EQ(alpha, 44);
  EXPECT_TRUE(flags & LWA_ALPHA);
}

TEST_F(QueueTest, UnknownPropertiesAndMissingArgumentsAreRefused) {
  std::wstring value;
  EXPECT_EQ(getQueue(queue_.Get(), L"FramePos", &value), E_INVALIDARG) << "written only";
  EXPECT_EQ(getQueue(queue_.Get(), L"frameshow", &value), E_INVALIDARG) << "case counts";
  EXPECT_EQ(putQueue(queue_.Get(), L"frameshow", L"1"), E_INVALIDARG);
  EXPECT_EQ(putQueue(queue_.Get(), L"Event", L"A"), E_INVALIDARG);
  EXPECT_EQ(getQueue(queue_.Get(), L"", &value), E_INVALIDARG);
  // A null text crosses the process boundary as null (out-pointers never do).
  UniqueBstr name(::SysAllocString(L"event"));
  EXPECT_EQ(queue_->put_qparam(nullptr, name.get()), E_POINTER);
  EXPECT_EQ(queue_->put_qparam(name.get(), nullptr), E_POINTER);
  UniqueBstr text;
  EXPECT_EQ(queue_->get_qparam(nullptr, text.put()), E_POINTER);
}

TEST_F(QueueTest, TheFrameIsALayeredClickThroughTopMostToolWindowHollowAroundThePosition) {
  const LONG_PTR extended = ::GetWindowLongPtrW(frame_, GWL_EXSTYLE);
  EXPECT_TRUE(extended & WS_EX_LAYERED);
  EXPECT_TRUE(extended & WS_EX_TRANSPARENT);
  EXPECT_TRUE(extended & WS_EX_TOPMOST);
  EXPECT_TRUE(extended & WS_EX_TOOLWINDOW);
  const LONG_PTR style = ::GetWindowLongPtrW(frame_, GWL_STYLE);
  EXPECT_TRUE(style & WS_POPUP);
  EXPECT_FALSE(style & WS_CAPTION);

  ASSERT_EQ(putQueue(queue_.Get(), L"FramePos", L"10,20,110,220"), S_OK);
  ASSERT_EQ(putQueue(queue_.Get(), L"FrameShow", L"1"), S_OK);
  EXPECT_TRUE(::IsWindowVisible(frame_));
  EXPECT_EQ(get(L"FrameShow"), L"1");
  RECT rect = {};
  ASSERT_TRUE(::GetWindowRect(frame_, &rect));
  EXPECT_EQ(rect.left, 7);
  EXPECT_EQ(rect.top, 17);
  EXPECT_EQ(rect.right - rect.left, 106);
  EXPECT_EQ(rect.bottom - rect.top, 206);

  // The region: a 3-pixel frame whose hole is exactly the given rectangle.
  HRGN region = ::CreateRectRgn(0, 0, 0, 0);
  ASSERT_NE(::GetWindowRgn(frame_, region), ERROR);
  RECT box = {};
  ::GetRgnBox(region, &box);
  EXPECT_EQ(box.left, 0);
  EXPECT_EQ(box.top, 0);
  EXPECT_EQ(box.right, 106);
  EXPECT_EQ(box.bottom, 206);
  EXPECT_TRUE(::PtInRegion(region, 0, 0));
  EXPECT_TRUE(::PtInRegion(region, 2, 100));
  EXPECT_FALSE(::PtInRegion(region, 3, 3)) << "the hole starts at the border";
  EXPECT_FALSE(::PtInRegion(region, 102, 202));
  EXPECT_TRUE(::PtInRegion(region, 103, 100));
  EXPECT_TRUE(::PtInRegion(region, 50, 203));
  ::DeleteObject(region);

  // Three numbers are not a position: nothing moves.
  EXPECT_EQ(putQueue(queue_.Get(), L"FramePos", L"30,40,130"), E_INVALIDARG);
  EXPECT_EQ(putQueue(queue_.Get(), L"FramePos", L""), E_INVALIDARG);
  ASSERT_TRUE(::GetWindowRect(frame_, &rect));
  EXPECT_EQ(rect.left, 7);
  EXPECT_EQ(rect.top, 17);
  // An empty piece is 0, and pieces after the fourth do not count.
  EXPECT_EQ(putQueue(queue_.Get(), L"FramePos", L",5,50,45,99"), S_OK);
  ASSERT_TRUE(::GetWindowRect(frame_, &rect));
  EXPECT_EQ(rect.left, -3);
  EXPECT_EQ(rect.top, 2);
  EXPECT_EQ(rect.right, 53);
  EXPECT_EQ(rect.bottom, 48);

  // Wider borders take effect with the next position.
  EXPECT_EQ(putQueue(queue_.Get(), L"FrameBorderCX", L"10"), S_OK);
  EXPECT_EQ(putQueue(queue_.Get(), L"FrameBorderCY", L"5"), S_OK);
  ASSERT_TRUE(::GetWindowRect(frame_, &rect));
  EXPECT_EQ(rect.left, -3) << "no immediate change";
  EXPECT_EQ(putQueue(queue_.Get(), L"FramePos", L"100,100,200,150"), S_OK);
  ASSERT_TRUE(::GetWindowRect(frame_, &rect));
  EXPECT_EQ(rect.left, 90);
  EXPECT_EQ(rect.top, 95);
  EXPECT_EQ(rect.right, 210);
  EXPECT_EQ(rect.bottom, 155);

  ASSERT_EQ(putQueue(queue_.Get(), L"FrameShow", L"0"), S_OK);
  EXPECT_FALSE(::IsWindowVisible(frame_));
  EXPECT_EQ(get(L"FrameShow"), L"0");
}

TEST_F(QueueTest, AutomationClientsReachTheSameMembersByName) {
  ComPtr<IDispatch> dispatch;
  ASSERT_EQ(queue_.As(&dispatch), S_OK);
  LPOLESTR name = const_cast<LPOLESTR>(L"qparam");
  DISPID id = 0;
  ASSERT_EQ(dispatch->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id), S_OK);
  EXPECT_EQ(id, 2);

  VARIANT arguments[2];
  arguments[1].vt = VT_BSTR;  // reversed: the property name is the first argument
  arguments[1].bstrVal = ::SysAllocString(L"FrameAlpha");
  arguments[0].vt = VT_BSTR;
  arguments[0].bstrVal = ::SysAllocString(L"7");
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS put = {arguments, &named, 2, 1};
  EXPECT_EQ(dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &put, nullptr,
                             nullptr, nullptr),
            S_OK);
  DISPPARAMS get = {&arguments[1], nullptr, 1, 0};
  VARIANT result;
  ::VariantInit(&result);
  EXPECT_EQ(dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &get, &result,
                             nullptr, nullptr),
            S_OK);
  ASSERT_EQ(result.vt, VT_BSTR);
  EXPECT_STREQ(result.bstrVal, L"7");
  ::VariantClear(&result);
  ::VariantClear(&arguments[0]);
  ::VariantClear(&arguments[1]);
}

// ---- Window enumerator

TEST_F(PanelServerTest, TheWindowEnumeratorListsOtherProcessesVisibleTitledWindowsSorted) {
  // Made before the enumerator: its snapshot is taken when it is made.
  HWND zeta = showWindow(L"zeta panel test window", 50, 50);
  HWND alpha = showWindow(L"Alpha panel test window", 60, 60);
  HWND hidden = showWindow(L"hidden panel test window", 70, 70, WS_POPUP);
  HWND untitled = showWindow(L"", 80, 80);
  HWND minimised = showWindow(L"minimised panel test window", 90, 90,
                              WS_OVERLAPPEDWINDOW | WS_VISIBLE | WS_MINIMIZE);
  ASSERT_TRUE(zeta && alpha && hidden && untitled && minimised);
  // The panel's own windows never appear, even with a title.
  ComPtr<IZelkgrabQueue> queue;
  ASSERT_EQ(createInPanel(CLSID_ZelkgrabQueue, queue), S_OK);
  ASSERT_EQ(putQueue(queue.Get(), L"FramePos", L"300,300,400,400"), S_OK);
  ASSERT_EQ(putQueue(queue.Get(), L"FrameShow", L"1"), S_OK);
  const std::vector<HWND> frames = frameWindows(windowProcess(hooksServerWindow()));
  ASSERT_EQ(frames.size(), 1u);
  ASSERT_TRUE(::SetWindowTextW(frames[0], L"panel frame with a title"));

  ComPtr<IZelkgrabWndEnum> windows;
  ASSERT_EQ(createInPanel(CLSID_ZelkgrabWndEnum, windows), S_OK);
  for (HWND window : {zeta, alpha, hidden, untitled, minimised}) ::DestroyWindow(window);
  ULONG count = 0;
  ASSERT_EQ(windows->get_count(&count), S_OK);
  std::vector<std::wstring> names;
  std::vector<LONGLONG> handles;
  for (ULONG n = 0; n < count; ++n) {
    UniqueBstr name;
    LONGLONG handle = 0;
    ASSERT_EQ(windows->get_name(n, name.put()), S_OK);
    ASSERT_EQ(windows->get_windowhandle(n, &handle), S_OK);
    names.emplace_back(name.get());
    handles.push_back(handle);
  }
  auto position = [&](const wchar_t* title) {
    return std::find(names.begin(), names.end(), title) - names.begin();
  };
  const auto alphaAt = position(L"Alpha panel test window");
  const auto zetaAt = position(L"zeta panel test window");
  ASSERT_LT(alphaAt, static_cast<long>(count));
  ASSERT_LT(zetaAt, static_cast<long>(count));
  EXPECT_LT(alphaAt, zetaAt) << "sorted without regard to letter case";
  EXPECT_EQ(handles[alphaAt], static_cast<LONGLONG>(reinterpret_cast<intptr_t>(alpha)));
  for (const wchar_t* excluded :
       {L"hidden panel test window", L"minimised panel test window", L"panel frame with a title"}) {
    EXPECT_EQ(position(excluded), static_cast<long>(count)) << std::wstring(excluded).c_str();
  }
  EXPECT_EQ(std::count(names.begin(), names.end(), L""), 0);
  for (size_t i = 1; i < names.size(); ++i) {
    std::wstring previous = names[i - 1], current = names[i];
    ::CharUpperBuffW(previous.data(), static_cast<DWORD>(previous.size()));
    ::CharUpperBuffW(current.data(), static_cast<DWORD>(current.size()));
    EXPECT_LE(previous, current) << "at " << i;
  }

  UniqueBstr name;
  LONGLONG handle = 0;
  EXPECT_EQ(windows->get_name(count, name.put()), E_INVALIDARG);
  EXPECT_EQ(windows->get_windowhandle(count, &handle), E_INVALIDARG);
}

// ---- Instance enumerator

TEST_F(PanelServerTest, WithoutFiltersTheInstanceListIsEmpty) {
  ComPtr<IZelkgrabEnum> instances;
  ASSERT_EQ(createInPanel(CLSID_ZelkgrabEnum, instances), S_OK);
  ULONG count = 99;
  ASSERT_EQ(instances->get_count(&count), S_OK);
  EXPECT_EQ(count, 0u);
  UniqueBstr name;
  EXPECT_EQ(instances->get_name(0, name.put()), E_INVALIDARG);
  ComPtr<IUnknown> object;
  EXPECT_EQ(instances->get_object(0, &object), E_INVALIDARG);
  EXPECT_EQ(instances->CreateDlgN(0), E_INVALIDARG);
  // A new filter is made in the panel's process, and its dialog opens.
  EXPECT_EQ(instances->CreateDlgN(-1), S_OK);
  EXPECT_EQ(closeMainDialogs(), 1);
  ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\MorvainLabs\\Zelkgrab");
  EXPECT_EQ(instances->CreateDlg(nullptr), E_POINTER);
}

TEST_F(PanelServerTest, AFilterOfAnotherProcessIsListedAndControlledThroughThePanel) {
  // Made and asked before the filter starts: it keeps its first answer.
  ComPtr<IZelkgrabEnum> early;
  ASSERT_EQ(createInPanel(CLSID_ZelkgrabEnum, early), S_OK);
  ULONG earlyCount = 0;
  ASSERT_EQ(early->get_count(&earlyCount), S_OK);

  FilterHost host(L"");
  ASSERT_TRUE(host.started());
  const long position = waitForInstance(host.entrySuffix());
  ASSERT_GE(position, 0) << "the host's filter is listed";
  ULONG count = 0;
  ASSERT_EQ(early->get_count(&count), S_OK);
  EXPECT_EQ(count, earlyCount) << "an enumerator's list is a snapshot";

  ComPtr<IZelkgrabEnum> instances;
  ASSERT_EQ(createInPanel(CLSID_ZelkgrabEnum, instances), S_OK);
  UniqueBstr name;
  ASSERT_EQ(instances->get_name(position, name.put()), S_OK);
  const std::wstring text(name.get());
  EXPECT_EQ(text.rfind(L"!Zelkgrab ", 0), 0u) << "the item moniker's display name";
  EXPECT_EQ(text.size(), std::wstring(L"!Zelkgrab 01234567 pid 01234567").size());
  EXPECT_EQ(text.find(L"FilterGraph"), std::wstring::npos);

  ComPtr<IUnknown> object;
  ASSERT_EQ(instances->get_object(position, &object), S_OK);
  ComPtr<IZelkgrab> control;
  ASSERT_EQ(object.As(&control), S_OK);
  UniqueBstr path(::SysAllocString(L"params\\output\\cx"));
  ASSERT_EQ(control->put_sc_prop(path.get(), 352), S_OK);
  LONG value = 0;
  ASSERT_EQ(control->get_sc_prop(path.get(), &value), S_OK);
  EXPECT_EQ(value, 352) << "the filter in the host answers";
  EXPECT_EQ(instances->get_object(count + 5, &object), E_INVALIDARG);
  EXPECT_EQ(instances->CreateDlgN(position), S_OK);
  EXPECT_EQ(closeMainDialogs(), 1);
  control.Reset();
  object.Reset();

  EXPECT_EQ(host.quit(), 0u);
  ComPtr<IZelkgrabEnum> after;
  ASSERT_EQ(createInPanel(CLSID_ZelkgrabEnum, after), S_OK);
  for (const std::wstring& listed : instanceNames(after.Get())) {
    EXPECT_FALSE(endsWith(listed, host.entrySuffix())) << "a filter that ended is not listed";
  }
}

TEST_F(PanelServerTest, AnEntryOfAProcessThatEndedStillHasANameButNoObject) {
  FilterHost host(L"");
  ASSERT_TRUE(host.started());
  const long position = waitForInstance(host.entrySuffix());
  ASSERT_GE(position, 0);
  ComPtr<IZelkgrabEnum> instances;
  ASSERT_EQ(createInPanel(CLSID_ZelkgrabEnum, instances), S_OK);
  ULONG count = 0;
  ASSERT_EQ(instances->get_count(&count), S_OK);
  ASSERT_LT(static_cast<ULONG>(position), count);

  // Killed: it never revokes its entry nor releases its enumerator.
  host.kill();
  UniqueBstr name;
  EXPECT_EQ(instances->get_name(position, name.put()), S_OK);
  EXPECT_TRUE(endsWith(name.get(), host.entrySuffix()));
  ComPtr<IUnknown> object;
  const HRESULT hr = instances->get_object(position, &object);
  EXPECT_TRUE(FAILED(hr)) << std::hex << hr;
  EXPECT_FALSE(object);
  EXPECT_TRUE(FAILED(instances->CreateDlgN(position)));
  // The killed host never releases its enumerator, so the server would run on.
  instances.Reset();
  endPanelsNow();
}

// ---- Hooks server

// The memory Windows says the process `id` has committed, in bytes; 0 if it cannot be read.
SIZE_T committedMemory(DWORD id) {
  UniqueHandle process(::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, id));
  PROCESS_MEMORY_COUNTERS memory = {sizeof(memory)};
  if (!process || !::GetProcessMemoryInfo(process.get(), &memory, sizeof(memory))) return 0;
  return memory.PagefileUsage;
}

// Every streaming filter makes and releases a queue, and with it the hooks, so a panel that
// serves for days must not grow by it. Wine's own marshalling keeps about 2 KB per object
// exported; loading the hook module for every first queue cost 4 KB more.
TEST_F(PanelServerTest, MakingAndReleasingQueuesCostsThePanelNoMemory) {
  ComPtr<IZelkgrabWndEnum> keepsTheServer;
  ASSERT_EQ(createInPanel(CLSID_ZelkgrabWndEnum, keepsTheServer), S_OK);
  const std::vector<DWORD> panels = panelProcesses();
  ASSERT_EQ(panels.size(), 1u);
  const auto churn = [](int queues) {
    for (int i = 0; i < queues; ++i) {
      ComPtr<IZelkgrabQueue> queue;
      ASSERT_EQ(createInPanel(CLSID_ZelkgrabQueue, queue), S_OK);
      ASSERT_EQ(putQueue(queue.Get(), L"FramePos", L"10,10,330,250"), S_OK);
      ASSERT_EQ(putQueue(queue.Get(), L"FrameShow", L"1"), S_OK);
    }
  };
  churn(20);  // warm-up: caches and pools settle
  const SIZE_T before = committedMemory(panels[0]);
  ASSERT_GT(before, 0u);
  churn(300);
  const SIZE_T after = committedMemory(panels[0]);
  ASSERT_GT(after, 0u);
  EXPECT_LT(static_cast<LONGLONG>(after) - static_cast<LONGLONG>(before), 1 << 20)
      << "grew from " << before / 1024 << " KB to " << after / 1024 << " KB";
}

TEST_F(PanelServerTest, EveryQueueGetsEachReportOnceAndTheLastQueueRemovesTheHooks) {
  hooks_test::HookedProgram program(RECT{500, 400, 700, 500});
  ASSERT_NE(program.window(), nullptr);
  EXPECT_EQ(hooksServerWindow(), nullptr);

  ComPtr<IZelkgrabQueue> first, second;
  ASSERT_EQ(createInPanel(CLSID_ZelkgrabQueue, first), S_OK);
  HWND server = hooksServerWindow();
  ASSERT_NE(server, nullptr) << "the first queue installs the hooks";
  wchar_t className[64] = {};
  ::GetClassNameW(server, className, 64);
  EXPECT_STREQ(className, L"Zelkgrab Hooks Server object_CLASS");
  EXPECT_FALSE(::IsWindowVisible(server));
  ASSERT_EQ(createInPanel(CLSID_ZelkgrabQueue, second), S_OK);
  EXPECT_EQ(hooksServerWindow(), server) << "and only the first";

  // The hooks reach the other program: its window's changes are queued.
  for (int attempt = 0; attempt < 20 && program.ask(WM_APP + 1) != 1; ++attempt) ::Sleep(100);
  EXPECT_EQ(program.ask(WM_APP + 1), 1) << "the filter module is loaded into the program";
  takeEvents(first.Get());
  ::SetWindowPos(program.window(), nullptr, 520, 410, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  std::vector<std::wstring> events;
  for (int i = 0; i < 40; ++i) {
    const std::vector<std::wstring> more = takeEvents(first.Get());
    events.insert(events.end(), more.begin(), more.end());
    if (std::count(events.begin(), events.end(), L"WindowChanged") &&
        std::count(events.begin(), events.end(), L"RectangleChanged")) {
      break;
    }
    ::Sleep(50);
  }
  EXPECT_GT(std::count(events.begin(), events.end(), L"WindowChanged"), 0);
  EXPECT_GT(std::count(events.begin(), events.end(), L"RectangleChanged"), 0);

  // One report, every queue, once each: both queues hold the same sequence.
  takeEvents(first.Get());
  takeEvents(second.Get());
  const UINT cursorChanged = ::RegisterWindowMessageW(L"Zelk.WM_SCRCAPHK.CursorChanged");
  const UINT unrelated = ::RegisterWindowMessageW(L"Zelk.WM_SCRCAPHK.Diagnostic");
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(::PostMessageW(server, cursorChanged, 0, 0));
  ASSERT_TRUE(::PostMessageW(server, unrelated, 0, 0));
  // A round trip to the server's thread after the posts: they are handled by then.
  ::SendMessageW(server, WM_NULL, 0, 0);
  const std::vector<std::wstring> firstEvents = takeEvents(first.Get());
  const std::vector<std::wstring> secondEvents = takeEvents(second.Get());
  EXPECT_GE(std::count(firstEvents.begin(), firstEvents.end(), L"CursorChanged"), 3);
  EXPECT_EQ(firstEvents, secondEvents);
  EXPECT_EQ(std::count(firstEvents.begin(), firstEvents.end(), L"Diagnostic"), 0);

  first.Reset();
  EXPECT_EQ(hooksServerWindow(), server) << "one queue left: the hooks stay";
  second.Reset();
  EXPECT_EQ(hooksServerWindow(), nullptr) << "the last queue removed the hooks and the window";
  EXPECT_EQ(program.close(10000), 0u) << "the hooked program ends normally";
}

}  // namespace
