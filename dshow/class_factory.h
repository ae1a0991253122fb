// The classes a module serves, as a table of templates, and the class factory that makes them.
// Each module defines `moduleFactoryTemplates()`; the entry points in module_entry.cpp serve
// DllGetClassObject and DllCanUnloadNow from it.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <span>

#include "dshow/ref_counted.h"
#include "dshow/unknown.h"

struct CFactoryTemplate {
  const wchar_t* name;
  const CLSID* clsid;
  // Makes the object with `outer` as its controlling unknown; returns null and sets `*hr` on
  // failure.
  CUnknown* (*create)(IUnknown* outer, HRESULT* hr);
};

// Defined by each module.
std::span<const CFactoryTemplate> moduleFactoryTemplates();

// The module's instance handle, recorded at DLL attach.
HINSTANCE moduleInstance();

// Writes (or removes) the InprocServer32 keys of every class in the module's table.
HRESULT registerModuleServers();
HRESULT unregisterModuleServers();

class CClassFactory final : public CRefCounted<IClassFactory, IID_IClassFactory> {
 public:
  explicit CClassFactory(const CFactoryTemplate* classTemplate) : template_(classTemplate) {}

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

 private:
  ~CClassFactory() override = default;

  const CFactoryTemplate* template_;
};
