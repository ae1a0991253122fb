// What a tab of the main dialog needs from it: the parameter snapshot, the write channels to
// the filter, the read-back that follows a write, and the dialog's tool tips.
// Apartment: the server's main thread, like the dialog.
#pragma once

#include <windows.h>

#include <vector>

#include "panel/parameter_snapshot.h"

class TabHost {
 public:
  // Sent by the window selection tool with the picked window in wParam.
  static constexpr UINT kWindowPicked = WM_USER + 101;

  virtual const ParameterSnapshot& snapshot() const = 0;
  // True while the snapshot is being shown: the tabs' change notifications are not the user's.
  virtual bool applying() const = 0;
  // One value by path, through `sc_prop`.
  virtual HRESULT writeFlag(const wchar_t* path, LONG value) = 0;
  // A partial document, through `sc_props`; nothing is put when it cannot be made.
  virtual HRESULT writeDocument(const std::vector<DocumentValue>& values) = 0;
  virtual void readBack() = 0;
  virtual void addToolTip(HWND control, const wchar_t* text) = 0;

 protected:
  ~TabHost() = default;
};
