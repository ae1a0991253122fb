// Choosing the recorded window from the panel's window list.
#include "tools/zelkrec/window_choice.h"

#include <cstdio>
#include <vector>

#include "common/window_list.h"
#include "tools/zelkrec/console_text.h"

namespace {

std::vector<WindowListEntry> recordableWindows() {
  // Our own console window is no candidate.
  return listTopLevelWindows(0, ::GetConsoleWindow());
}

std::string handleText(HWND window) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX",
                static_cast<unsigned long>(reinterpret_cast<uintptr_t>(window)));
  return text;
}

std::string describe(const WindowListEntry& entry) {
  return "\"" + toUtf8(entry.name) + "\" (" + handleText(entry.window) + ")";
}

}  // namespace

WindowChoice chooseWindowByTitle(const std::string& title) {
  const std::vector<WindowListEntry> windows = recordableWindows();
  const std::wstring wanted = fromUtf8(title);
  std::wstring wantedKey = wanted;
  if (!wantedKey.empty()) {
    ::CharUpperBuffW(wantedKey.data(), static_cast<DWORD>(wantedKey.size()));
  }
  std::vector<const WindowListEntry*> exact;
  std::vector<const WindowListEntry*> partial;
  for (const WindowListEntry& entry : windows) {
    if (entry.name == wanted) exact.push_back(&entry);
    if (entry.sortKey.find(wantedKey) != std::wstring::npos) partial.push_back(&entry);
  }
  const std::vector<const WindowListEntry*>& found = exact.empty() ? partial : exact;
  WindowChoice choice;
  if (found.size() == 1) {
    choice.window = found.front()->window;
    return choice;
  }
  if (found.empty()) {
    choice.error = "--window: no visible window has a title that is or contains '" + title +
                   "' ('zelkrec --list-windows' lists them)";
    return choice;
  }
  choice.error = "--window: '" + title + "' matches " + std::to_string(found.size()) +
                 " windows: ";
  for (size_t i = 0; i < found.size(); ++i) {
    choice.error += (i ? ", " : "") + describe(*found[i]);
  }
  choice.error += "; choose one with --hwnd";
  return choice;
}

WindowChoice chooseWindowByHandle(unsigned long handle) {
  WindowChoice choice;
  const HWND window = reinterpret_cast<HWND>(static_cast<uintptr_t>(handle));
  if (!::IsWindow(window)) {
    choice.error = "--hwnd: " + handleText(window) + " is not a window";
    return choice;
  }
  choice.window = window;
  return choice;
}

int printWindowList() {
  for (const WindowListEntry& entry : recordableWindows()) {
    std::printf("%s  %s\n", handleText(entry.window).c_str(), toUtf8(entry.name).c_str());
  }
  return 0;
}
