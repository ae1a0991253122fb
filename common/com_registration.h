// Writes and removes the HKEY_CLASSES_ROOT keys through which COM finds an in-process server:
// CLSID\{...} with the friendly name and CLSID\{...}\InprocServer32 with the module path.
#pragma once

#include <windows.h>

#include <string>

HRESULT registerInprocServer(const CLSID& clsid, const wchar_t* friendlyName,
                             const std::wstring& modulePath, const wchar_t* threadingModel);

// Removes CLSID\{...} with everything below it; a class that is not registered is no error.
HRESULT unregisterClass(const CLSID& clsid);

// The full path of a loaded module, or an empty string when it cannot be had.
std::wstring modulePath(HMODULE module);
