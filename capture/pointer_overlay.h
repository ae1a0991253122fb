// The mouse pointer in captured frames: a snapshot of the pointer taken once per frame, drawn
// into a frame at the pointer's position (with inverted colours while the left or the right
// button is held), and the pixels under it saved and put back in the capture surface, which
// never keeps the pointer. Called by the capture pin on its streaming thread, under the pin
// lock.
#pragma once

#include <windows.h>
#include <dinput.h>

#include <functional>

#include "config/capture_params.h"
#include "capture/capture_surface.h"
#include "common/win_raii.h"

// The pointer at one moment: the cursor information and the cursor's icon information. The
// icon's two bitmaps are handed to us by GetIconInfo and belong to the snapshot.
struct CursorShot {
  CURSORINFO cursor = {};
  POINT hotspot = {0, 0};
  ScopedBitmap mask;
  ScopedBitmap colour;
  // The hotspot of the cursor last looked up, kept across frames: asking for a cursor's
  // icon costs as much as a good part of a frame under some systems, and a cursor keeps it.
  HCURSOR hotspotOf = nullptr;
  POINT cursorHotspot = {0, 0};

  // A visible cursor may still have no handle (nothing set one yet): then there is nothing to
  // draw.
  bool hasCursor() const { return cursor.hCursor != nullptr; }
};

// Replaces `shot` by the pointer as it is now. S_OK with a cursor, S_FALSE when there is none
// to draw (hidden, or no cursor set), else the platform's error; the shot is empty unless S_OK.
HRESULT takeCursorShot(CursorShot& shot);
// Deletes the snapshot's bitmaps and empties it (the hotspot kept for its cursor stays).
void freeCursorShot(CursorShot& shot);

// Draws the pointer of `shot` into `dc`, whose origin is the frame's top-left. With ShowClicks
// and a mouse device, a held left or right button draws it inverted. Draws nothing for an
// empty shot. S_OK: a pointer that cannot be drawn inverted is drawn plainly.
HRESULT drawPointer(HDC dc, const CursorShot& shot, const CaptureParams& params,
                    IDirectInputDevice8W* mouseDevice);

// Copies the surface's pixels the pointer is about to cover from its main bitmap to its
// backup. S_OK with the rectangle saved, S_FALSE when the pointer lies wholly outside the
// surface or there is none (nothing saved), E_POINTER for a null argument.
HRESULT savePointerArea(CaptureSurface* surface, const CursorShot* shot,
                        const CaptureParams& params, RECT* saved);
// Copies `saved` back from the backup bitmap to the main one.
HRESULT restorePointerArea(CaptureSurface* surface, const RECT* saved);

// Runs `use` (which reads the surface's main bits) with the pointer drawn into the main
// bitmap, and puts the pixels under it back afterwards, also when `use` fails. A failing save
// ends it before anything is drawn; otherwise the first failure of drawing, `use` or the
// restore is returned.
HRESULT withPointerInSurface(CaptureSurface* surface, const CursorShot& shot,
                             const CaptureParams& params, IDirectInputDevice8W* mouseDevice,
                             const std::function<HRESULT()>& use);
