// The main dialog's settings tab.
#include "panel/settings_tab.h"

#include <commdlg.h>

#include <cstdio>
#include <cwctype>
#include <string>

#include "panel/dialog_controls.h"
#include "panel/resource.h"

namespace {

// Pixels, relative to the tab.
const ControlPlacement kLayout[] = {
    {IDC_BORDER_LABEL, 9, 11, 72, 13, L"Color, which will fill unused area in captured images"},
    {IDC_BORDER_COLOUR, 9, 29, 72, 33, L"Color, which will fill unused area in captured images"},
    {IDC_RATE_LABEL, 90, 11, 63, 13, L"Capture frame rate"},
    {IDC_RATE, 153, 8, 60, 20, L"Capture frame rate"},
    {IDC_ALIGN, 90, 31, 162, 16, L"Capture only aligned video (width and height multiple 4)"},
    {IDC_SHOW_MOUSE, 90, 49, 90, 16, L"Show mouse pointer"},
    {IDC_SHOW_CLICKS, 180, 49, 81, 16, L"Show mouse clicks"},
    {IDC_CAPTURE_LAYERED, 90, 68, 162, 16, nullptr},
    {IDC_OPTIMISE_CAPTURE, 90, 88, 162, 16, L"Optimize capture from screen"},
    {IDC_OPTIMISE_DELIVER, 108, 107, 144, 16, L"Optimize capture data delivering"},
    {IDC_RESIZE, 261, 10, 135, 16, L"Resize captured images to output dimensions"},
    {IDC_RESIZE_LINEAR, 279, 29, 198, 16,
     L"Resize with linear interpolation (only for 32bit screen depth)"},
    {IDC_KEEP_ASPECT, 279, 49, 99, 16, L"Keep aspect ratio for resize"},
    {IDC_TRACK_MOUSE, 387, 49, 99, 16, L"Adjust capture region by mouse pointer"},
    {IDC_OUTPUT_SIZE, 261, 68, 216, 16, L"Specify special (override) output dimensions"},
    {IDC_OUTPUT_WIDTH, 279, 85, 60, 20, L"Output width"},
    {IDC_OUTPUT_X, 339, 86, 20, 13, L"Specify special (override) output dimensions"},
    {IDC_OUTPUT_HEIGHT, 360, 85, 60, 20, L"Output height"},
    {IDC_OUTPUT_PIXELS, 425, 86, 62, 13, L"Specify special (override) output dimensions"},
    {IDC_REGISTER_ROT, 261, 107, 99, 16, L"Register graph in ROT"},
};

struct FlagBox {
  int id;
  const wchar_t* path;
  CaptureFlag flag;
};

// "Show mouse" shows the inverse of its bit and writes 1 for a shown pointer.
const FlagBox kFlagBoxes[] = {
    {IDC_ALIGN, L"params\\flags\\align", CaptureFlag::Align},
    {IDC_SHOW_MOUSE, L"params\\flags\\showmouse", CaptureFlag::HideMouse},
    {IDC_SHOW_CLICKS, L"params\\flags\\showclicks", CaptureFlag::ShowClicks},
    {IDC_CAPTURE_LAYERED, L"params\\flags\\caplayered", CaptureFlag::CapLayered},
    {IDC_OPTIMISE_CAPTURE, L"params\\flags\\optcapture", CaptureFlag::OptCapture},
    {IDC_OPTIMISE_DELIVER, L"params\\flags\\optdeliver", CaptureFlag::OptDeliver},
    {IDC_RESIZE, L"params\\flags\\resize", CaptureFlag::Resize},
    {IDC_RESIZE_LINEAR, L"params\\flags\\resizetype", CaptureFlag::ResizeType},
    {IDC_KEEP_ASPECT, L"params\\flags\\resizeaspect", CaptureFlag::ResizeAspect},
    {IDC_TRACK_MOUSE, L"params\\flags\\trackmouse", CaptureFlag::TrackMouse},
    {IDC_OUTPUT_SIZE, L"params\\flags\\outputsize", CaptureFlag::OutputSize},
    {IDC_REGISTER_ROT, L"params\\flags\\regrot", CaptureFlag::RegRot},
};

// Leading blanks, an optional sign, digits with an optional fraction, as far as they go;
// 0 without a number.
double leadingDecimal(const wchar_t* text) {
  while (*text == L' ' || *text == L'\t') ++text;
  double sign = 1;
  if (*text == L'-' || *text == L'+') sign = *text++ == L'-' ? -1 : 1;
  double value = 0;
  for (; std::iswdigit(*text); ++text) value = value * 10 + (*text - L'0');
  if (*text == L'.') {
    double scale = 0.1;
    for (++text; std::iswdigit(*text); ++text, scale /= 10) value += (*text - L'0') * scale;
  }
  return sign * value;
}

void check(HWND window, int id, bool checked) {
  ::CheckDlgButton(window, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

void enable(HWND window, int id, bool enabled) {
  ::EnableWindow(::GetDlgItem(window, id), enabled);
}

}  // namespace

std::wstring CScrDlgSettings::frameRateText(int64_t sampletime) {
  wchar_t text[64];
  std::swprintf(text, 64, L"%.03f",
                sampletime ? 10000000.0 / static_cast<double>(sampletime) : 0.0);
  std::wstring rate = text;
  while (!rate.empty() && rate.back() == L'0') rate.pop_back();
  if (!rate.empty() && rate.back() == L'.') rate.pop_back();
  return rate;
}

int64_t CScrDlgSettings::periodForRate(const wchar_t* text) {
  const double rate = leadingDecimal(text);
  if (!(rate > 0)) return 0;
  const double scaled = rate * 1000;
  int64_t milli = scaled >= 255000 ? 255000 : static_cast<int64_t>(scaled);
  if (milli < 1) milli = 1;
  return 10000000000LL / milli;
}

void CScrDlgSettings::initialise(HWND window) {
  window_ = window;
  placeControls(window_, kLayout,
                [this](HWND control, const wchar_t* tip) { host_->addToolTip(control, tip); });
}

void CScrDlgSettings::apply(const ParameterSnapshot& snapshot) {
  for (const FlagBox& box : kFlagBoxes) {
    const bool set = snapshot.has(box.flag);
    check(window_, box.id, box.id == IDC_SHOW_MOUSE ? !set : set);
  }
  enable(window_, IDC_OPTIMISE_DELIVER, snapshot.has(CaptureFlag::OptCapture));
  const bool resize = snapshot.has(CaptureFlag::Resize);
  enable(window_, IDC_RESIZE_LINEAR, resize);
  enable(window_, IDC_KEEP_ASPECT, resize);
  enable(window_, IDC_TRACK_MOUSE, !resize);
  const bool outputSize = snapshot.has(CaptureFlag::OutputSize);
  enable(window_, IDC_OUTPUT_WIDTH, outputSize);
  enable(window_, IDC_OUTPUT_HEIGHT, outputSize);
  ::SetDlgItemTextW(window_, IDC_OUTPUT_WIDTH,
                    std::to_wstring(static_cast<int32_t>(snapshot.outputCx)).c_str());
  ::SetDlgItemTextW(window_, IDC_OUTPUT_HEIGHT,
                    std::to_wstring(static_cast<int32_t>(snapshot.outputCy)).c_str());
  ::SetDlgItemTextW(window_, IDC_RATE, frameRateText(snapshot.sampletime).c_str());
  if (snapshot.border != colour_) {
    colour_ = snapshot.border;
    ::InvalidateRect(::GetDlgItem(window_, IDC_BORDER_COLOUR), nullptr, FALSE);
  }
}

bool CScrDlgSettings::handle(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR* result) {
  if (message == WM_COMMAND) {
    onCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
    *result = TRUE;
    return true;
  }
  if (message == WM_DRAWITEM && wParam == IDC_BORDER_COLOUR) {
    const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
    HBRUSH brush = ::CreateSolidBrush(colour_);
    ::FillRect(item->hDC, &item->rcItem, brush);
    ::DeleteObject(brush);
    *result = TRUE;
    return true;
  }
  return false;
}

void CScrDlgSettings::onCommand(int id, int code, HWND) {
  // What showing the snapshot makes the controls report (changed texts, a disabled edit
  // losing the focus) is not the user's doing.
  if (host_->applying()) return;
  for (const FlagBox& box : kFlagBoxes) {
    if (box.id == id && code == BN_CLICKED) {
      host_->writeFlag(box.path, ::IsDlgButtonChecked(window_, id) == BST_CHECKED ? 1 : 0);
      host_->readBack();
      return;
    }
  }
  switch (id) {
    case IDC_BORDER_COLOUR:
      if (code == BN_CLICKED) chooseColour();
      return;
    case IDC_RATE:
      if (code == EN_KILLFOCUS) writeFrameRate(true);
      if (code == EN_CHANGE) writeFrameRate(false);
      return;
    case IDC_OUTPUT_WIDTH:
    case IDC_OUTPUT_HEIGHT:
      if (code == EN_KILLFOCUS) writeOutputSize();
      return;
  }
}

void CScrDlgSettings::writeFrameRate(bool readBackAfter) {
  const int64_t period = periodForRate(controlText(window_, IDC_RATE).c_str());
  if (period == 0) {
    // Nothing to write; losing the focus puts the filter's rate back.
    if (readBackAfter) host_->readBack();
    return;
  }
  const HRESULT hr = host_->writeDocument({{L"params\\sampletime", std::to_wstring(period)}});
  if (readBackAfter && SUCCEEDED(hr)) host_->readBack();
}

void CScrDlgSettings::writeOutputSize() {
  uint32_t width = 0, height = 0;
  if (readUnsignedDecimal(controlText(window_, IDC_OUTPUT_WIDTH), &width) &&
      readUnsignedDecimal(controlText(window_, IDC_OUTPUT_HEIGHT), &height)) {
    host_->writeDocument({{L"params\\output\\cx", std::to_wstring(static_cast<int32_t>(width))},
                          {L"params\\output\\cy", std::to_wstring(static_cast<int32_t>(height))}});
  }
  host_->readBack();
}

void CScrDlgSettings::chooseColour() {
  CHOOSECOLORW choice = {sizeof(choice)};
  choice.hwndOwner = window_;
  choice.rgbResult = colour_;
  choice.lpCustColors = customColours_;
  choice.Flags = CC_RGBINIT | CC_FULLOPEN;
  if (!::ChooseColorW(&choice)) return;
  colour_ = choice.rgbResult;
  ::InvalidateRect(::GetDlgItem(window_, IDC_BORDER_COLOUR), nullptr, FALSE);
  host_->writeFlag(L"params\\border\\rgb", static_cast<LONG>(colour_));
  host_->readBack();
}
