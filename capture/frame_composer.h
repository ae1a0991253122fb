// Composes the pictures the capture pin delivers: it owns the capture surface, the scaler, the
// pointer snapshot and the mouse device, and turns one snapshot of the parameter record into
// one frame in a sample's DIB section: the screen grab (straight into the sample, or into the
// surface and then copied or scaled), the border fills and the pointer. It needs no graph: the
// sample is any DIB section of the connected size made on the surface's memory DC.
// Threads: the pin's worker composes; the graph's thread builds and frees the surface while
// streaming is stopped. The pin serialises the two with its lock.
#pragma once

#include <windows.h>

#include <cstdint>

#include "capture/capture_surface.h"
#include "capture/frame_scaler.h"
#include "capture/mouse_device.h"
#include "capture/panel_link.h"
#include "capture/pointer_overlay.h"
#include "capture/screen_grab.h"
#include "config/capture_params.h"

// The delivered picture: a DIB section of the connected size, its bits and its length.
struct SampleBitmap {
  HBITMAP bitmap = nullptr;
  uint8_t* bits = nullptr;
  LONG length = 0;
};

class FrameComposer {
 public:
  FrameComposer();
  FrameComposer(const FrameComposer&) = delete;
  FrameComposer& operator=(const FrameComposer&) = delete;

  CaptureSurface& surface() { return surface_; }
  const CaptureSurface& surface() const { return surface_; }

  // One frame of `params` into `sample`, whose format is `connected`. `capture`: copy the screen
  // even when the surface is used (else its last picture is reused). `report` receives what
  // the panel's frame marker is to show. `uncovered`: the desktop's parts no monitor shows, as
  // read for this frame (read again when null); `desktopDC`: the desktop window's DC, if the
  // caller keeps one. Uses the surface's `direct` flag.
  HRESULT compose(const CaptureParams& params, const BITMAPINFOHEADER& connected,
                  const SampleBitmap& sample, bool capture, FrameReport* report,
                  const std::vector<ParamRect>* uncovered = nullptr, HDC desktopDC = nullptr);

 private:
  // The pointer's part of the grab: its snapshot, and in direct mode its drawing.
  GrabHooks grabHooks(const CaptureParams& params, FrameReport* report);
  HRESULT copySurfaceToSample(const SampleBitmap& sample, const CaptureParams& params);
  // Scales the surface into the sample, fitted and centred, and fills the rest with the border.
  HRESULT scaleSurfaceToSample(uint8_t* sampleBits, const BITMAPINFOHEADER& connected,
                               const CaptureParams& params);

  CaptureSurface surface_;
  FrameScaler scaler_;
  CursorShot cursorShot_;    // the pointer of the current frame
  MouseDevice mouseDevice_;  // absent when DirectInput is not there: clicks are not shown
};
