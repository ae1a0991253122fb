// The registry form of a GUID, "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in upper case, as COM
// registration keys and category entries spell it.
#pragma once

#include <string>

#include "common/portable.h"

std::wstring formatGuid(const GUID& guid);
