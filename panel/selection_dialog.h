// `CScrDlgInst`: the instance selection of an interactive start. It lists the capture filter
// instances the panel's server finds, line n standing for the server's position n, and ends
// with "Select" (result 1, a position chosen), "Create new one" (6) or Cancel (2).
// Apartment: the interactive program's main thread; the enumerator lives in the server.
#pragma once

#include <windows.h>
#include <wrl/client.h>

#include <string>

#include "zelkpanel.h"

class CScrDlgInst {
 public:
  static constexpr INT_PTR kSelected = 1;
  static constexpr INT_PTR kCreateNew = 6;

  // Shows the dialog modally and answers how it ended.
  INT_PTR run();

  IZelkgrabEnum* enumerator() const { return enumerator_.Get(); }
  LONG chosen() const { return chosen_; }

  // The list line of a display name "!Zelkgrab <id> pid <process>": "<unknown>" unless it
  // has that shape; with the process's first module name when the process can be read.
  static std::wstring describeInstance(const wchar_t* displayName);

 private:
  static INT_PTR CALLBACK dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void initialise();
  void refresh();
  void fillList();
  void select();

  HWND window_ = nullptr;
  Microsoft::WRL::ComPtr<IZelkgrabEnum> enumerator_;
  LONG chosen_ = -1;
};
