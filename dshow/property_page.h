// The base of a property page: a dialog resource that a property frame shows as a child of its
// own window to edit one object. The base answers IPropertyPage (site, activation, page info,
// show, move, dirty state, apply, keyboard) and calls hooks that a derived page overrides to
// connect to its object, fill and read its controls and react to their messages. The frame
// calls every method on the thread that owns its window; the dialog procedure, and with it
// `OnReceiveMessage`, runs on that thread too, so the page needs no lock.
#pragma once

#include <windows.h>
#include <ocidl.h>
#include <olectl.h>
#include <wrl/client.h>

#include <string_view>

#include "dshow/unknown.h"

class CBasePropertyPage : public CUnknownImpl<IPropertyPage> {
 public:
  // `name` names the page where no title string is found and must outlive it (a literal).
  // The dialog template `dialogId` and the string `titleId` are loaded from the module that
  // holds the derived class (see SetResourceModule). The template may be written as a popup
  // or as a child: the page always becomes a borderless child of the frame's window.
  CBasePropertyPage(const wchar_t* name, IUnknown* outer, int dialogId, int titleId);
  ~CBasePropertyPage() override;

  HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override;

  // IPropertyPage
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

 protected:
  // The page is given its object; a failure refuses it (SetObjects returns it).
  virtual HRESULT OnConnect(IUnknown* object) { return S_OK; }
  // The object is taken away (released by the base afterwards).
  virtual HRESULT OnDisconnect() { return S_OK; }
  // The dialog exists and is placed, not yet shown: fill the controls. A failure destroys it.
  virtual HRESULT OnActivate() { return S_OK; }
  // The dialog is about to be destroyed: read what must survive it.
  virtual HRESULT OnDeactivate() { return S_OK; }
  // Write the controls' values to the object; called by Apply only while dirty.
  virtual HRESULT OnApplyChanges() { return S_OK; }
  // Every dialog message after WM_INITDIALOG (which the base answers), as a dialog procedure.
  virtual INT_PTR OnReceiveMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    return FALSE;
  }

  // Marks the page changed and tells the site with `siteStatus`: PROPPAGESTATUS_DIRTY enables
  // its Apply button; PROPPAGESTATUS_VALIDATE for a page whose changes take effect at once.
  void SetDirty(DWORD siteStatus = PROPPAGESTATUS_DIRTY);
  bool IsDirty() const { return dirty_; }
  // The dialog while active, else null.
  HWND Dialog() const { return dialog_; }
  IPropertyPageSite* PageSite() const { return site_.Get(); }
  // The connected object, or null.
  IUnknown* Object() const { return object_.Get(); }

  // Where the dialog and title come from. The default is the module that contains this code,
  // which is the derived page's module because the layer links statically into each one.
  void SetResourceModule(HINSTANCE module);
  HINSTANCE ResourceModule() const { return resources_; }

 private:
  static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
  void destroyDialog();

  std::wstring_view name_;
  int dialogId_;
  int titleId_;
  HINSTANCE resources_;
  HWND dialog_ = nullptr;
  Microsoft::WRL::ComPtr<IPropertyPageSite> site_;
  Microsoft::WRL::ComPtr<IUnknown> object_;
  bool dirty_ = false;
};
