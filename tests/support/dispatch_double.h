// Base of the test doubles that stand in for the panel's dual interfaces: reference counting
// and an IDispatch that late binding cannot use, since the code under test calls through the
// function table only.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include "dshow/ref_counted.h"

template <class Interface, const IID& kInterfaceId>
class DispatchDouble : public CRefCounted<Interface, kInterfaceId> {
 public:
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    return E_NOTIMPL;
  }
};
