// The common part of the panel's COM objects: reference counting, a lock on the server for the
// object's lifetime, and late binding through the program's own type library, so each class
// only writes the members of its dual interface.
// Apartment: the objects live in the main thread's single-threaded apartment.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <atomic>

#include "panel/server_lifetime.h"

// The type description of `iid` in the program's type library (resource 1), loaded once.
HRESULT panelTypeInfo(REFIID iid, ITypeInfo** info);

template <class Interface, const IID& kInterfaceId>
class DispatchObject : public Interface {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == kInterfaceId) {
      *object = static_cast<Interface*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG remaining = --references_;
    if (remaining == 0) delete this;
    return remaining;
  }

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
    if (!info) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    return panelTypeInfo(kInterfaceId, info);
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override {
    ITypeInfo* info = nullptr;
    HRESULT hr = panelTypeInfo(kInterfaceId, &info);
    if (FAILED(hr)) return hr;
    hr = info->GetIDsOfNames(names, count, ids);
    info->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* parameters,
                                   VARIANT* result, EXCEPINFO* exception,
                                   UINT* argumentError) override {
    ITypeInfo* info = nullptr;
    HRESULT hr = panelTypeInfo(kInterfaceId, &info);
    if (FAILED(hr)) return hr;
    hr = info->Invoke(static_cast<Interface*>(this), id, flags, parameters, result, exception,
                      argumentError);
    info->Release();
    return hr;
  }

 protected:
  DispatchObject() { serverLifetime().lock(); }
  virtual ~DispatchObject() { serverLifetime().unlock(); }
  DispatchObject(const DispatchObject&) = delete;
  DispatchObject& operator=(const DispatchObject&) = delete;

 private:
  std::atomic<ULONG> references_{1};
};
