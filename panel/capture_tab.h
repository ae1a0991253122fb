// `CScrDlgScreen`: the main dialog's capture-area tab. It edits where the filter captures: the
// rectangle typed into its edits or drawn with the region tool, a window chosen from its list
// (filled when it drops down) or picked with the window tool, or the whole screen, and switches
// the frame around the capture area on and off. Every change is written to the filter at once
// and read back.
// Apartment: the server's main thread; its window is a child of the main dialog.
#pragma once

#include <windows.h>

#include <vector>

#include "common/win_raii.h"
#include "panel/skinned_button.h"
#include "panel/tab_host.h"
#include "panel/window_picker.h"
#include "common/window_list.h"

class CScrDlgScreen {
 public:
  explicit CScrDlgScreen(TabHost* host) : host_(host) {}

  // Places the controls of `window` (template 103, a child of `mainDialog`) and gives them
  // their tool tips.
  void initialise(HWND window, HWND mainDialog);
  void apply(const ParameterSnapshot& snapshot);
  bool handle(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR* result);
  // While its list is dropped down the main dialog holds its read-backs back.
  bool listDropped() const { return listDropped_; }

 private:
  void onTrackWindow();
  void onTrackScreen();
  void onRegion();
  void writeRectangle();
  void fillWindowList();
  void closeUp();

  TabHost* host_;
  HWND mainDialog_ = nullptr;
  HWND window_ = nullptr;
  std::vector<WindowListEntry> windows_;
  ScopedBitmap regionBitmaps_[3];  // normal, hover, pressed
  SkinnedButton regionButton_;
  WindowPicker picker_;
  bool listDropped_ = false;
};
