// The named parameters of a capture pin's record: apply an XML configuration document to it,
// build the document from it, get and set single parameters by path ("params\flags\trackwnd"),
// and hand out a copy. Callers hold the pin's lock for the whole operation and run the change
// handler (save) after a successful set; nothing here locks or saves.
#pragma once

#include <cstdint>
#include <string>

#include "common/portable.h"
#include "config/capture_params.h"

// Applies every parameter the document carries, in a fixed order; absent ones keep their
// value. Fails with the loader's code, changing nothing, when the text is not XML.
// `borderChanged` (optional) tells whether a border component was present.
HRESULT applyDocument(CaptureParams& params, const wchar_t* text, bool* borderChanged = nullptr);

// The whole parameter document (root "configuration", encoding "iso-8859-1"), no redirect.
HRESULT buildDocument(const CaptureParams& params, std::wstring* text);

// S_OK with the value; S_FALSE for a path that is not a single-access parameter.
HRESULT getParameter(const CaptureParams& params, const wchar_t* path, int32_t* value);

// S_OK after storing; S_FALSE for an unknown path or a refused value (a handle naming no
// window), changing nothing.
HRESULT setParameter(CaptureParams& params, const wchar_t* path, int32_t value,
                     bool* borderChanged = nullptr);

// Copies the record into `target`, whose size field must be the record size.
HRESULT copyParams(const CaptureParams& params, CaptureParams* target);
