// What the panel program knows about its own run: whether it serves COM (which decides how it
// ends), its version text for the About tab, and its main thread.
#pragma once

#include <windows.h>

#include <string>

struct PanelApplication {
  bool serverRun = false;
  std::wstring versionText;
  DWORD mainThread = 0;
};

PanelApplication& panelApplication();

// The interactive start: the user picks a filter instance, whose dialog the server opens.
void runInteractiveStart();
