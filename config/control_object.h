// The control object a client gets for IZelkgrab (or IDispatch) from a capture pin: one per
// request, each with its own change event. It forwards the parameter operations to the pin
// that made it, under that pin's lock, and holds the filter alive while it exists. Clients
// call it from any thread, through marshalling from other processes; the pin signals it from
// the worker and application threads.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <cstdint>
#include <string>

#include <wrl/client.h>

#include "common/win_raii.h"
#include "dshow/unknown.h"
#include "zelkgrab.h"

class ControlObject;

// What a control object needs from the pin that made it.
class ParameterOwner {
 public:
  virtual HRESULT GetParam(const wchar_t* path, int32_t* value) = 0;
  virtual HRESULT SetParam(const wchar_t* path, int32_t value) = 0;
  virtual HRESULT GetDocument(std::wstring* text) = 0;
  virtual HRESULT PutDocument(const wchar_t* text) = 0;
  virtual void RemoveListener(ControlObject* listener) = 0;

 protected:
  ~ParameterOwner() = default;
};

class ControlObject final : public CUnknownImpl<IZelkgrab> {
 public:
  // `filter` is kept referenced; `owner` must outlive the object (the filter owns it).
  ControlObject(IUnknown* filter, ParameterOwner* owner);
  ~ControlObject() override;

  HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override;

  // Sets the change event; CheckEvent consumes it.
  void Signal();

  // IDispatch, from the type information of IZelkgrab in the module's type library.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                          DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID locale, WORD flags,
                                   DISPPARAMS* parameters, VARIANT* result, EXCEPINFO* exception,
                                   UINT* argumentError) override;

  // IZelkgrab
  HRESULT STDMETHODCALLTYPE get_sc_prop(BSTR prop, LONG* param) override;
  HRESULT STDMETHODCALLTYPE put_sc_prop(BSTR prop, LONG param) override;
  HRESULT STDMETHODCALLTYPE get_sc_props(BSTR* props) override;
  HRESULT STDMETHODCALLTYPE put_sc_props(BSTR props) override;
  HRESULT STDMETHODCALLTYPE CheckEvent(ULONG timeMs) override;

 private:
  Microsoft::WRL::ComPtr<IUnknown> filter_;
  ParameterOwner* owner_;
  UniqueHandle changed_;
};
