// A filter's entry in a category of the filter mapper, as module registration writes and
// removes it. Each call initialises COM on the caller's thread for its own duration.
#pragma once

#include <windows.h>
#include <strmif.h>

// Replaces any old entry of `clsid` in `category` by one with `name` and `description`.
HRESULT RegisterFilterInCategory(const CLSID& clsid, const wchar_t* name, const CLSID& category,
                                 const REGFILTER2& description);

// Removes the entry; an entry that is not there counts as removed.
HRESULT UnregisterFilterFromCategory(const CLSID& clsid, const CLSID& category);
