// Raises an allocator to a minimum number of buffers. The encoder keeps the last input sample
// it coded as the reference for the next one, so an upstream allocator with too few buffers
// would leave its producer waiting for a buffer that never comes back.
#pragma once

#include <windows.h>
#include <strmif.h>

// Leaves an allocator with at least `minimum` buffers alone; otherwise asks for `minimum` with
// the other properties unchanged, decommitting and recommitting a committed allocator. E_FAIL
// when it cannot be read, refuses, or ends up with fewer.
HRESULT RaiseBufferCount(IMemAllocator* allocator, LONG minimum);
