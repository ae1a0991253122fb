// A program that crashes on purpose once Zelkcrash.dll's handler is installed, for the crash
// handler's tests:
//   crashing_program [twice]
// It loads Zelkcrash.dll from its own folder by file name, as the panel does, calls the entry
// point with 0 (twice with "twice") and writes through a null pointer. The handler should end it
// with the access violation's code. Otherwise: 2 bad arguments, 3 the DLL did not load, 4 no
// entry point, 5 the entry point failed (its result on the error stream), 6 the crash did not
// happen.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "common/module_proc.h"
#include "crash/zelkcrash.h"

int wmain(int argc, wchar_t** argv) {
  const bool twice = argc == 2 && std::wcscmp(argv[1], L"twice") == 0;
  if (argc > 2 || (argc == 2 && !twice)) return 2;

  wchar_t program[MAX_PATH];
  const DWORD length = ::GetModuleFileNameW(nullptr, program, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return 3;
  std::wstring path(program, length);
  path = path.substr(0, path.find_last_of(L"\\/") + 1) + L"Zelkcrash.dll";
  HMODULE module = ::LoadLibraryW(path.c_str());
  if (!module) return 3;
  auto initialize =
      moduleProc<ZelkcrashInitializeDebugHandlerProc>(module, kZelkcrashInitializeDebugHandlerName);
  if (!initialize) return 4;

  for (int call = 0; call < (twice ? 2 : 1); ++call) {
    const int result = initialize(0);
    if (result != 0) {
      std::fprintf(stderr, "Zelkcrash_InitializeDebugHandler returned %d\n", result);
      return 5;
    }
  }
  std::fflush(stdout);

  // Both volatile: the compiler must read the pointer and must not drop the write through it.
  volatile int* volatile nowhere = nullptr;
  *nowhere = 1;
  return 6;
}
