// Text for the console: UTF-8 conversions, full paths as messages show them, HRESULTs in hex
// with a short meaning, counts and sizes, and the program's progress and error lines.
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

// "12 frames", "1 frame".
std::string frameCount(long long frames);
// `value` through a printf format of one double ("%.1f").
std::string formatNumber(const char* format, double value);

// The absolute form of `path` (as given when it cannot be made absolute).
std::wstring fullPath(const std::wstring& path);

// "zelkrec: LINE" on stdout.
void say(const std::string& line);
// "zelkrec: LINE" on stderr; answers the exit code 1.
int fail(const std::string& line);
// "zelkrec: WHAT failed: 0x... (meaning)" on stderr; answers 1.
int failWith(const std::string& what, HRESULT hr);
