// Derives the geometry of a capture from its parameters and the desktop: the area actually
// captured, the rectangle to copy and the pan point, the screen depth and the frame size the pin
// offers. The pin calls it under its lock, on the streaming thread before each frame and on
// application threads when parameters change; `view` is the pin's record of what it tracked.
#pragma once

#include <cstdint>

#include "config/capture_params.h"

// What the pin last tracked and whether its output is connected.
struct ViewState {
  uint32_t window = kNoWindow;
  int32_t width = 0;
  int32_t height = 0;
  bool connected = false;
};

// Updates the derived fields of `params` (and hwnd and the tracking flags where the window is
// gone). Returns 0 when the frame can be captured, 1 when it cannot (the desktop could not be
// read, or the tracked window is minimised or its rectangle unreadable).
int trackArea(CaptureParams& params, ViewState& view);
// The same with the desktop as readScreenInfo gave it, for a caller that has it already.
int trackArea(CaptureParams& params, ViewState& view, const CaptureParams& desktop);
