// What the panel's main dialog knows of its filter: a snapshot of the parameters, read from
// the filter's whole configuration document by path, and the partial documents it writes
// back. A path missing from the document leaves its field zero.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "config/capture_params.h"

struct ParameterSnapshot {
  int64_t sampletime = 0;
  uint32_t event = 0;
  uint32_t hwnd = 0;
  ParamRect rect = {0, 0, 0, 0};
  uint32_t outputCx = 0;
  uint32_t outputCy = 0;
  uint32_t border = 0;  // 0x00BBGGRR
  uint32_t flags = 0;   // CaptureFlag bits

  bool has(CaptureFlag flag) const { return (flags & static_cast<uint32_t>(flag)) != 0; }
};

// Fills `snapshot` afresh from the document text; E_INVALIDARG when it does not parse.
HRESULT readSnapshot(const wchar_t* documentText, ParameterSnapshot* snapshot);

// One value of a partial document: a parameter path and its text.
using DocumentValue = std::pair<std::wstring, std::wstring>;

// A "configuration" document carrying only `values`; an XML failure gives its error and no
// text.
HRESULT partialDocument(const std::vector<DocumentValue>& values, std::wstring* text);
