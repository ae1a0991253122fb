// Checks of the minidumps Zelkcrash.dll writes, for the tests that crash a program on purpose:
// the dump files a program left in a folder, and whether a file is a minidump of a given
// exception that a debugger could open.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace minidump_check {

// Names (not paths) of the files `<program>-*.dmp` in `folder`.
std::vector<std::wstring> dumpFiles(const std::wstring& folder, const std::wstring& program);

// True if `path` is a minidump (it starts with "MDMP") whose exception stream holds `code` and
// whose thread list includes the thread the exception names. Otherwise false, and `why` (if not
// null) says what is missing.
bool isMinidumpOfException(const std::wstring& path, DWORD code, std::string* why);

}  // namespace minidump_check
