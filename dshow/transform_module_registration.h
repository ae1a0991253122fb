// Registration of a module that serves one transform filter with an "Input" and an "Output"
// pin of one media type each: its classes as in-process servers, and the filter's entry in one
// category of the filter mapper. The codec modules' DllRegisterServer/DllUnregisterServer.
#pragma once

#include <windows.h>
#include <strmif.h>

struct TransformModuleEntry {
  const CLSID* clsid;
  const wchar_t* name;
  const CLSID* category;
  DWORD merit;
  REGPINTYPES input;
  REGPINTYPES output;
};

HRESULT RegisterTransformModule(const TransformModuleEntry& entry);
HRESULT UnregisterTransformModule(const TransformModuleEntry& entry);
