// `ZelkgrabWndEnum`: a sorted snapshot of the visible top-level windows of the desktop, other
// than the panel's own, taken when the object is made, for automation clients.
// Apartment: the server's main thread.
#pragma once

#include <vector>

#include "panel/dispatch_object.h"
#include "common/window_list.h"
#include "zelkpanel.h"

class CZelkgrabWndEnum final : public DispatchObject<IZelkgrabWndEnum, IID_IZelkgrabWndEnum> {
 public:
  static HRESULT create(REFIID iid, void** object);

  HRESULT STDMETHODCALLTYPE get_count(ULONG* pCount) override;
  HRESULT STDMETHODCALLTYPE get_name(ULONG n, BSTR* pName) override;
  HRESULT STDMETHODCALLTYPE get_windowhandle(ULONG n, LONGLONG* pHandle) override;

 private:
  CZelkgrabWndEnum();

  std::vector<WindowListEntry> entries_;
};
