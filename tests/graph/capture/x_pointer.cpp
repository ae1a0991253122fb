// xdotool started through Wine, and the waits for what it did.
#include "x_pointer.h"

#include <cstdlib>
#include <string>

#include "common/module_proc.h"

namespace x_pointer {

namespace {

constexpr DWORD kTimeLimitMs = 3000;

// Wine's own conversion of a host path to a Windows one.
std::wstring windowsPath(const char* hostPath) {
  using ToDosFn = WCHAR*(CDECL*)(const char*);
  auto toDos = moduleProc<ToDosFn>(::GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name");
  if (!toDos) return {};
  WCHAR* converted = toDos(hostPath);
  if (!converted) return {};
  std::wstring path(converted);
  ::HeapFree(::GetProcessHeap(), 0, converted);
  return path;
}

bool xdotool(const std::wstring& arguments) {
  const char* program = std::getenv("ZELK_XDOTOOL");
  if (!program) return false;
  const std::wstring path = windowsPath(program);
  if (path.empty()) return false;
  std::wstring line = L"xdotool " + arguments;
  STARTUPINFOW startup = {sizeof(startup)};
  PROCESS_INFORMATION process = {};
  // Wine starts a host program without making a process or a thread, and leaves the handles it
  // reports uninitialised: they may equal handles of ours, so they are neither closed nor
  // used. Suspended, Wine does not resume that "thread" either.
  return ::CreateProcessW(path.c_str(), line.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                          nullptr, nullptr, &startup, &process) != FALSE;
}

template <class Condition>
bool waitUntil(Condition condition) {
  const ULONGLONG deadline = ::GetTickCount64() + kTimeLimitMs;
  while (!condition()) {
    if (::GetTickCount64() > deadline) return false;
    ::Sleep(10);
  }
  return true;
}

int virtualKey(Button button) {
  switch (button) {
    case Button::Left:
      return VK_LBUTTON;
    case Button::Middle:
      return VK_MBUTTON;
    case Button::Right:
      return VK_RBUTTON;
  }
  return 0;
}

bool isDown(Button button) { return (::GetAsyncKeyState(virtualKey(button)) & 0x8000) != 0; }

std::wstring number(Button button) { return std::to_wstring(static_cast<int>(button)); }

}  // namespace

bool moveTo(POINT position) {
  if (!xdotool(L"mousemove " + std::to_wstring(position.x) + L" " + std::to_wstring(position.y))) {
    return false;
  }
  return waitUntil([&] {
    POINT now;
    return ::GetCursorPos(&now) && now.x == position.x && now.y == position.y;
  });
}

bool press(Button button) {
  return xdotool(L"mousedown " + number(button)) && waitUntil([&] { return isDown(button); });
}

bool release(Button button) {
  return xdotool(L"mouseup " + number(button)) && waitUntil([&] { return !isDown(button); });
}

}  // namespace x_pointer
