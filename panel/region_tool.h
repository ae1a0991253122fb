// The region selection tool: a modal, top-most popup over the whole desktop showing a still
// picture of the screen, on which two clicks choose a rectangle. Red lines cross at the
// pointer and an info box tells the coordinates. Escape cancels; Enter is ignored, since it
// would otherwise end the tool with no rectangle chosen.
// Apartment: the server's main thread; runs its own modal loop.
#pragma once

#include <windows.h>

// Runs the tool over `owner`; true with the chosen rectangle in screen coordinates (right and
// bottom exclusive), false when cancelled or when the tool could not be shown.
bool selectRegion(HWND owner, RECT* chosen);
