// Typed lookup of a function exported by a loaded module, and the module that holds the
// calling code.
#pragma once

#include <windows.h>

template <class Function>
Function moduleProc(HMODULE module, const char* name) {
  // FARPROC has no parameters; going through void* tells the compiler the cast is meant.
  return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

// The module (DLL or program) this code is linked into.
inline HMODULE currentModule() {
  HMODULE module = nullptr;
  ::GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(&currentModule), &module);
  return module;
}
