// Class factory, module entry points and class registration for the module's template table.
#include "dshow/class_factory.h"

#include <new>

#include "common/com_registration.h"

namespace {
HINSTANCE g_moduleInstance = nullptr;
}  // namespace

HINSTANCE moduleInstance() { return g_moduleInstance; }

HRESULT CClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  // An aggregated object can only hand its inner unknown to the outer one.
  if (outer && iid != IID_IUnknown) return CLASS_E_NOAGGREGATION;

  HRESULT hr = S_OK;
  CUnknown* created = template_->create(outer, &hr);
  if (!created) return FAILED(hr) ? hr : E_OUTOFMEMORY;
  if (FAILED(hr)) {
    delete created;
    return hr;
  }
  // The object lives from the reference taken here until the caller's last release.
  created->NonDelegatingAddRef();
  hr = created->NonDelegatingQueryInterface(iid, object);
  created->NonDelegatingRelease();
  return hr;
}

HRESULT CClassFactory::LockServer(BOOL lock) {
  module_lock::lockServer(lock != FALSE);
  return S_OK;
}

HRESULT registerModuleServers() {
  const std::wstring path = modulePath(g_moduleInstance);
  if (path.empty()) return HRESULT_FROM_WIN32(::GetLastError());
  for (const CFactoryTemplate& entry : moduleFactoryTemplates()) {
    HRESULT hr = registerInprocServer(*entry.clsid, entry.name, path, L"Both");
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

HRESULT unregisterModuleServers() {
  HRESULT result = S_OK;
  for (const CFactoryTemplate& entry : moduleFactoryTemplates()) {
    HRESULT hr = unregisterClass(*entry.clsid);
    if (FAILED(hr)) result = hr;
  }
  return result;
}

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_moduleInstance = instance;
    ::DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  for (const CFactoryTemplate& entry : moduleFactoryTemplates()) {
    if (*entry.clsid != clsid) continue;
    auto* factory = new (std::nothrow) CClassFactory(&entry);
    if (!factory) return E_OUTOFMEMORY;
    HRESULT hr = factory->QueryInterface(iid, object);
    factory->Release();
    return hr;
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT STDAPICALLTYPE DllCanUnloadNow() { return module_lock::inUse() ? S_FALSE : S_OK; }

}  // extern "C"
