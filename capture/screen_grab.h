// One frame from the screen into a capture target: the copy from the desktop's (or the
// tracked window's) DC, and the border fills around it and over uncovered desktop. Called on
// the pin's streaming thread, under the pin's lock, once per frame.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "config/capture_params.h"
#include "capture/capture_surface.h"

// Where a frame goes: a DIB section of the surface's size and format and its bits, selected
// into no DC but (at most) the surface's memory DC, since the grab selects it there. `direct`:
// the target is what gets delivered; `capture`: this frame is to be captured even so.
struct GrabTarget {
  HBITMAP bitmap;
  uint8_t* bits;
  bool direct;
  bool capture;
};

// What the pin adds around a grab; each member may be empty.
struct GrabHooks {
  // The panel's frame marker: hidden when nothing of the area is visible, else shown at the
  // captured rectangle in screen coordinates.
  std::function<void()> hideFrame;
  std::function<void(const ParamRect& screen)> showFrame;
  // The pointer: its state is taken once per shown frame, and in direct mode it is drawn into
  // the memory DC (with the target selected) right after the copy.
  std::function<void()> snapshotPointer;
  std::function<void(HDC memoryDC)> drawPointer;
};

// Grabs one frame into `target`. A tracked window that is gone or minimised gives a frame of
// the border colour. Parts of the target that the copy does not cover get the border colour.
// `uncovered`: the desktop's parts no monitor shows, as readScreenInfo gave them for this
// frame; read here when not given. `desktopDC`: the desktop window's DC, kept by a caller that
// grabs often; got and released here when not given.
HRESULT grabFrame(CaptureSurface& surface, const CaptureParams& params, const GrabTarget& target,
                  const GrabHooks& hooks = {}, const std::vector<ParamRect>* uncovered = nullptr,
                  HDC desktopDC = nullptr);
