// The hooks server.
#include "panel/hooks_server.h"

#include <algorithm>

#include "common/module_proc.h"

namespace {

struct EventMessage {
  const wchar_t* message;
  const wchar_t* event;
};

const EventMessage kEventMessages[] = {
    {L"Zelk.WM_SCRCAPHK.WindowChanged", L"WindowChanged"},
    {L"Zelk.WM_SCRCAPHK.WindowBorderChanged", L"WindowBorderChanged"},
    {L"Zelk.WM_SCRCAPHK.WindowClientAreaChanged", L"WindowClientAreaChanged"},
    {L"Zelk.WM_SCRCAPHK.RectangleChanged", L"RectangleChanged"},
    {L"Zelk.WM_SCRCAPHK.CursorChanged", L"CursorChanged"},
};

struct HookEntry {
  int type;
  const char* procedure;
  bool required;  // the installation counts as failed without it
};

const HookEntry kHooks[] = {
    {WH_CALLWNDPROC, "HookCallWndProc", true},
    {WH_CALLWNDPROCRET, "HookCallWndProcRet", false},
    {WH_GETMESSAGE, "HookGetMessage", true},
    {WH_SYSMSGFILTER, "HookDialogMessage", true},
};

}  // namespace

HRESULT HooksServer::Register(EventSink* queue) {
  if (!queue) return E_POINTER;
  CAutoLock lock(&lock_);
  queues_.push_back(queue);
  if (queues_.size() == 1) install();
  return S_OK;
}

HRESULT HooksServer::Unregister(EventSink* queue) {
  CAutoLock lock(&lock_);
  queues_.erase(std::remove(queues_.begin(), queues_.end(), queue), queues_.end());
  if (queues_.empty()) uninstall();
  return S_OK;
}

void HooksServer::Broadcast(const wchar_t* eventName) {
  CAutoLock lock(&lock_);
  for (EventSink* queue : queues_) queue->appendEvent(eventName);
}

HRESULT HooksServer::install() {
  // By file name: the program's own folder comes first in the search. Loaded once for the
  // server's life: under Wine every load and unload of a module costs the process memory
  // for good, and the hooks come and go with every streaming start.
  if (!module_) module_.reset(::LoadLibraryW(kHookModule));
  if (!module_) return E_FAIL;
  for (int i = 0; i < kEvents; ++i) {
    messages_[i] = ::RegisterWindowMessageW(kEventMessages[i].message);
  }

  const HINSTANCE instance = ::GetModuleHandleW(nullptr);
  WNDCLASSEXW windowClass = {};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = &HooksServer::windowProc;
  windowClass.cbWndExtra = 128;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = kWindowClass;
  windowClass_ = ::RegisterClassExW(&windowClass);
  window_ = ::CreateWindowExW(WS_EX_TOOLWINDOW, kWindowClass, kWindowTitle, WS_POPUP, 0, 0, 0, 0,
                              nullptr, nullptr, instance, this);

  bool complete = true;
  for (size_t i = 0; i < std::size(kHooks); ++i) {
    const auto procedure = moduleProc<HOOKPROC>(module_.get(), kHooks[i].procedure);
    if (procedure)
      hooks_[i].reset(::SetWindowsHookExW(kHooks[i].type, procedure, module_.get(), 0));
    if (!hooks_[i] && kHooks[i].required) complete = false;
  }
  return complete ? S_OK : E_FAIL;
}

void HooksServer::uninstall() {
  for (UniqueHook& hook : hooks_) hook.reset();
  if (window_) ::DestroyWindow(window_);
  if (windowClass_) ::UnregisterClassW(kWindowClass, ::GetModuleHandleW(nullptr));
  window_ = nullptr;
  windowClass_ = 0;
  std::fill(std::begin(messages_), std::end(messages_), 0u);
}

LRESULT CALLBACK HooksServer::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  // Zero (an unregistered message) never matches: registered numbers start at 0xC000.
  auto* server = reinterpret_cast<HooksServer*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (server && message >= 0xC000) {
    for (int i = 0; i < kEvents; ++i) {
      if (message == server->messages_[i]) {
        server->Broadcast(kEventMessages[i].event);
        break;
      }
    }
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

HooksServer& hooksServer() {
  static HooksServer server;
  return server;
}
