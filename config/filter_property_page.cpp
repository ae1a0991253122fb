// The capture filter's property page, which passes the filter on to the control panel.
#include "config/filter_property_page.h"

#include <cstring>
#include <new>

namespace {

constexpr wchar_t kTitle[] = L"Screen Capture";
constexpr SIZE kPageSize = {340, 150};

}  // namespace

CUnknown* FilterPropertyPage::create(IUnknown* outer, HRESULT* hr) {
  auto* page = new (std::nothrow) FilterPropertyPage(outer);
  *hr = page ? S_OK : E_OUTOFMEMORY;
  return page;
}

FilterPropertyPage::FilterPropertyPage(IUnknown* outer) : CUnknownImpl(outer) {}

FilterPropertyPage::~FilterPropertyPage() {
  if (!object_) return;
  // The panel may be missing or refuse: the user then simply gets no dialog.
  Microsoft::WRL::ComPtr<IZelkgrabEnum> panel;
  const HRESULT hr =
      ::CoCreateInstance(CLSID_ZelkgrabEnum, nullptr,
                         CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER,
                         IID_IZelkgrabEnum, reinterpret_cast<void**>(panel.GetAddressOf()));
  if (SUCCEEDED(hr) && panel) panel->CreateDlg(object_.Get());
  panel.Reset();
  object_.Reset();
}

HRESULT FilterPropertyPage::NonDelegatingQueryInterface(REFIID iid, void** object) {
  if (iid == IID_IPropertyPage) return GetInterface(static_cast<IPropertyPage*>(this), object);
  return CUnknownImpl::NonDelegatingQueryInterface(iid, object);
}

HRESULT FilterPropertyPage::SetPageSite(IPropertyPageSite*) { return done_ ? E_FAIL : S_OK; }

HRESULT FilterPropertyPage::Activate(HWND, LPCRECT rect, BOOL) {
  return rect ? E_UNEXPECTED : E_POINTER;
}

HRESULT FilterPropertyPage::Deactivate() { return E_UNEXPECTED; }

HRESULT FilterPropertyPage::GetPageInfo(PROPPAGEINFO* info) {
  if (!info) return E_POINTER;
  if (done_) return E_FAIL;
  auto* title = static_cast<LPOLESTR>(::CoTaskMemAlloc(sizeof(kTitle)));
  if (!title) return E_OUTOFMEMORY;
  std::memcpy(title, kTitle, sizeof(kTitle));
  info->cb = sizeof(PROPPAGEINFO);
  info->pszTitle = title;
  info->size = kPageSize;
  info->pszDocString = nullptr;
  info->pszHelpFile = nullptr;
  info->dwHelpContext = 0;
  return S_OK;
}

HRESULT FilterPropertyPage::SetObjects(ULONG count, IUnknown** objects) {
  if (done_) return E_FAIL;
  if (count != 1) return E_UNEXPECTED;
  if (!objects || !objects[0]) return E_POINTER;
  object_ = objects[0];
  done_ = true;
  // Refusing makes the frame give up; the panel's dialog takes over when the page goes.
  return E_FAIL;
}

HRESULT FilterPropertyPage::Show(UINT) { return E_UNEXPECTED; }

HRESULT FilterPropertyPage::Move(LPCRECT rect) { return rect ? E_UNEXPECTED : E_POINTER; }

HRESULT FilterPropertyPage::IsPageDirty() { return S_OK; }

HRESULT FilterPropertyPage::Apply() { return E_UNEXPECTED; }

HRESULT FilterPropertyPage::Help(LPCOLESTR) { return E_NOTIMPL; }

HRESULT FilterPropertyPage::TranslateAccelerator(MSG*) { return E_NOTIMPL; }
