// The settings every capture filter starts from, in one place: the record's starting values
// and the built-in configuration document applied over them. Only the document's values reach
// a filter, except where it leaves a value out or empty (the record's size, no tracked window,
// the size-change event code).
#pragma once

#include "config/capture_params.h"

// The record before any document: zeroed, with the values the document does not set.
CaptureParams initialCaptureParams();

// The built-in configuration document: the first redirect (to "zelkgrabset.xml" beside the
// module) and every parameter's built-in value.
const wchar_t* builtInDocument();
