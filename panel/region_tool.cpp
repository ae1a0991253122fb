// The region selection tool.
#include "panel/region_tool.h"

#include <string>

#include "common/module_proc.h"
#include "common/win_raii.h"
#include "panel/region_geometry.h"
#include "panel/resource.h"

namespace {

using region_geometry::infoBoxFor;
using region_geometry::infoText;
using region_geometry::spannedBy;

constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kInfoFill = RGB(0xFA, 0xFA, 0xFA);

BOOL CALLBACK addMonitor(HMONITOR, HDC, LPRECT area, LPARAM bounds) {
  auto* total = reinterpret_cast<RECT*>(bounds);
  ::UnionRect(total, total, area);
  return TRUE;
}

// The bounding rectangle of every monitor; the virtual screen when there are none.
RECT desktopArea() {
  RECT bounds = {};
  ::EnumDisplayMonitors(nullptr, nullptr, &addMonitor, reinterpret_cast<LPARAM>(&bounds));
  if (::IsRectEmpty(&bounds)) {
    const int left = ::GetSystemMetrics(SM_XVIRTUALSCREEN);
    const int top = ::GetSystemMetrics(SM_YVIRTUALSCREEN);
    bounds = {left, top, left + ::GetSystemMetrics(SM_CXVIRTUALSCREEN),
              top + ::GetSystemMetrics(SM_CYVIRTUALSCREEN)};
  }
  return bounds;
}

class RegionTool {
 public:
  explicit RegionTool(RECT* chosen) : chosen_(chosen) {}

  static INT_PTR CALLBACK dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

 private:
  bool initialise(HWND window);
  void onMouseMove();
  void onButtonDown();
  // Puts the snapshot back where the lines and the box were drawn.
  void restore();
  void paint();
  void present(HDC target) const;
  // The cursor position in desktop coordinates.
  POINT cursor() const;
  RECT selection() const;

  RECT* chosen_;
  HWND window_ = nullptr;
  RECT desktop_ = {};
  SIZE size_ = {};
  // The bitmaps outlive the DCs they are selected into.
  ScopedBitmap snapshot_, buffer_;
  UniqueMemoryDC snapshotDC_, bufferDC_;
  UniqueResource<raii_traits::GdiObject<HPEN>> pen_;
  UniqueGdiBrush red_, grey_;
  POINT corners_[2] = {};
  int moving_ = 0;  // which corner follows the mouse
  RECT infoBox_ = {};
};

bool RegionTool::initialise(HWND window) {
  window_ = window;
  desktop_ = desktopArea();
  size_ = {desktop_.right - desktop_.left, desktop_.bottom - desktop_.top};
  HDC screen = ::GetDC(nullptr);
  if (!screen) return false;
  snapshotDC_.reset(::CreateCompatibleDC(screen));
  bufferDC_.reset(::CreateCompatibleDC(screen));
  snapshot_.reset(::CreateCompatibleBitmap(screen, size_.cx, size_.cy));
  buffer_.reset(::CreateCompatibleBitmap(screen, size_.cx, size_.cy));
  bool made = snapshotDC_ && bufferDC_ && snapshot_ && buffer_;
  if (made) {
    ::SelectObject(snapshotDC_.get(), snapshot_.get());
    ::SelectObject(bufferDC_.get(), buffer_.get());
    made = ::BitBlt(snapshotDC_.get(), 0, 0, size_.cx, size_.cy, screen, desktop_.left,
                    desktop_.top, SRCCOPY) &&
           ::BitBlt(bufferDC_.get(), 0, 0, size_.cx, size_.cy, snapshotDC_.get(), 0, 0, SRCCOPY);
  }
  ::ReleaseDC(nullptr, screen);
  if (!made) return false;
  pen_.reset(::CreatePen(PS_SOLID, 1, kRed));
  red_.reset(::CreateSolidBrush(kRed));
  grey_.reset(::CreateSolidBrush(kInfoFill));
  ::SelectObject(bufferDC_.get(), ::GetStockObject(DEFAULT_GUI_FONT));
  ::SetBkMode(bufferDC_.get(), TRANSPARENT);
  ::SetTextColor(bufferDC_.get(), RGB(0, 0, 0));
  corners_[0] = corners_[1] = cursor();
  ::SetWindowPos(window_, HWND_TOPMOST, desktop_.left, desktop_.top, size_.cx, size_.cy,
                 SWP_NOACTIVATE);
  paint();
  return true;
}

POINT RegionTool::cursor() const {
  POINT position = {};
  ::GetCursorPos(&position);
  return POINT{position.x - desktop_.left, position.y - desktop_.top};
}

RECT RegionTool::selection() const {
  return moving_ == 0 ? spannedBy(corners_[0], corners_[0]) : spannedBy(corners_[0], corners_[1]);
}

void RegionTool::restore() {
  HDC buffer = bufferDC_.get(), snapshot = snapshotDC_.get();
  for (const POINT& corner : corners_) {
    ::BitBlt(buffer, corner.x, 0, 1, size_.cy, snapshot, corner.x, 0, SRCCOPY);
    ::BitBlt(buffer, 0, corner.y, size_.cx, 1, snapshot, 0, corner.y, SRCCOPY);
  }
  ::BitBlt(buffer, infoBox_.left, infoBox_.top, infoBox_.right - infoBox_.left,
           infoBox_.bottom - infoBox_.top, snapshot, infoBox_.left, infoBox_.top, SRCCOPY);
}

void RegionTool::paint() {
  HDC buffer = bufferDC_.get();
  const POINT moving = corners_[moving_];
  {
    SelectObjectGuard pen(buffer, pen_.get());
    ::MoveToEx(buffer, moving.x, 0, nullptr);
    ::LineTo(buffer, moving.x, size_.cy);
    ::MoveToEx(buffer, 0, moving.y, nullptr);
    ::LineTo(buffer, size_.cx, moving.y);
  }
  const RECT selected = selection();
  if (moving_ == 1) ::FrameRect(buffer, &selected, red_.get());
  infoBox_ = infoBoxFor(size_, selected);
  ::FillRect(buffer, &infoBox_, grey_.get());
  ::FrameRect(buffer, &infoBox_, red_.get());
  RECT onScreen = selected;
  ::OffsetRect(&onScreen, desktop_.left, desktop_.top);
  const std::wstring text = infoText(onScreen, moving_ == 1);
  RECT textArea = infoBox_;
  ::InflateRect(&textArea, -2, -2);
  ::DrawTextW(buffer, text.c_str(), static_cast<int>(text.size()), &textArea,
              DT_LEFT | DT_TOP | DT_NOPREFIX);
  WindowDC target(window_);
  if (target) present(target.get());
}

void RegionTool::present(HDC target) const {
  ::BitBlt(target, 0, 0, size_.cx, size_.cy, bufferDC_.get(), 0, 0, SRCCOPY);
}

void RegionTool::onMouseMove() {
  restore();
  corners_[moving_] = cursor();
  if (moving_ == 0) corners_[1] = corners_[0];
  paint();
}

void RegionTool::onButtonDown() {
  if (moving_ == 0) {
    corners_[0] = corners_[1] = cursor();
    moving_ = 1;
    restore();
    paint();
    return;
  }
  restore();
  corners_[1] = cursor();
  if (!chosen_) {
    ::EndDialog(window_, IDCANCEL);
    return;
  }
  *chosen_ = spannedBy(corners_[0], corners_[1]);
  ::OffsetRect(chosen_, desktop_.left, desktop_.top);
  ::EndDialog(window_, IDOK);
}

INT_PTR CALLBACK RegionTool::dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* tool = reinterpret_cast<RegionTool*>(lParam);
    ::SetWindowLongPtrW(window, DWLP_USER, lParam);
    if (!tool->initialise(window)) ::EndDialog(window, IDABORT);
    return TRUE;
  }
  auto* tool = reinterpret_cast<RegionTool*>(::GetWindowLongPtrW(window, DWLP_USER));
  if (!tool) return FALSE;
  switch (message) {
    case WM_ERASEBKGND:
      // The back buffer covers every pixel.
      ::SetWindowLongPtrW(window, DWLP_MSGRESULT, 1);
      return TRUE;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = ::BeginPaint(window, &paint);
      tool->present(dc);
      ::EndPaint(window, &paint);
      return TRUE;
    }
    case WM_SETCURSOR:
      ::SetCursor(::LoadCursorW(nullptr, IDC_CROSS));
      ::SetWindowLongPtrW(window, DWLP_MSGRESULT, TRUE);
      return TRUE;
    case WM_MOUSEMOVE:
      tool->onMouseMove();
      return TRUE;
    case WM_LBUTTONDOWN:
      tool->onButtonDown();
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDCANCEL) ::EndDialog(window, IDCANCEL);
      // IDOK (Enter) would end the tool with no rectangle chosen: it is ignored.
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

bool selectRegion(HWND owner, RECT* chosen) {
  RegionTool tool(chosen);
  const INT_PTR result =
      ::DialogBoxParamW(currentModule(), MAKEINTRESOURCEW(IDD_REGION_TOOL), owner,
                        &RegionTool::dialogProc, reinterpret_cast<LPARAM>(&tool));
  return result == IDOK;
}
