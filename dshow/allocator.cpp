#include "dshow/allocator.h"
