// Where configuration documents are read from: a file on disk, a URL through WinINet, and the
// filter module's own directory (for files named relative to it); plus the ANSI conversion of
// the registry copy. A document that starts with a byte-order mark is decoded by it (UTF-8
// EF BB BF, UTF-16LE FF FE, UTF-16BE FE FF) and the mark is left out; any other document is
// bytes in the ANSI code page of the calling thread's locale. An encoding named in the XML
// declaration plays no part, as it never did for stored files.
#pragma once

#include <windows.h>

#include <string>

// The whole file as text. E_POINTER without `text`; E_FAIL when the file does not exist or
// cannot be opened for reading (read sharing), or cannot be read whole; E_OUTOFMEMORY when
// its bytes cannot be held. An empty file gives S_OK and empty text. `text` is empty after
// any failure.
HRESULT readDiskFile(const std::wstring& path, std::wstring* text);

// The whole resource as text. E_POINTER without `text`; E_UNEXPECTED when WinINet cannot
// open the session or the address (no server, bad address); E_FAIL when a read fails or an
// HTTP server answers with an error status; E_OUTOFMEMORY when the data cannot be held.
HRESULT readUrl(const std::wstring& address, std::wstring* text);

// The directory of `module` with its trailing backslash. When the module's path cannot be
// had, the path registered for `serverClass` (InprocServer32 under HKEY_LOCAL_MACHINE's
// classes) serves; empty when neither gives a path or the path has no backslash.
std::wstring moduleDirectory(HMODULE module, const CLSID& serverClass);

// Text to and from bytes in the thread's ANSI code page (characters it lacks become the code
// page's default character). Empty on a conversion failure.
std::string wideToAnsi(const std::wstring& text);
std::wstring ansiToWide(const std::string& bytes);
