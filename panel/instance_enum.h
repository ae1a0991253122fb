// `ZelkgrabEnum`: the capture filter instances running anywhere on the desktop, as listed in
// the running object table the first time they are asked for (a snapshot per object), and
// the way to open the panel's dialog on one of them or on a new filter. Every filter holds
// one of these for its whole life, which keeps the panel's server running.
// Apartment: the server's main thread.
#pragma once

#include <objidl.h>
#include <wrl/client.h>

#include <vector>

#include "panel/dispatch_object.h"
#include "zelkpanel.h"

class CZelkgrabEnum final : public DispatchObject<IZelkgrabEnum, IID_IZelkgrabEnum> {
 public:
  static HRESULT create(REFIID iid, void** object);

  HRESULT STDMETHODCALLTYPE get_count(ULONG* pCount) override;
  HRESULT STDMETHODCALLTYPE get_name(ULONG n, BSTR* pName) override;
  HRESULT STDMETHODCALLTYPE CreateDlgN(LONG n) override;
  HRESULT STDMETHODCALLTYPE CreateDlg(IUnknown* pZelkgrab) override;
  HRESULT STDMETHODCALLTYPE get_object(ULONG n, IUnknown** ppObj) override;

 private:
  CZelkgrabEnum();

  // Builds the list once; S_FALSE when it was built before, E_UNEXPECTED without a table.
  HRESULT enumerate();
  // The object registered under the n-th listed moniker.
  HRESULT runningObject(ULONG n, IUnknown** object);

  Microsoft::WRL::ComPtr<IRunningObjectTable> table_;
  std::vector<Microsoft::WRL::ComPtr<IMoniker>> instances_;
  bool enumerated_ = false;
};
