// Class id of the decoder filter.
#pragma once

#include <windows.h>

extern const CLSID CLSID_Zelkdec;
