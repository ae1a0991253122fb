// The window a recording follows, chosen from the visible top-level windows as the panel lists
// them (titled, not minimised, sorted by title in upper case): by title (--window) or by
// handle (--hwnd); and that list itself (--list-windows).
#pragma once

#include <windows.h>

#include <string>

struct WindowChoice {
  HWND window = nullptr;
  std::string error;  // the message when no single window was found
};

// The window titled exactly `title`, else the only one whose title contains it in any case;
// the error names the candidates when there are several, or says that there is none.
WindowChoice chooseWindowByTitle(const std::string& title);

// `handle` when it names a window.
WindowChoice chooseWindowByHandle(unsigned long handle);

// Prints the list, "0x0001002A  Title" a line; answers the exit code.
int printWindowList();
