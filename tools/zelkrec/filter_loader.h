// Makes a filter from a module file that sits beside the running program, the way an
// unregistered build is used: load the module, ask its class object, create the filter. The
// owner keeps the module loaded while its objects may still live.
#pragma once

#include <windows.h>
#include <unknwn.h>
#include <strmif.h>

#include <string>

#include "common/win_raii.h"

class FilterModule {
 public:
  FilterModule() = default;
  // Unloads the module only when it says no object of it is left.
  ~FilterModule();
  FilterModule(const FilterModule&) = delete;
  FilterModule& operator=(const FilterModule&) = delete;

  // Loads `fileName` from the program's directory (once) and creates `clsid` from it.
  HRESULT create(const wchar_t* fileName, REFCLSID clsid, REFIID iid, void** object);

  // Where the recorder's filters come from: the registered class when there is one, as
  // applications find it, else the module `fileName` beside the program (the build does not
  // register its modules). When a registered class fails and no module is beside the
  // program, the registered class's own result is answered: it says why.
  HRESULT createFilter(const wchar_t* fileName, REFCLSID clsid, IBaseFilter** filter);

  // Whether the filter came from (or failed as) the registered class, not a module file.
  bool fromRegistration() const { return fromRegistration_; }
  // Where the filter came from, or was last tried: "the registered class" or the module's path.
  std::wstring source() const;

 private:
  UniqueModule module_;
  std::wstring path_;
  bool fromRegistration_ = false;
};
