// The panel's main dialog.
#include "panel/main_dialog.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <set>

#include "common/module_proc.h"
#include "panel/dialog_controls.h"
#include "panel/panel_application.h"
#include "panel/resource.h"

namespace {

constexpr wchar_t kSettingsKey[] = L"SOFTWARE\\MorvainLabs\\ZelkgrabDlg";
constexpr wchar_t kTabValue[] = L"dialog";
constexpr COLORREF kCaptionText = RGB(255, 255, 255);
constexpr COLORREF kTabText = RGB(0xD0, 0xD0, 0xD0);
constexpr COLORREF kDisabledEditBack = RGB(0x3C, 0x3C, 0x3C);
constexpr COLORREF kDisabledEditText = RGB(0x96, 0x96, 0x96);

bool isEdit(HWND control) {
  wchar_t name[16] = {};
  ::GetClassNameW(control, name, 16);
  return ::lstrcmpiW(name, L"Edit") == 0;
}

// Pixels, relative to the dialog's client area.
const ControlPlacement kLayout[] = {
    {IDC_TAB_CAPTURE, 146, 29, 72, 21}, {IDC_TAB_SETTINGS, 218, 29, 72, 21},
    {IDC_TAB_ABOUT, 290, 29, 72, 21},   {IDC_TAB_AREA, 15, 65, 495, 130},
    {IDC_CLOSE, 492, 3, 20, 20},        {IDC_CAPTION, 225, 8, 261, 13},
};

const int kTabButtons[] = {IDC_TAB_CAPTURE, IDC_TAB_SETTINGS, IDC_TAB_ABOUT};
const int kTabTemplates[] = {IDD_CAPTURE_TAB, IDD_SETTINGS_TAB, IDD_ABOUT_TAB};

// The open dialogs, for the message loop's keyboard handling.
std::set<HWND>& openDialogs() {
  static std::set<HWND> dialogs;
  return dialogs;
}

HBITMAP loadBitmap(int id) {
  return static_cast<HBITMAP>(
      ::LoadImageW(currentModule(), MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
}

// The region of every pixel of `bitmap` that is not the key colour, row by row.
HRGN regionWithoutKeyColour(HBITMAP bitmap) {
  BITMAP info = {};
  if (!::GetObjectW(bitmap, sizeof(info), &info)) return nullptr;
  const int width = info.bmWidth, height = info.bmHeight;
  BITMAPINFO format = {};
  format.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB};
  std::vector<DWORD> pixels(static_cast<size_t>(width) * height);
  UniqueMemoryDC dc(::CreateCompatibleDC(nullptr));
  if (!::GetDIBits(dc.get(), bitmap, 0, height, pixels.data(), &format, DIB_RGB_COLORS)) {
    return nullptr;
  }
  std::vector<RECT> runs;
  for (int y = 0; y < height; ++y) {
    int x = 0;
    while (x < width) {
      while (x < width && (pixels[y * width + x] & 0xFFFFFF) == 0xFF00FF) ++x;
      const int start = x;
      while (x < width && (pixels[y * width + x] & 0xFFFFFF) != 0xFF00FF) ++x;
      if (x > start) runs.push_back(RECT{start, y, x, y + 1});
    }
  }
  std::vector<BYTE> data(sizeof(RGNDATAHEADER) + runs.size() * sizeof(RECT));
  auto* region = reinterpret_cast<RGNDATA*>(data.data());
  region->rdh = {sizeof(RGNDATAHEADER), RDH_RECTANGLES, static_cast<DWORD>(runs.size()),
                 static_cast<DWORD>(runs.size() * sizeof(RECT)), RECT{0, 0, width, height}};
  std::copy(runs.begin(), runs.end(), reinterpret_cast<RECT*>(region->Buffer));
  return ::ExtCreateRegion(nullptr, static_cast<DWORD>(data.size()), region);
}

std::wstring loadString(int id) {
  wchar_t text[128] = {};
  ::LoadStringW(currentModule(), id, text, 128);
  return text;
}

}  // namespace

CScrDlgMain::CScrDlgMain(IZelkgrab* filter)
    : filter_(filter), settings_(HKEY_LOCAL_MACHINE, kSettingsKey) {
  DWORD tab = CaptureTab;
  settings_.ReadDword(kTabValue, &tab, CaptureTab);
  tab_ = static_cast<int>(std::min<DWORD>(tab, 0x7FFFFFFF));
}

CScrDlgMain::~CScrDlgMain() = default;

HRESULT CScrDlgMain::open(IZelkgrab* filter) {
  auto* dialog = new (std::nothrow) CScrDlgMain(filter);
  if (!dialog) return E_OUTOFMEMORY;
  HWND window = ::CreateDialogParamW(currentModule(), MAKEINTRESOURCEW(IDD_MAIN), nullptr,
                                     &CScrDlgMain::dialogProc, reinterpret_cast<LPARAM>(dialog));
  if (!window) {
    delete dialog;
    return E_FAIL;
  }
  ::ShowWindow(window, SW_SHOW);
  ::SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  ::SetFocus(window);
  ::SetForegroundWindow(window);
  return S_OK;
}

bool CScrDlgMain::preTranslate(MSG* message) {
  for (HWND dialog : openDialogs()) {
    if (::IsDialogMessageW(dialog, message)) return true;
  }
  return false;
}

INT_PTR CALLBACK CScrDlgMain::dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* dialog = reinterpret_cast<CScrDlgMain*>(lParam);
    ::SetWindowLongPtrW(window, DWLP_USER, lParam);
    dialog->window_ = window;
    openDialogs().insert(window);
    dialog->initialise();
    return FALSE;
  }
  auto* dialog = reinterpret_cast<CScrDlgMain*>(::GetWindowLongPtrW(window, DWLP_USER));
  if (!dialog) return FALSE;
  if (message == WM_NCDESTROY) {
    openDialogs().erase(window);
    ::SetWindowLongPtrW(window, DWLP_USER, 0);
    delete dialog;
    return FALSE;
  }
  return dialog->handle(message, wParam, lParam);
}

INT_PTR CScrDlgMain::handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ERASEBKGND:
      paintSkin(reinterpret_cast<HDC>(wParam), window_);
      ::SetWindowLongPtrW(window_, DWLP_MSGRESULT, 1);
      return TRUE;
    case WM_CTLCOLORSTATIC: {
      HDC dc = reinterpret_cast<HDC>(wParam);
      ::SetBkMode(dc, TRANSPARENT);
      ::SetTextColor(dc, kCaptionText);
      return reinterpret_cast<INT_PTR>(::GetStockObject(NULL_BRUSH));
    }
    case WM_DRAWITEM: {
      const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      for (int i = 0; i < TabCount; ++i) {
        if (item->hwndItem == tabButtons_[i].window()) tabButtons_[i].draw(*item);
      }
      if (item->hwndItem == closeButton_.window()) closeButton_.draw(*item);
      return TRUE;
    }
    case WM_LBUTTONDOWN:
      // Dragging the background moves the window, as a caption would.
      ::ReleaseCapture();
      ::SendMessageW(window_, WM_NCLBUTTONDOWN, HTCAPTION, 0);
      return TRUE;
    case WM_TIMER:
      if (wParam == kPollTimer) onTimer();
      return TRUE;
    case kWindowPicked:
      onWindowPicked(reinterpret_cast<HWND>(wParam));
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDC_TAB_CAPTURE:
        case IDC_TAB_SETTINGS:
        case IDC_TAB_ABOUT:
          showTab(LOWORD(wParam) - IDC_TAB_CAPTURE);
          return TRUE;
        case IDC_CLOSE:
        case IDCANCEL:
          close();
          return TRUE;
        case IDOK:
          // Enter has nothing to confirm: every change is written as it is made.
          return TRUE;
      }
      return FALSE;
    case WM_CLOSE:
      close();
      return TRUE;
    case WM_DESTROY:
      ::KillTimer(window_, kPollTimer);
      filter_.Reset();
      return FALSE;
    default:
      return FALSE;
  }
}

void CScrDlgMain::initialise() {
  createTooltips();
  disabledEditBrush_.reset(::CreateSolidBrush(kDisabledEditBack));
  font_.reset(::CreateFontW(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                            OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                            DEFAULT_PITCH | FF_DONTCARE, L"MS Sans Serif"));
  for (HWND child = ::GetWindow(window_, GW_CHILD); child;
       child = ::GetWindow(child, GW_HWNDNEXT)) {
    ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
  }
  const HINSTANCE module = currentModule();
  ::SendMessageW(window_, WM_SETICON, ICON_BIG,
                 reinterpret_cast<LPARAM>(::LoadImageW(module, MAKEINTRESOURCEW(IDI_PANEL),
                                                       IMAGE_ICON, 32, 32, LR_SHARED)));
  ::SendMessageW(window_, WM_SETICON, ICON_SMALL,
                 reinterpret_cast<LPARAM>(::LoadImageW(module, MAKEINTRESOURCEW(IDI_PANEL),
                                                       IMAGE_ICON, 16, 16, LR_SHARED)));
  ::SetWindowTextW(window_, L"Zelkgrab");
  placeControls(window_, kLayout);
  applySkin();

  const wchar_t* captions[] = {L"Capture", L"Settings", L"About"};
  const int tips[] = {IDS_TIP_CAPTURE, IDS_TIP_SETTINGS, IDS_TIP_ABOUT};
  for (int i = 0; i < TabCount; ++i) {
    HWND button = ::GetDlgItem(window_, kTabButtons[i]);
    ::SetWindowTextW(button, captions[i]);
    tabButtons_[i].attach(button);
    addToolTip(button, loadString(tips[i]).c_str());
  }
  createTabs();

  closeBitmaps_[0].reset(loadBitmap(IDB_CLOSE_NORMAL));
  closeBitmaps_[1].reset(loadBitmap(IDB_CLOSE_HOVER));
  closeBitmaps_[2].reset(loadBitmap(IDB_CLOSE_PRESSED));
  HWND close = ::GetDlgItem(window_, IDC_CLOSE);
  ::SetWindowTextW(close, L"");
  closeButton_.attach(close, closeBitmaps_[0].get(), closeBitmaps_[1].get(),
                      closeBitmaps_[2].get());
  addToolTip(close, loadString(IDS_TIP_CLOSE).c_str());

  if (!filter_) {
    ::ShowWindow(::GetDlgItem(window_, IDC_TAB_CAPTURE), SW_HIDE);
    ::ShowWindow(::GetDlgItem(window_, IDC_TAB_SETTINGS), SW_HIDE);
    ::ShowWindow(tabs_[CaptureTab], SW_HIDE);
    ::ShowWindow(tabs_[SettingsTab], SW_HIDE);
  }
  int tab = std::clamp(tab_, 0, TabCount - 1);
  if (!filter_ && tab != AboutTab) tab = AboutTab;
  tab_ = tab;
  showTab(tab);
  readBack();
  ::SetTimer(window_, kPollTimer, 100, nullptr);
}

void CScrDlgMain::createTooltips() {
  tooltip_ = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window_,
                               nullptr, currentModule(), nullptr);
  ::SendMessageW(tooltip_, TTM_SETDELAYTIME, TTDT_INITIAL, 400);
  ::SendMessageW(tooltip_, TTM_SETDELAYTIME, TTDT_RESHOW, 400);
  ::SendMessageW(tooltip_, TTM_ACTIVATE, TRUE, 0);
}

void CScrDlgMain::addToolTip(HWND control, const wchar_t* text) {
  std::wstring tip = text;
  TTTOOLINFOW tool = {sizeof(tool), TTF_IDISHWND | TTF_SUBCLASS, ::GetParent(control),
                      reinterpret_cast<UINT_PTR>(control)};
  tool.lpszText = tip.data();
  ::SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void CScrDlgMain::applySkin() {
  skin_.reset(loadBitmap(IDB_SKIN));
  BITMAP info = {};
  if (!skin_ || !::GetObjectW(skin_.get(), sizeof(info), &info)) return;
  // No border or caption: the window's size is its client area's.
  ::SetWindowPos(window_, nullptr, 0, 0, info.bmWidth, info.bmHeight,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  if (HRGN region = regionWithoutKeyColour(skin_.get())) {
    if (!::SetWindowRgn(window_, region, TRUE)) ::DeleteObject(region);
  }
}

void CScrDlgMain::paintSkin(HDC dc, HWND window) const {
  RECT client;
  ::GetClientRect(window, &client);
  if (!skin_) {
    ::FillRect(dc, &client, static_cast<HBRUSH>(::GetStockObject(DKGRAY_BRUSH)));
    return;
  }
  // A child shows the part of the skin behind it.
  POINT origin = {0, 0};
  ::MapWindowPoints(window, window_, &origin, 1);
  UniqueMemoryDC source(::CreateCompatibleDC(dc));
  SelectObjectGuard selected(source.get(), skin_.get());
  ::BitBlt(dc, 0, 0, client.right, client.bottom, source.get(), origin.x, origin.y, SRCCOPY);
}

void CScrDlgMain::createTabs() {
  RECT area;
  HWND placeholder = ::GetDlgItem(window_, IDC_TAB_AREA);
  ::GetWindowRect(placeholder, &area);
  ::MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&area), 2);
  for (int i = 0; i < TabCount; ++i) {
    tabs_[i] = ::CreateDialogParamW(currentModule(), MAKEINTRESOURCEW(kTabTemplates[i]), window_,
                                    &CScrDlgMain::tabProc, reinterpret_cast<LPARAM>(this));
    if (!tabs_[i]) continue;
    ::SetWindowPos(tabs_[i], nullptr, area.left, area.top, area.right - area.left,
                   area.bottom - area.top, SWP_NOZORDER | SWP_NOACTIVATE);
    for (HWND child = ::GetWindow(tabs_[i], GW_CHILD); child;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
      ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    }
  }
  if (tabs_[CaptureTab]) captureTab_.initialise(tabs_[CaptureTab], window_);
  if (tabs_[SettingsTab]) settingsTab_.initialise(tabs_[SettingsTab]);
  if (tabs_[AboutTab]) {
    ::SetDlgItemTextW(tabs_[AboutTab], IDC_ABOUT_PRODUCT, L"Screen Capture filter");
    wchar_t version[128];
    std::swprintf(version, 128, L"version %ls", panelApplication().versionText.c_str());
    ::SetDlgItemTextW(tabs_[AboutTab], IDC_ABOUT_VERSION, version);
  }
}

INT_PTR CALLBACK CScrDlgMain::tabProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    ::SetWindowLongPtrW(window, DWLP_USER, lParam);
    return FALSE;
  }
  auto* dialog = reinterpret_cast<CScrDlgMain*>(::GetWindowLongPtrW(window, DWLP_USER));
  if (!dialog) return FALSE;
  INT_PTR result = FALSE;
  if (window == dialog->tabs_[SettingsTab] &&
      dialog->settingsTab_.handle(message, wParam, lParam, &result)) {
    return result;
  }
  if (window == dialog->tabs_[CaptureTab] &&
      dialog->captureTab_.handle(message, wParam, lParam, &result)) {
    return result;
  }
  switch (message) {
    case WM_ERASEBKGND:
      dialog->paintSkin(reinterpret_cast<HDC>(wParam), window);
      ::SetWindowLongPtrW(window, DWLP_MSGRESULT, 1);
      return TRUE;
    case WM_CTLCOLORSTATIC: {
      HDC dc = reinterpret_cast<HDC>(wParam);
      if (isEdit(reinterpret_cast<HWND>(lParam))) {
        // A disabled edit fills its own background, or its old text would stay under the new.
        ::SetBkColor(dc, kDisabledEditBack);
        ::SetTextColor(dc, kDisabledEditText);
        return reinterpret_cast<INT_PTR>(dialog->disabledEditBrush_.get());
      }
      ::SetBkMode(dc, TRANSPARENT);
      ::SetTextColor(dc, kTabText);
      return reinterpret_cast<INT_PTR>(::GetStockObject(NULL_BRUSH));
    }
    case WM_LBUTTONDOWN:
      // Moving the window from a tab's background too.
      ::ReleaseCapture();
      ::SendMessageW(dialog->window_, WM_NCLBUTTONDOWN, HTCAPTION, 0);
      return TRUE;
    default:
      return FALSE;
  }
}

void CScrDlgMain::showTab(int tab) {
  if (tab != tab_) {
    tab_ = tab;
    settings_.WriteDword(kTabValue, static_cast<DWORD>(tab));
  }
  for (int i = 0; i < TabCount; ++i) {
    if (tabs_[i]) ::ShowWindow(tabs_[i], i == tab ? SW_SHOW : SW_HIDE);
    tabButtons_[i].setSelected(i == tab);
  }
}

void CScrDlgMain::readBack() {
  if (!filter_) return;
  UniqueBstr document;
  if (FAILED(filter_->get_sc_props(document.put())) || !document) return;
  ParameterSnapshot snapshot;
  if (FAILED(readSnapshot(document.get(), &snapshot))) return;
  snapshot_ = snapshot;
  applying_ = true;
  showSnapshot();
  if (tabs_[CaptureTab]) captureTab_.apply(snapshot_);
  if (tabs_[SettingsTab]) settingsTab_.apply(snapshot_);
  applying_ = false;
}

void CScrDlgMain::showSnapshot() {
  // The caption line says what is being captured.
  const ParamRect& rect = snapshot_.rect;
  wchar_t caption[128];
  if (snapshot_.has(CaptureFlag::TrackWnd)) {
    std::swprintf(caption, 128, L"Window %08X, %d x %d", snapshot_.hwnd, rect.right - rect.left,
                  rect.bottom - rect.top);
  } else {
    std::swprintf(caption, 128, L"%d x %d at %d, %d", rect.right - rect.left,
                  rect.bottom - rect.top, rect.left, rect.top);
  }
  HWND field = ::GetDlgItem(window_, IDC_CAPTION);
  ::SetWindowTextW(field, caption);
  // The field draws on the skin without a background: the skin behind it is repainted first.
  RECT area;
  ::GetWindowRect(field, &area);
  ::MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&area), 2);
  ::RedrawWindow(window_, &area, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

HRESULT CScrDlgMain::writeFlag(const wchar_t* path, LONG value) {
  if (!filter_) return E_UNEXPECTED;
  UniqueBstr name(::SysAllocString(path));
  if (!name) return E_OUTOFMEMORY;
  return filter_->put_sc_prop(name.get(), value);
}

HRESULT CScrDlgMain::writeDocument(const std::vector<DocumentValue>& values) {
  if (!filter_) return E_UNEXPECTED;
  std::wstring text;
  HRESULT hr = partialDocument(values, &text);
  if (FAILED(hr)) return hr;
  UniqueBstr document(::SysAllocStringLen(text.data(), static_cast<UINT>(text.size())));
  if (!document) return E_OUTOFMEMORY;
  return filter_->put_sc_props(document.get());
}

void CScrDlgMain::onTimer() {
  if (!filter_) return;
  const HRESULT hr = filter_->CheckEvent(0);
  if (FAILED(hr)) {
    // The filter has gone away.
    ::PostMessageW(window_, WM_CLOSE, 0, 0);
    return;
  }
  if (hr == S_OK || pendingRefresh_) {
    // Not while the user chooses from the window list: the list would be filled anew.
    if (captureTab_.listDropped()) {
      pendingRefresh_ = true;
      return;
    }
    pendingRefresh_ = false;
    readBack();
  }
}

void CScrDlgMain::onWindowPicked(HWND picked) {
  const auto handle = static_cast<int32_t>(reinterpret_cast<uintptr_t>(picked));
  writeDocument({{L"params\\window\\hwnd", std::to_wstring(static_cast<int64_t>(handle))},
                 {L"params\\flags\\trackwnd", L"1"},
                 {L"params\\flags\\trackscr", L"0"}});
  readBack();
}

void CScrDlgMain::close() {
  filter_.Reset();
  ::DestroyWindow(window_);
}
