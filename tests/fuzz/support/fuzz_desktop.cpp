// The desktop the native fuzz build of the parameter set sees: one window, so that documents
// naming it by handle or by title reach the tracked-window code.
#include "config/window_lookup.h"

#include "config/capture_params.h"
#include "tests/fuzz/support/fuzz_desktop.h"

bool namesWindow(uint32_t handle) { return handle == kFuzzWindow; }

std::wstring windowTitle(uint32_t handle) { return namesWindow(handle) ? kFuzzWindowTitle : L""; }

uint32_t windowTitled(const std::wstring& title) {
  return title == kFuzzWindowTitle ? kFuzzWindow : kNoWindow;
}
