// Registration of Zelkgrab.ax: the class keys, the filter's entry among the video capture
// sources, the type library and the ProgIDs. DllRegisterServer and DllUnregisterServer of the
// module call these; they run on the caller's thread and initialise COM for it themselves.
#pragma once

#include <windows.h>

// Writes (`install`) or removes the class keys and the filter's entry in the video input
// device category. Entries that are already gone count as removed.
HRESULT registerFilterCategories(bool install);

// Everything DllRegisterServer makes: class keys, category entry, type library, ProgIDs.
HRESULT registerZelkgrabModule();
// Removes what registerZelkgrabModule made; a module that was never registered is no error.
HRESULT unregisterZelkgrabModule();
