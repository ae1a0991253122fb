// The capture pin's side of its exchange with the control panel's queue object while it
// streams: it takes the window-change events the panel's hooks queued for it, and tells the
// panel where to draw the frame that marks the captured area. Without the panel (not
// installed, not startable) the link is simply absent and the pin treats every sample as
// changed. Used on the pin's worker thread under the pin lock; the calls cross processes.
#pragma once

#include <windows.h>

#include <wrl/client.h>

#include "capture/capture_params.h"
#include "zelkpanel.h"

// What an event text means for the next frame, by its prefix.
enum class PanelEvent { Geometry, Cursor, Other };
PanelEvent classifyPanelEvent(const wchar_t* text);

class PanelQueue {
 public:
  // Creates the panel's queue object; a failure leaves the link absent.
  void open();
  void close();
  bool present() const { return queue_ != nullptr; }

  // Takes the pending events until the queue answers anything but S_OK.
  void drainEvents(bool* geometryChanged, bool* cursorChanged);

  // The frame marker; failures are of no consequence to the capture and are ignored.
  void hideFrame();
  void showFrame(const ParamRect& screen);

 private:
  void put(const wchar_t* property, const wchar_t* value);

  Microsoft::WRL::ComPtr<IZelkgrabQueue> queue_;
};
