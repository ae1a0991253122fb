// Text for the console: UTF-8 conversions, HRESULTs in hex with a short meaning, sizes.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

std::string toUtf8(const std::wstring& text);
std::wstring fromUtf8(const std::string& text);

// The program's arguments after its name, as UTF-8.
std::vector<std::string> commandLineArguments();

// "0x80040217 (no combination of intermediate filters could be found)".
std::string describeHresult(HRESULT hr);

// "57.6 MB" (decimal megabytes, as file managers show them).
std::string formatMegabytes(unsigned long long bytes);
