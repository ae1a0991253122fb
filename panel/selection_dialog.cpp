// The instance selection dialog.
#include "panel/selection_dialog.h"

#include <psapi.h>

#include <cwctype>
#include <vector>

#include "common/module_proc.h"
#include "common/win_raii.h"
#include "panel/dialog_controls.h"
#include "panel/resource.h"

namespace {

constexpr DWORD kAnyServer = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER;

// Pixels, relative to the dialog.
const ControlPlacement kLayout[] = {
    {IDCANCEL, 441, 57, 75, 23},           {IDC_INSTANCE_LIST, 9, 29, 423, 215},
    {IDC_SELECTION_LABEL, 9, 10, 423, 13}, {IDC_CREATE_NEW, 441, 205, 75, 42},
    {IDC_SELECT, 441, 29, 75, 23},
};

std::vector<std::wstring> blankSeparatedTokens(const std::wstring& text) {
  std::vector<std::wstring> tokens;
  // Only blanks separate; other characters stay part of their token.
  size_t position = 0;
  while (position < text.size()) {
    while (position < text.size() && text[position] == L' ') ++position;
    const size_t start = position;
    while (position < text.size() && text[position] != L' ') ++position;
    if (position > start) tokens.push_back(text.substr(start, position - start));
  }
  return tokens;
}

DWORD hexadecimalProcessId(const std::wstring& token) {
  DWORD value = 0;
  for (wchar_t c : token) {
    const wchar_t upper = static_cast<wchar_t>(std::towupper(c));
    if (upper >= L'0' && upper <= L'9') {
      value = value * 16 + (upper - L'0');
    } else if (upper >= L'A' && upper <= L'F') {
      value = value * 16 + (upper - L'A' + 10);
    }
  }
  return value;
}

std::wstring firstModuleName(DWORD processId) {
  UniqueHandle process(
      ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId));
  if (!process) return {};
  HMODULE module = nullptr;
  DWORD needed = 0;
  if (!::EnumProcessModules(process.get(), &module, sizeof(module), &needed) || !module) {
    return {};
  }
  wchar_t name[MAX_PATH + 1] = {};
  if (::GetModuleBaseNameW(process.get(), module, name, MAX_PATH) == 0) return {};
  return name;
}

}  // namespace

std::wstring CScrDlgInst::describeInstance(const wchar_t* displayName) {
  const std::vector<std::wstring> tokens = blankSeparatedTokens(displayName ? displayName : L"");
  if (tokens.size() < 4 || tokens[0] != L"!Zelkgrab" || tokens[2] != L"pid") return L"<unknown>";
  const std::wstring module = firstModuleName(hexadecimalProcessId(tokens[3]));
  if (module.empty()) return L"Zelkgrab <" + tokens[1] + L"> in process <" + tokens[3] + L">";
  return L"Zelkgrab <" + tokens[1] + L"> in " + module + L" process <" + tokens[3] + L">";
}

INT_PTR CScrDlgInst::run() {
  return ::DialogBoxParamW(currentModule(), MAKEINTRESOURCEW(IDD_INSTANCE_SELECTION), nullptr,
                           &CScrDlgInst::dialogProc, reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK CScrDlgInst::dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* dialog = reinterpret_cast<CScrDlgInst*>(lParam);
    ::SetWindowLongPtrW(window, DWLP_USER, lParam);
    dialog->window_ = window;
    dialog->initialise();
    return TRUE;
  }
  auto* dialog = reinterpret_cast<CScrDlgInst*>(::GetWindowLongPtrW(window, DWLP_USER));
  if (!dialog || message != WM_COMMAND) return FALSE;
  switch (LOWORD(wParam)) {
    case IDC_SELECT:
      dialog->select();
      return TRUE;
    case IDOK:
      if (::SendDlgItemMessageW(window, IDC_INSTANCE_LIST, LB_GETCOUNT, 0, 0) > 0) dialog->select();
      return TRUE;
    case IDC_CREATE_NEW:
      ::EndDialog(window, kCreateNew);
      return TRUE;
    case IDCANCEL:
      ::EndDialog(window, IDCANCEL);
      return TRUE;
    default:
      return FALSE;
  }
}

void CScrDlgInst::initialise() {
  ::SetWindowTextW(window_, L"Zelk Screen Capture Driver instance selection");
  ::SetDlgItemTextW(window_, IDC_SELECTION_LABEL,
                    L"Select active Zelk Screen Capture Driver for control:");
  ::SetDlgItemTextW(window_, IDC_SELECT, L"Select");
  ::SetDlgItemTextW(window_, IDCANCEL, L"Cancel");
  ::SetDlgItemTextW(window_, IDC_CREATE_NEW, L"Create new one");
  placeControls(window_, kLayout);
  ::SetWindowPos(window_, nullptr, 0, 0, 534, 286, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  refresh();
}

void CScrDlgInst::refresh() {
  enumerator_.Reset();
  if (FAILED(::CoCreateInstance(CLSID_ZelkgrabEnum, nullptr, kAnyServer, IID_IZelkgrabEnum,
                                reinterpret_cast<void**>(enumerator_.GetAddressOf())))) {
    enumerator_.Reset();
  }
  fillList();
  HWND list = ::GetDlgItem(window_, IDC_INSTANCE_LIST);
  const bool empty = ::SendMessageW(list, LB_GETCOUNT, 0, 0) <= 0;
  ::EnableWindow(::GetDlgItem(window_, IDC_SELECT), !empty);
  if (empty) {
    ::SetWindowPos(::GetDlgItem(window_, IDC_CREATE_NEW), HWND_TOP, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE);
  } else {
    ::SendMessageW(list, LB_SETCURSEL, 0, 0);
    ::SetWindowPos(list, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  }
}

void CScrDlgInst::fillList() {
  HWND list = ::GetDlgItem(window_, IDC_INSTANCE_LIST);
  ::SendMessageW(list, LB_RESETCONTENT, 0, 0);
  if (!enumerator_) return;
  ULONG count = 0;
  if (FAILED(enumerator_->get_count(&count))) return;
  for (ULONG n = 0; n < count; ++n) {
    UniqueBstr name;
    std::wstring line = L"<unknown>";
    if (SUCCEEDED(enumerator_->get_name(n, name.put()))) line = describeInstance(name.get());
    ::SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
  }
}

void CScrDlgInst::select() {
  const LRESULT selected = ::SendDlgItemMessageW(window_, IDC_INSTANCE_LIST, LB_GETCURSEL, 0, 0);
  if (selected == LB_ERR) return;
  if (!enumerator_) {
    refresh();
    return;
  }
  chosen_ = static_cast<LONG>(selected);
  ::EndDialog(window_, kSelected);
}
