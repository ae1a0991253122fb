// Puts a whole settings document to a capture filter through its IZelkgrab, as the soak's
// programs set up the filters they make.
#pragma once

#include <windows.h>
#include <strmif.h>

HRESULT putFilterDocument(IBaseFilter* capture, const wchar_t* document);
