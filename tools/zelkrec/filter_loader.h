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
  // register its modules).
  HRESULT createFilter(const wchar_t* fileName, REFCLSID clsid, IBaseFilter** filter);

  // The module's full path, once `create` got that far.
  const std::wstring& path() const { return path_; }

 private:
  UniqueModule module_;
  std::wstring path_;
};
