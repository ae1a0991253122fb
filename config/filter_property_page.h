// The capture filter's property page "Zelkgrab Property". It shows nothing itself: it keeps
// the filter the property frame hands it, refuses so the frame closes, and on its last
// release asks the control panel to open the panel's own dialog for that filter. Without the
// panel nothing opens and nothing is reported. The frame's thread calls everything.
#pragma once

#include <windows.h>
#include <ocidl.h>
#include <oaidl.h>

#include <wrl/client.h>

#include "dshow/unknown.h"
// CLSID_ZelkgrabProp, from the type library's IDL.
#include "zelkgrab.h"
// IZelkgrabEnum, the panel's dialog service.
#include "zelkpanel.h"

class FilterPropertyPage final : public CUnknownImpl<IPropertyPage> {
 public:
  static CUnknown* create(IUnknown* outer, HRESULT* hr);

  explicit FilterPropertyPage(IUnknown* outer);
  // Hands the kept object to the panel, if the panel is there.
  ~FilterPropertyPage() override;

  HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override;

  // IPropertyPage: only page information and SetObjects do anything.
  HRESULT STDMETHODCALLTYPE SetPageSite(IPropertyPageSite* site) override;
  HRESULT STDMETHODCALLTYPE Activate(HWND parent, LPCRECT rect, BOOL modal) override;
  HRESULT STDMETHODCALLTYPE Deactivate() override;
  HRESULT STDMETHODCALLTYPE GetPageInfo(PROPPAGEINFO* info) override;
  HRESULT STDMETHODCALLTYPE SetObjects(ULONG count, IUnknown** objects) override;
  HRESULT STDMETHODCALLTYPE Show(UINT command) override;
  HRESULT STDMETHODCALLTYPE Move(LPCRECT rect) override;
  HRESULT STDMETHODCALLTYPE IsPageDirty() override;
  HRESULT STDMETHODCALLTYPE Apply() override;
  HRESULT STDMETHODCALLTYPE Help(LPCOLESTR helpDir) override;
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(MSG* message) override;

 private:
  // Set once an object was taken: the page has then done its work.
  bool done_ = false;
  Microsoft::WRL::ComPtr<IUnknown> object_;
};
