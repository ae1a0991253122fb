// The capture filter's settings as the recorder found them, put back when it is done. The
// filter keeps every change for every later user of it (and saves it), but the options of one
// recording are that recording's own. Used from the recorder's thread.
#pragma once

#include <windows.h>
#include <dshow.h>
#include <wrl/client.h>

#include <string>

#include "common/win_raii.h"
#include "zelkgrab.h"

class SavedFilterSettings {
 public:
  SavedFilterSettings() = default;
  // Puts the settings back if restore() was not called.
  ~SavedFilterSettings();
  SavedFilterSettings(const SavedFilterSettings&) = delete;
  SavedFilterSettings& operator=(const SavedFilterSettings&) = delete;

  // Reads the filter's settings document before anything changes them.
  HRESULT read(IBaseFilter* capture);
  // Applies a partial document of changes.
  HRESULT apply(const std::wstring& document);
  // Puts the document read back, once; S_OK when nothing was read.
  HRESULT restore();

 private:
  Microsoft::WRL::ComPtr<IZelkgrab> control_;
  UniqueBstr original_;
};
