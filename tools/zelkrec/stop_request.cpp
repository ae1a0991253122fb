// Console control events and the q key, turned into the recorder's stop event.
#include "tools/zelkrec/stop_request.h"

#include "common/win_raii.h"

namespace stop_request {

namespace {

UniqueHandle g_stop;
UniqueHandle g_finished;

// The system allows a closing console's handler about 5 s before it ends the process.
constexpr DWORD kCloseAllowanceMs = 4500;

BOOL WINAPI onConsoleControl(DWORD type) {
  switch (type) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      ::SetEvent(g_stop.get());
      return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      // Returning ends the process: not before the index is written.
      ::SetEvent(g_stop.get());
      ::WaitForSingleObject(g_finished.get(), kCloseAllowanceMs);
      return TRUE;
    default:
      return FALSE;
  }
}

bool isStopKey(wchar_t key) { return key == L'q' || key == L'Q'; }

// Reads standard input until q, its end or an error. A console is read key by key, so that q
// needs no Enter; anything else (a pipe, a file) byte by byte.
DWORD WINAPI listenForStopKey(void*) {
  const HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
  if (input == nullptr || input == INVALID_HANDLE_VALUE) return 0;
  DWORD mode = 0;
  if (::GetConsoleMode(input, &mode)) {
    for (;;) {
      INPUT_RECORD record;
      DWORD read = 0;
      if (!::ReadConsoleInputW(input, &record, 1, &read)) return 0;
      if (read == 1 && record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown &&
          isStopKey(record.Event.KeyEvent.uChar.UnicodeChar)) {
        ::SetEvent(g_stop.get());
        return 0;
      }
    }
  }
  for (;;) {
    char byte = 0;
    DWORD read = 0;
    if (!::ReadFile(input, &byte, 1, &read, nullptr) || read == 0) return 0;
    if (isStopKey(static_cast<wchar_t>(byte))) {
      ::SetEvent(g_stop.get());
      return 0;
    }
  }
}

}  // namespace

bool install() {
  g_stop.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  g_finished.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!g_stop || !g_finished) return false;
  ::SetConsoleCtrlHandler(onConsoleControl, TRUE);
  // The listener may block in a read for the rest of the process; it owns nothing.
  const HANDLE listener = ::CreateThread(nullptr, 0, listenForStopKey, nullptr, 0, nullptr);
  if (listener) ::CloseHandle(listener);
  return true;
}

HANDLE event() { return g_stop.get(); }

void finished() {
  if (g_finished) ::SetEvent(g_finished.get());
}

}  // namespace stop_request
