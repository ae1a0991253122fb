// The running-object entries of the capture filters of one process ("Zelkgrab ... pid PID"),
// for the soak's host and control client.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <wrl/client.h>

#include <vector>

std::vector<Microsoft::WRL::ComPtr<IMoniker>> listedFilters(IRunningObjectTable* table,
                                                            DWORD pid);
