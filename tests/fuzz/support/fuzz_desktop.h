// The one window of the native fuzz build's desktop (fuzz_desktop.cpp).
#pragma once

#include <cstdint>

inline constexpr uint32_t kFuzzWindow = 0x00010020;
inline constexpr wchar_t kFuzzWindowTitle[] = L"Fuzz window";
