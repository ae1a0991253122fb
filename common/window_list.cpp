// The panel's window lists.
#include "common/window_list.h"

#include <algorithm>

namespace {

std::wstring windowTitle(HWND window) {
  const int length = ::GetWindowTextLengthW(window);
  std::wstring title(static_cast<size_t>(std::max(length, 0)) + 1, L'\0');
  const int copied = ::GetWindowTextW(window, title.data(), static_cast<int>(title.size()));
  title.resize(static_cast<size_t>(std::max(copied, 0)));
  return title;
}

std::wstring upperCase(std::wstring text) {
  if (!text.empty()) ::CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

struct Collection {
  DWORD excludedProcess;
  HWND excludedWindow;
  std::vector<HWND> windows;
};

BOOL CALLBACK collect(HWND window, LPARAM parameter) {
  auto* collection = reinterpret_cast<Collection*>(parameter);
  wchar_t title[300];
  if (::GetWindowTextW(window, title, 300) == 0) return TRUE;
  if (!::IsWindow(window) || !::IsWindowVisible(window) || ::IsIconic(window)) return TRUE;
  RECT rect;
  if (!::GetWindowRect(window, &rect) || ::IsRectEmpty(&rect)) return TRUE;
  DWORD process = 0;
  ::GetWindowThreadProcessId(window, &process);
  if (collection->excludedProcess && process == collection->excludedProcess) return TRUE;
  if (window == collection->excludedWindow) return TRUE;
  auto& windows = collection->windows;
  windows.erase(std::remove(windows.begin(), windows.end(), window), windows.end());
  windows.push_back(window);
  return TRUE;
}

}  // namespace

WindowListEntry makeWindowListEntry(HWND window, bool asChild) {
  WindowListEntry entry;
  entry.window = window;
  if (asChild) {
    entry.name = L" Child of " + windowTitle(::GetAncestor(window, GA_ROOT)) + L" window";
  } else {
    entry.name = windowTitle(window);
  }
  entry.sortKey = upperCase(entry.name);
  return entry;
}

std::vector<WindowListEntry> listTopLevelWindows(DWORD excludedProcess, HWND excludedWindow) {
  Collection collection{excludedProcess, excludedWindow, {}};
  ::EnumWindows(&collect, reinterpret_cast<LPARAM>(&collection));
  std::vector<WindowListEntry> entries;
  entries.reserve(collection.windows.size());
  for (HWND window : collection.windows) entries.push_back(makeWindowListEntry(window, false));
  std::stable_sort(
      entries.begin(), entries.end(),
      [](const WindowListEntry& a, const WindowListEntry& b) { return a.sortKey < b.sortKey; });
  return entries;
}
