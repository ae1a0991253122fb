// Class ids of the encoder module: the filter and the property page it names.
#pragma once

#include <windows.h>

extern const CLSID CLSID_Zelkenc;
extern const CLSID CLSID_ZelkencProp;
