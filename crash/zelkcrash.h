// Zelkcrash.dll's one entry point. The panel loads the DLL by file name as its first start-up
// step and calls the entry once; from then on a crash of the process leaves a minidump in the
// user's temporary folder. Loading it dynamically keeps the panel working where the DLL is
// missing.
#pragma once

#include <windows.h>

// Installs the process's unhandled-exception filter. `flags` 0 is the only defined value; other
// values are reserved and treated like 0. Returns 0 once the filter is installed, or the Win32
// error that kept it from being installed. Later calls change nothing and return the first
// call's result.
extern "C" int WINAPI Zelkcrash_InitializeDebugHandler(int flags);

using ZelkcrashInitializeDebugHandlerProc = int(WINAPI*)(int flags);

// The export's name, for GetProcAddress.
inline constexpr char kZelkcrashInitializeDebugHandlerName[] = "Zelkcrash_InitializeDebugHandler";
