// The running-object entries of the capture filters of one process ("Zelkgrab ... pid PID"),
// for the soak's programs, and the control interface of the first of them.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <wrl/client.h>

#include <vector>

#include "zelkgrab.h"

std::vector<Microsoft::WRL::ComPtr<IMoniker>> listedFilters(IRunningObjectTable* table, DWORD pid);

// IZelkgrab of the first listed filter of process `pid`, waiting up to `ms` for it to be
// listed. Wine may answer an entry whose object is gone with success and no object: refused.
HRESULT controlOfListedFilter(DWORD pid, DWORD ms, Microsoft::WRL::ComPtr<IZelkgrab>* control);
