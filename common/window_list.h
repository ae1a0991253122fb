// Entries of the window lists the panel shows and hands out (and the recorder prints): a
// window, the name it is listed under, and the upper-case key the lists are sorted by.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct WindowListEntry {
  HWND window = nullptr;
  std::wstring name;
  std::wstring sortKey;
};

// A top-level window is listed under its title; a child entry as " Child of %s window" with
// the title of its root window.
WindowListEntry makeWindowListEntry(HWND window, bool asChild);

// The visible, titled, not minimised top-level windows with a non-empty rectangle, except
// those of process `excludedProcess` and the window `excludedWindow` (0 and null: none), sorted
// by key (UTF-16 code units, ascending; equal keys keep their order).
std::vector<WindowListEntry> listTopLevelWindows(DWORD excludedProcess,
                                                 HWND excludedWindow = nullptr);
