// The version text the panel shows: the "FileVersion" string of a module's version resource,
// with its commas turned into dots and its blanks dropped ("2, 1, 3, 0" reads "2.1.3.0").
#pragma once

#include <windows.h>

#include <string>

// Empty when the module has no version resource or no such string.
std::wstring readVersionText(HMODULE module);

std::wstring tidyVersionText(std::wstring text);
