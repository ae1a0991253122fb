// `CScrDlgSettings`: the main dialog's settings tab. It edits everything but the capture area
// (frame rate, border colour, output size, the behaviour flags); each control writes its value
// to the filter at once, and the read-back that follows shows the filter's own values again,
// so invalid input springs back.
// Apartment: the server's main thread; its window is a child of the main dialog.
#pragma once

#include <windows.h>

#include "panel/tab_host.h"

class CScrDlgSettings {
 public:
  explicit CScrDlgSettings(TabHost* host) : host_(host) {}

  // Places the controls of `window` (template 104) and gives them their tool tips.
  void initialise(HWND window);
  // Shows the snapshot in the controls.
  void apply(const ParameterSnapshot& snapshot);
  // The tab's own messages; false for those it leaves to the dialog.
  bool handle(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR* result);

  // 10,000,000 divided by the period as "%.03f" without trailing zeros and point.
  static std::wstring frameRateText(int64_t sampletime);
  // The period for a typed rate (0.001 to 255 frames a second); 0 when the text is not above 0.
  static int64_t periodForRate(const wchar_t* text);

 private:
  void onCommand(int id, int code, HWND control);
  void writeFrameRate(bool readBackAfter);
  void writeOutputSize();
  void chooseColour();

  TabHost* host_;
  HWND window_ = nullptr;
  COLORREF colour_ = 0;
  COLORREF customColours_[16] = {};
};
