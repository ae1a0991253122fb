// The main dialog's capture-area tab.
#include "panel/capture_tab.h"

#include <algorithm>
#include <string>

#include "common/module_proc.h"
#include "panel/dialog_controls.h"
#include "panel/region_tool.h"
#include "panel/resource.h"

namespace {

// Pixels, relative to the tab.
const ControlPlacement kLayout[] = {
    {IDC_LEFT_LABEL, 9, 23, 54, 13, L"Left side of capture area"},
    {IDC_LEFT, 72, 20, 60, 20, L"Left side of capture area"},
    {IDC_TOP_LABEL, 9, 42, 54, 13, L"Top side of capture area"},
    {IDC_TOP, 72, 39, 60, 20, L"Top side of capture area"},
    {IDC_WIDTH_LABEL, 144, 23, 45, 13, L"Width of capture area"},
    {IDC_WIDTH, 198, 20, 60, 20, L"Width of capture area"},
    {IDC_HEIGHT_LABEL, 144, 42, 45, 13, L"Height of capture area"},
    {IDC_HEIGHT, 198, 39, 60, 20, L"Height of capture area"},
    {IDC_TRACK_WINDOW, 270, 20, 216, 16, L"Track capture area with window"},
    {IDC_TRACK_SCREEN, 270, 36, 216, 16, L"Track capture area with screen"},
    {IDC_SHOW_FRAME, 270, 52, 216, 16, nullptr},
    {IDC_WINDOW_LABEL, 9, 73, 252, 13, L"Windows list"},
    {IDC_WINDOW_LIST, 9, 88, 252, 21, L"Windows list"},
    {IDC_REGION, 270, 88, 75, 23, L"Region selection tool"},
    {IDC_WINDOW_PICKER, 387, 88, 75, 23, L"Window selection tool"},
};

const int kEdits[] = {IDC_LEFT, IDC_TOP, IDC_WIDTH, IDC_HEIGHT};

void setNumber(HWND window, int id, int32_t value) {
  const std::wstring text = std::to_wstring(value);
  wchar_t shown[32] = {};
  ::GetDlgItemTextW(window, id, shown, 32);
  // Only what changes is repainted.
  if (text != shown) ::SetDlgItemTextW(window, id, text.c_str());
}

HBITMAP loadBitmap(int id) {
  return static_cast<HBITMAP>(
      ::LoadImageW(currentModule(), MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
}

std::wstring handleText(uint32_t handle) {
  return std::to_wstring(static_cast<int64_t>(static_cast<int32_t>(handle)));
}

}  // namespace

void CScrDlgScreen::initialise(HWND window, HWND mainDialog) {
  window_ = window;
  mainDialog_ = mainDialog;
  placeControls(window_, kLayout,
                [this](HWND control, const wchar_t* tip) { host_->addToolTip(control, tip); });
  regionBitmaps_[0].reset(loadBitmap(IDB_REGION_NORMAL));
  regionBitmaps_[1].reset(loadBitmap(IDB_REGION_HOVER));
  regionBitmaps_[2].reset(loadBitmap(IDB_REGION_PRESSED));
  regionButton_.attach(::GetDlgItem(window_, IDC_REGION), regionBitmaps_[0].get(),
                       regionBitmaps_[1].get(), regionBitmaps_[2].get());
  picker_.attach(::GetDlgItem(window_, IDC_WINDOW_PICKER), mainDialog_, TabHost::kWindowPicked);
}

void CScrDlgScreen::apply(const ParameterSnapshot& snapshot) {
  const ParamRect& rect = snapshot.rect;
  setNumber(window_, IDC_LEFT, rect.left);
  setNumber(window_, IDC_TOP, rect.top);
  setNumber(window_, IDC_WIDTH, rect.right - rect.left);
  setNumber(window_, IDC_HEIGHT, rect.bottom - rect.top);
  const bool trackWindow = snapshot.has(CaptureFlag::TrackWnd);
  const bool trackScreen = snapshot.has(CaptureFlag::TrackScr);
  ::CheckDlgButton(window_, IDC_TRACK_WINDOW, trackWindow ? BST_CHECKED : BST_UNCHECKED);
  ::CheckDlgButton(window_, IDC_TRACK_SCREEN,
                   trackScreen && !trackWindow ? BST_CHECKED : BST_UNCHECKED);
  ::CheckDlgButton(
      window_, IDC_SHOW_FRAME,
      snapshot.has(CaptureFlag::ShowFrame) && !trackWindow ? BST_CHECKED : BST_UNCHECKED);
  for (int id : kEdits) {
    HWND edit = ::GetDlgItem(window_, id);
    const bool enabled = !trackWindow && !trackScreen;
    if ((::IsWindowEnabled(edit) != 0) != enabled) ::EnableWindow(edit, enabled);
  }
  ::EnableWindow(::GetDlgItem(window_, IDC_WINDOW_LIST), trackWindow);
  if (trackWindow) {
    // The list shows the tracked window; it never dropped down.
    fillWindowList();
    closeUp();
    listDropped_ = false;
  }
}

bool CScrDlgScreen::handle(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR* result) {
  if (message == WM_DRAWITEM) {
    const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
    if (item.hwndItem == regionButton_.window()) regionButton_.draw(item);
    if (wParam == IDC_WINDOW_PICKER) picker_.draw(item);
    *result = TRUE;
    return true;
  }
  if (message != WM_COMMAND) return false;
  const int id = LOWORD(wParam);
  const int code = HIWORD(wParam);
  *result = TRUE;
  // Showing the snapshot disables a focused edit, which then reports losing the focus: that
  // is not the user leaving it.
  if (host_->applying()) return true;
  switch (id) {
    case IDC_TRACK_WINDOW:
      if (code == BN_CLICKED) onTrackWindow();
      return true;
    case IDC_TRACK_SCREEN:
      if (code == BN_CLICKED) onTrackScreen();
      return true;
    case IDC_SHOW_FRAME:
      if (code == BN_CLICKED) {
        host_->writeFlag(L"params\\flags\\showframe",
                         ::IsDlgButtonChecked(window_, IDC_SHOW_FRAME) == BST_CHECKED ? 1 : 0);
        host_->readBack();
      }
      return true;
    case IDC_LEFT:
    case IDC_TOP:
    case IDC_WIDTH:
    case IDC_HEIGHT:
      if (code == EN_KILLFOCUS) writeRectangle();
      return true;
    case IDC_REGION:
      if (code == BN_CLICKED) onRegion();
      return true;
    case IDC_WINDOW_LIST:
      if (code == CBN_DROPDOWN) fillWindowList();
      if (code == CBN_CLOSEUP) closeUp();
      return true;
    default:
      return false;
  }
}

void CScrDlgScreen::onTrackWindow() {
  ::CheckDlgButton(window_, IDC_TRACK_SCREEN, BST_UNCHECKED);
  if (::IsDlgButtonChecked(window_, IDC_TRACK_WINDOW) != BST_CHECKED) {
    host_->writeFlag(L"params\\flags\\trackwnd", 0);
    host_->readBack();
    return;
  }
  uint32_t handle = host_->snapshot().hwnd;
  if (handle == 0 || !::IsWindow(reinterpret_cast<HWND>(static_cast<uintptr_t>(handle)))) {
    fillWindowList();
    if (windows_.empty()) {
      host_->writeFlag(L"params\\flags\\trackwnd", 0);
      host_->readBack();
      return;
    }
    handle = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(windows_.front().window));
  }
  host_->writeDocument({{L"params\\flags\\trackwnd", L"1"},
                        {L"params\\flags\\trackscr", L"0"},
                        {L"params\\window\\hwnd", handleText(handle)}});
  host_->readBack();
}

void CScrDlgScreen::onTrackScreen() {
  const bool checked = ::IsDlgButtonChecked(window_, IDC_TRACK_SCREEN) == BST_CHECKED;
  ::CheckDlgButton(window_, IDC_TRACK_WINDOW, BST_UNCHECKED);
  host_->writeFlag(L"params\\flags\\trackwnd", 0);
  host_->writeFlag(L"params\\flags\\trackscr", checked ? 1 : 0);
  host_->readBack();
}

void CScrDlgScreen::writeRectangle() {
  uint32_t values[4] = {};
  for (int i = 0; i < 4; ++i) {
    if (!readUnsignedDecimal(controlText(window_, kEdits[i]), &values[i])) {
      host_->readBack();
      return;
    }
  }
  const auto number = [](uint32_t value) { return std::to_wstring(static_cast<int32_t>(value)); };
  host_->writeDocument({{L"params\\rect\\left", number(values[0])},
                        {L"params\\rect\\top", number(values[1])},
                        {L"params\\rect\\right", number(values[0] + values[2])},
                        {L"params\\rect\\bottom", number(values[1] + values[3])}});
  host_->readBack();
}

void CScrDlgScreen::onRegion() {
  RECT chosen;
  // Cancelled: nothing changed, nothing to read back.
  if (!selectRegion(mainDialog_, &chosen)) return;
  host_->writeDocument({{L"params\\rect\\left", std::to_wstring(chosen.left)},
                        {L"params\\rect\\top", std::to_wstring(chosen.top)},
                        {L"params\\rect\\right", std::to_wstring(chosen.right)},
                        {L"params\\rect\\bottom", std::to_wstring(chosen.bottom)},
                        {L"params\\flags\\trackwnd", L"0"},
                        {L"params\\flags\\trackscr", L"0"}});
  host_->readBack();
}

void CScrDlgScreen::fillWindowList() {
  HWND list = ::GetDlgItem(window_, IDC_WINDOW_LIST);
  ::SendMessageW(list, CB_RESETCONTENT, 0, 0);
  windows_ = listTopLevelWindows(0, mainDialog_);
  const uint32_t tracked = host_->snapshot().hwnd;
  const HWND trackedWindow = reinterpret_cast<HWND>(static_cast<uintptr_t>(tracked));
  const bool listed = std::any_of(windows_.begin(), windows_.end(),
                                  [&](const auto& entry) { return entry.window == trackedWindow; });
  if (!listed && tracked != 0 && ::IsWindow(trackedWindow)) {
    windows_.insert(windows_.begin(), makeWindowListEntry(trackedWindow, true));
  }
  for (size_t i = 0; i < windows_.size(); ++i) {
    ::SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(windows_[i].name.c_str()));
    if (windows_[i].window == trackedWindow) ::SendMessageW(list, CB_SETCURSEL, i, 0);
  }
  listDropped_ = true;
}

void CScrDlgScreen::closeUp() {
  HWND list = ::GetDlgItem(window_, IDC_WINDOW_LIST);
  const LRESULT selected = ::SendMessageW(list, CB_GETCURSEL, 0, 0);
  // A list closed without a choice is closed all the same: the dialog reads back again.
  listDropped_ = false;
  if (selected == CB_ERR || windows_.empty()) return;
  const WindowListEntry entry =
      windows_[std::min(static_cast<size_t>(selected), windows_.size() - 1)];
  ::SendMessageW(list, CB_RESETCONTENT, 0, 0);
  ::SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.name.c_str()));
  ::SendMessageW(list, CB_SETCURSEL, 0, 0);
  const auto handle = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(entry.window));
  windows_.clear();
  if (handle != host_->snapshot().hwnd) {
    host_->writeDocument({{L"params\\window\\hwnd", handleText(handle)}});
    host_->readBack();
  }
}
