// Property page base: the dialog's life inside the frame, page info from the resources, and
// the hooks, each guarded so that no exception reaches the frame or the window manager.
#include "dshow/property_page.h"

#include <cstring>
#include <new>
#include <vector>

namespace {

// Hooks are code of the derived page; whatever they throw stops here.
template <class Hook>
HRESULT callHook(Hook&& hook) noexcept {
  try {
    return hook();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

HRESULT lastError() {
  DWORD error = ::GetLastError();
  return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
}

// The module this code is linked into; the process module if that cannot be told.
HINSTANCE containingModule() {
  static const int anchor = 0;
  HMODULE module = nullptr;
  if (::GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCWSTR>(&anchor), &module)) {
    return module;
  }
  return ::GetModuleHandleW(nullptr);
}

// A writable copy of a dialog template, in either of its two layouts (DLGTEMPLATE, or
// DLGTEMPLATEEX which starts with version 1 and signature 0xFFFF).
class DialogTemplate {
 public:
  HRESULT Load(HINSTANCE module, int id) {
    HRSRC info = ::FindResourceW(module, MAKEINTRESOURCEW(id), RT_DIALOG);
    if (!info) return lastError();
    HGLOBAL handle = ::LoadResource(module, info);
    const void* data = handle ? ::LockResource(handle) : nullptr;
    DWORD size = ::SizeofResource(module, info);
    if (!data || size == 0) return lastError();
    try {
      // The vector's block is aligned well beyond the DWORD that the dialog manager needs.
      bytes_.assign(static_cast<const BYTE*>(data), static_cast<const BYTE*>(data) + size);
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
    extended_ = size >= 26 && word(0) == 1 && word(2) == 0xFFFF;
    if (!extended_ && size < 18) return HRESULT_FROM_WIN32(ERROR_RESOURCE_DATA_NOT_FOUND);
    return S_OK;
  }

  // Rewrites the window styles: the page is a child of the frame, or a hidden popup to measure.
  void MakeChild(bool child) {
    DWORD style = dword(styleOffset());
    DWORD exStyle = dword(exStyleOffset());
    style &= ~(WS_POPUP | WS_CHILD | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX |
               WS_MAXIMIZEBOX | WS_VISIBLE | WS_DISABLED | DS_MODALFRAME | DS_SYSMODAL | DS_CENTER |
               DS_CENTERMOUSE | DS_ABSALIGN);
    style |= child ? WS_CHILD | DS_CONTROL : WS_POPUP;
    exStyle &= ~(WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE | WS_EX_CLIENTEDGE | WS_EX_STATICEDGE |
                 WS_EX_APPWINDOW | WS_EX_TOOLWINDOW | WS_EX_TOPMOST);
    exStyle |= WS_EX_CONTROLPARENT;
    setDword(styleOffset(), style);
    setDword(exStyleOffset(), exStyle);
  }

  // The size in dialog units, as the template states it.
  RECT Extent() const {
    size_t at = extended_ ? 22 : 14;
    return RECT{0, 0, static_cast<SHORT>(word(at)), static_cast<SHORT>(word(at + 2))};
  }

  const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(bytes_.data()); }

 private:
  size_t styleOffset() const { return extended_ ? 12 : 0; }
  size_t exStyleOffset() const { return extended_ ? 8 : 4; }
  WORD word(size_t at) const {
    WORD value;
    std::memcpy(&value, bytes_.data() + at, sizeof value);
    return value;
  }
  DWORD dword(size_t at) const {
    DWORD value;
    std::memcpy(&value, bytes_.data() + at, sizeof value);
    return value;
  }
  void setDword(size_t at, DWORD value) { std::memcpy(bytes_.data() + at, &value, sizeof value); }

  std::vector<BYTE> bytes_;
  bool extended_ = false;
};

// The measuring dialog must not reach the page: its hooks would see a second dialog.
INT_PTR CALLBACK probeProc(HWND, UINT message, WPARAM, LPARAM) {
  return message == WM_INITDIALOG ? TRUE : FALSE;
}

// Pixels of the template's extent with its own font, from a hidden copy of the dialog.
HRESULT measureDialog(HINSTANCE module, DialogTemplate& dialog, SIZE* size) {
  dialog.MakeChild(false);
  HWND probe = ::CreateDialogIndirectParamW(module, dialog.Get(), nullptr, probeProc, 0);
  if (!probe) return lastError();
  RECT extent = dialog.Extent();
  BOOL mapped = ::MapDialogRect(probe, &extent);
  ::DestroyWindow(probe);
  if (!mapped) return E_FAIL;
  *size = SIZE{extent.right - extent.left, extent.bottom - extent.top};
  return S_OK;
}

}  // namespace

CBasePropertyPage::CBasePropertyPage(const wchar_t* name, IUnknown* outer, int dialogId,
                                     int titleId)
    : CUnknownImpl<IPropertyPage>(outer),
      name_(name ? name : L""),
      dialogId_(dialogId),
      titleId_(titleId),
      resources_(containingModule()) {}

CBasePropertyPage::~CBasePropertyPage() {
  // The derived part is gone: the dialog must not call into it while it is destroyed.
  if (dialog_) {
    ::SetWindowLongPtrW(dialog_, DWLP_USER, 0);
    ::DestroyWindow(dialog_);
  }
}

HRESULT CBasePropertyPage::NonDelegatingQueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  if (iid == IID_IPropertyPage) return GetInterface(static_cast<IPropertyPage*>(this), object);
  return CUnknown::NonDelegatingQueryInterface(iid, object);
}

void CBasePropertyPage::SetResourceModule(HINSTANCE module) {
  resources_ = module ? module : ::GetModuleHandleW(nullptr);
}

void CBasePropertyPage::SetDirty(DWORD siteStatus) {
  dirty_ = true;
  if (site_) site_->OnStatusChange(siteStatus);
}

HRESULT CBasePropertyPage::SetPageSite(IPropertyPageSite* site) {
  if (!site) {
    site_.Reset();
    return S_OK;
  }
  if (site_) return E_UNEXPECTED;
  site_ = site;
  return S_OK;
}

HRESULT CBasePropertyPage::Activate(HWND parent, LPCRECT rect, BOOL modal) {
  if (!rect) return E_POINTER;
  if (dialog_) return E_UNEXPECTED;
  if (!parent) return E_INVALIDARG;

  DialogTemplate dialog;
  HRESULT hr = dialog.Load(resources_, dialogId_);
  if (FAILED(hr)) return hr;
  dialog.MakeChild(true);
  // WM_INITDIALOG stores the page and sets dialog_ before any other message reaches a hook.
  HWND created = ::CreateDialogIndirectParamW(resources_, dialog.Get(), parent, DialogProc,
                                              reinterpret_cast<LPARAM>(this));
  if (!created) return lastError();
  dialog_ = created;
  ::SetWindowPos(dialog_, nullptr, rect->left, rect->top, rect->right - rect->left,
                 rect->bottom - rect->top, SWP_NOZORDER | SWP_NOACTIVATE);

  hr = callHook([this] { return OnActivate(); });
  if (FAILED(hr)) {
    destroyDialog();
    return hr;
  }
  return Show(SW_SHOWNORMAL);
}

HRESULT CBasePropertyPage::Deactivate() {
  if (!dialog_) return E_UNEXPECTED;
  HRESULT hr = callHook([this] { return OnDeactivate(); });
  // The frame goes on without the page whatever the hook says; keeping the window would leak.
  destroyDialog();
  return FAILED(hr) ? hr : S_OK;
}

void CBasePropertyPage::destroyDialog() {
  HWND dialog = dialog_;
  if (dialog) ::DestroyWindow(dialog);
  dialog_ = nullptr;
}

HRESULT CBasePropertyPage::GetPageInfo(PROPPAGEINFO* info) {
  if (!info) return E_POINTER;

  DialogTemplate dialog;
  HRESULT hr = dialog.Load(resources_, dialogId_);
  if (FAILED(hr)) return hr;
  SIZE size{};
  hr = measureDialog(resources_, dialog, &size);
  if (FAILED(hr)) return hr;

  // The string table hands out a pointer into the resource, not terminated.
  const wchar_t* text = nullptr;
  int length =
      ::LoadStringW(resources_, static_cast<UINT>(titleId_), reinterpret_cast<LPWSTR>(&text), 0);
  std::wstring_view title = length > 0 && text ? std::wstring_view(text, length) : name_;
  auto* copy = static_cast<LPOLESTR>(::CoTaskMemAlloc((title.size() + 1) * sizeof(wchar_t)));
  if (!copy) return E_OUTOFMEMORY;
  title.copy(copy, title.size());
  copy[title.size()] = L'\0';

  *info = PROPPAGEINFO{};
  info->cb = sizeof(PROPPAGEINFO);
  info->pszTitle = copy;
  info->size = size;
  return S_OK;
}

HRESULT CBasePropertyPage::SetObjects(ULONG count, IUnknown** objects) {
  if (count == 0) {
    if (!object_) return S_OK;
    HRESULT hr = callHook([this] { return OnDisconnect(); });
    // Releasing is what count 0 asks for; the hook's failure does not keep the object.
    object_.Reset();
    return hr;
  }
  if (!objects || !objects[0]) return E_POINTER;
  // The page edits one object; several would see edits applied to the first alone.
  if (count > 1) return E_UNEXPECTED;

  if (object_) {
    callHook([this] { return OnDisconnect(); });
    object_.Reset();
  }
  IUnknown* object = objects[0];
  HRESULT hr = callHook([this, object] { return OnConnect(object); });
  if (FAILED(hr)) return hr;
  object_ = object;
  return S_OK;
}

HRESULT CBasePropertyPage::Show(UINT command) {
  if (!dialog_) return E_UNEXPECTED;
  if (command != SW_SHOW && command != SW_SHOWNORMAL && command != SW_HIDE) return E_INVALIDARG;
  ::ShowWindow(dialog_, static_cast<int>(command));
  if (command != SW_HIDE) ::InvalidateRect(dialog_, nullptr, TRUE);
  return S_OK;
}

HRESULT CBasePropertyPage::Move(LPCRECT rect) {
  if (!rect) return E_POINTER;
  if (!dialog_) return E_UNEXPECTED;
  if (!::MoveWindow(dialog_, rect->left, rect->top, rect->right - rect->left,
                    rect->bottom - rect->top, TRUE)) {
    return lastError();
  }
  return S_OK;
}

HRESULT CBasePropertyPage::IsPageDirty() { return dirty_ ? S_OK : S_FALSE; }

HRESULT CBasePropertyPage::Apply() {
  if (!dirty_) return S_OK;
  HRESULT hr = callHook([this] { return OnApplyChanges(); });
  // A refused apply keeps the page dirty, so the frame can offer it again.
  if (FAILED(hr)) return hr;
  dirty_ = false;
  return S_OK;
}

HRESULT CBasePropertyPage::Help(LPCOLESTR) { return E_NOTIMPL; }

HRESULT CBasePropertyPage::TranslateAccelerator(MSG* message) {
  if (!message) return E_POINTER;
  if (!dialog_) return S_FALSE;
  // Tab, arrows and mnemonics among the page's controls; the dialog manager also dispatches
  // what it accepts, so the frame must not.
  return ::IsDialogMessageW(dialog_, message) ? S_OK : S_FALSE;
}

INT_PTR CALLBACK CBasePropertyPage::DialogProc(HWND dialog, UINT message, WPARAM wParam,
                                               LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* page = reinterpret_cast<CBasePropertyPage*>(lParam);
    ::SetWindowLongPtrW(dialog, DWLP_USER, lParam);
    if (page) page->dialog_ = dialog;
    return TRUE;
  }
  // Messages before WM_INITDIALOG (WM_SETFONT, the first sizes) find no page yet.
  auto* page = reinterpret_cast<CBasePropertyPage*>(::GetWindowLongPtrW(dialog, DWLP_USER));
  if (!page) return FALSE;
  INT_PTR result = FALSE;
  try {
    result = page->OnReceiveMessage(dialog, message, wParam, lParam);
  } catch (...) {
    result = FALSE;
  }
  if (message == WM_NCDESTROY) {
    // The frame may destroy its window, and ours with it, without deactivating the page.
    ::SetWindowLongPtrW(dialog, DWLP_USER, 0);
    if (page->dialog_ == dialog) page->dialog_ = nullptr;
  }
  return result;
}
