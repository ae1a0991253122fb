// The partial configuration document that asks the capture filter for what the command line
// wants (area, window, panning, output size, pointer), through IZelkgrab::put_sc_props. Only
// what an option names is in it, and a sample for every period, which a file needs; the
// filter keeps its own settings for the rest. Portable (no <windows.h>), so that its unit
// tests build natively.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "tools/zelkrec/options.h"

// The document for `options`, with `window` the handle --window or --hwnd resolved to.
std::wstring captureDocument(const Options& options, std::optional<uint32_t> window);
