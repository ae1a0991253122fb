// Where a capture pin's parameters come from and where they go: the built-in document, the
// copy in the registry, the chain of redirects (a file beside the module, a file on disk, a
// URL), and the save after every change. Not locked: its owner (the filter's settings)
// serialises the calls, and works on copies of the record so that reads of files, URLs and
// the registry hold up no reader of the record.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "config/capture_params.h"
#include "common/registry_key.h"

class Configuration {
 public:
  // Redirect chains longer than this end with kRedirectLoop: a file that redirects to itself
  // would otherwise never end.
  static constexpr int kMaxRedirects = 16;
  static constexpr HRESULT kRedirectLoop = HRESULT_FROM_WIN32(ERROR_CIRCULAR_DEPENDENCY);

  // `module` is the filter's module (for relative redirects), `serverClass` its class id (to
  // find the module through its registration when the path cannot be had). Opens the settings
  // key under HKEY_LOCAL_MACHINE, or the same path under HKEY_CURRENT_USER when the machine key
  // cannot be opened with full access; without either, nothing persists.
  Configuration(HMODULE module, const CLSID& serverClass);

  // The start of a pin: initial values, built-in document, centred on `desktop`, registry
  // copy, limitinst cleared, redirects, area and frame size from the rectangle, save.
  // `builtIn`, if given, receives the record as the built-in document left it.
  void load(CaptureParams& params, const ParamRect& desktop, CaptureParams* builtIn = nullptr);

  // A whole document from a caller: applied, its redirects followed, saved (not when a
  // redirect fails: what was applied stays, unsaved).
  HRESULT putDocument(CaptureParams& params, const wchar_t* text);

  // Applies the documents `text` redirects to, one after the other; S_FALSE when `text` has
  // no redirect, else the first failure or S_OK.
  HRESULT followRedirects(CaptureParams& params, const std::wstring& text, int depth);

  // The registry copy: the packed document and a few typed values.
  HRESULT save(const CaptureParams& params);

  static const wchar_t* keyPath() { return L"SOFTWARE\\MorvainLabs\\Zelkgrab"; }
  const RegistryKey* key() const { return key_.get(); }

 private:
  HRESULT readRedirect(const std::wstring& type, const std::wstring& file, std::wstring* text);

  HMODULE module_;
  CLSID serverClass_;
  std::unique_ptr<RegistryKey> key_;
};
