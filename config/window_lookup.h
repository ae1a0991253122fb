// The windows a parameter document may name: whether a 32-bit handle names a window, a
// window's title, and the window that has a title. The capture module asks the system; the
// native fuzz build of the parameter set links a desktop of its own (tests/fuzz/support).
#pragma once

#include <cstdint>
#include <string>

bool namesWindow(uint32_t handle);
// Empty when the handle names no window.
std::wstring windowTitle(uint32_t handle);
// A top-level window titled exactly `title`, or kNoWindow.
uint32_t windowTitled(const std::wstring& title);
