// Asking an allocator for buffers a filter cannot do without: anything less than asked for
// refuses the connection.
#pragma once

#include <windows.h>
#include <strmif.h>

// SetProperties with `request`; E_FAIL when the allocator grants fewer or smaller buffers.
HRESULT RequestBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request);
