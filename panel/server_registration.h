// The registry entries through which COM starts the panel as the local server of its three
// classes: the application id entries, per class the two ProgIDs and the CLSID key with
// "LocalServer32", and the type library embedded in the program.
#pragma once

#include <windows.h>

#include <string>

// `programPath` is the program's full path. Failures of single steps do not stop the rest;
// the first failure is answered.
HRESULT registerServer(const std::wstring& programPath);
HRESULT unregisterServer();
