// Typed lookup of a function exported by a loaded module.
#pragma once

#include <windows.h>

template <class Function>
Function moduleProc(HMODULE module, const char* name) {
  // FARPROC has no parameters; going through void* tells the compiler the cast is meant.
  return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}
