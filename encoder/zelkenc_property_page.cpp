// The encoder's property page: its hooks into the base page, the refresh from the encoder,
// and the controls' messages.
#include "encoder/zelkenc_property_page.h"

#include <commctrl.h>

#include <cstdlib>
#include <cwchar>
#include <new>
#include <string>

#include "encoder/zelkenc_page_ids.h"

namespace {

constexpr int kTrackbarMaximum = 100;

}  // namespace

CUnknown* ZelkencPropertyPage::create(IUnknown* outer, HRESULT* hr) {
  // The dialog holds a trackbar: its class must exist before the page info or the page is made.
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_BAR_CLASSES};
  ::InitCommonControlsEx(&controls);
  *hr = S_OK;
  auto* page = new (std::nothrow) ZelkencPropertyPage(outer);
  if (!page) *hr = E_OUTOFMEMORY;
  return page;
}

ZelkencPropertyPage::ZelkencPropertyPage(IUnknown* outer)
    : CBasePropertyPage(L"ZelkencProp", outer, IDD_ZELKENC_PAGE, IDS_ZELKENC_PAGE_TITLE) {}

HRESULT ZelkencPropertyPage::TranslateAccelerator(MSG*) { return E_NOTIMPL; }

HRESULT ZelkencPropertyPage::OnConnect(IUnknown* object) {
  Microsoft::WRL::ComPtr<IAMVideoCompression> compression;
  const HRESULT hr = object->QueryInterface(IID_IAMVideoCompression,
                                            reinterpret_cast<void**>(compression.GetAddressOf()));
  if (FAILED(hr)) return hr;
  if (!compression) return E_FAIL;
  compression_ = std::move(compression);
  active_ = false;
  return S_OK;
}

HRESULT ZelkencPropertyPage::OnDisconnect() {
  compression_.Reset();
  return S_OK;
}

HRESULT ZelkencPropertyPage::OnActivate() {
  if (!compression_) return E_UNEXPECTED;
  ::SendDlgItemMessageW(Dialog(), IDC_QUALITY_TRACKBAR, TBM_SETRANGE, TRUE,
                        MAKELPARAM(0, kTrackbarMaximum));
  // A page that could not read the encoder still shows itself; the next change retries.
  refresh();
  active_ = true;
  return S_OK;
}

HRESULT ZelkencPropertyPage::OnDeactivate() {
  active_ = false;
  return S_OK;
}

HRESULT ZelkencPropertyPage::OnApplyChanges() { return compression_ ? S_OK : E_POINTER; }

void ZelkencPropertyPage::setNumber(int control, long value) {
  ::SetDlgItemTextW(Dialog(), control, std::to_wstring(value).c_str());
}

HRESULT ZelkencPropertyPage::refresh() {
  int versionBytes = 0;
  int descriptionBytes = 0;
  HRESULT hr = compression_->GetInfo(nullptr, &versionBytes, nullptr, &descriptionBytes, nullptr,
                                     nullptr, nullptr, nullptr);
  if (FAILED(hr)) return hr;
  std::wstring version(versionBytes > 0 ? versionBytes / sizeof(wchar_t) : 0, L'\0');
  std::wstring description(descriptionBytes > 0 ? descriptionBytes / sizeof(wchar_t) : 0, L'\0');
  hr = compression_->GetInfo(version.data(), &versionBytes, description.data(), &descriptionBytes,
                             &defaultKeyframeRate_, nullptr, &defaultQuality_, nullptr);
  if (FAILED(hr)) return hr;
  // Each buffer ends at the terminator GetInfo wrote within it.
  version.resize(std::wcslen(version.c_str()));
  description.resize(std::wcslen(description.c_str()));

  LONG keyframeRate = 0;
  double quality = 0.0;
  if (FAILED(compression_->get_KeyFrameRate(&keyframeRate))) keyframeRate = 0;
  if (FAILED(compression_->get_Quality(&quality))) quality = 0.0;

  ::SetDlgItemTextW(Dialog(), IDC_CODEC_TEXT, (L"Codec: " + description).c_str());
  ::SetDlgItemTextW(Dialog(), IDC_VERSION_TEXT, (L"Version: " + version).c_str());
  const int percent = static_cast<int>(quality * 100.0);
  setNumber(IDC_QUALITY_PERCENT, percent);
  ::SendDlgItemMessageW(Dialog(), IDC_QUALITY_TRACKBAR, TBM_SETPOS, TRUE, percent);
  setNumber(IDC_KEYFRAME_RATE, keyframeRate);
  return S_OK;
}

void ZelkencPropertyPage::onCommand(WORD control, WORD code) {
  if (control == IDC_QUALITY_DEFAULT && code == BN_CLICKED) {
    compression_->put_Quality(defaultQuality_);
    refresh();
  } else if (control == IDC_KEYFRAME_DEFAULT && code == BN_CLICKED) {
    compression_->put_KeyFrameRate(defaultKeyframeRate_);
    refresh();
  } else if (control == IDC_KEYFRAME_RATE && code == EN_KILLFOCUS) {
    HWND edit = ::GetDlgItem(Dialog(), IDC_KEYFRAME_RATE);
    std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(edit)) + 1, L'\0');
    text.resize(static_cast<size_t>(::GetWindowTextW(edit, text.data(), text.size())));
    // An empty or unreadable edit counts as 0; the encoder limits what it takes.
    compression_->put_KeyFrameRate(::_wtoi(text.c_str()));
    refresh();
  }
}

INT_PTR ZelkencPropertyPage::OnReceiveMessage(HWND dialog, UINT message, WPARAM wParam,
                                              LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      // Changes are made as they happen: the site needs to check them, not to apply them.
      if (active_) SetDirty(PROPPAGESTATUS_VALIDATE);
      if (compression_) onCommand(LOWORD(wParam), HIWORD(wParam));
      break;
    case WM_HSCROLL:
      // Dragging or keys only show the value; the release of the mouse stores it.
      if (compression_ &&
          reinterpret_cast<HWND>(lParam) == ::GetDlgItem(dialog, IDC_QUALITY_TRACKBAR)) {
        setNumber(IDC_QUALITY_PERCENT, static_cast<long>(::SendMessageW(
                                           reinterpret_cast<HWND>(lParam), TBM_GETPOS, 0, 0)));
      }
      break;
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lParam);
      if (compression_ && header && header->idFrom == IDC_QUALITY_TRACKBAR &&
          header->code == static_cast<UINT>(NM_RELEASEDCAPTURE)) {
        const LRESULT position = ::SendMessageW(header->hwndFrom, TBM_GETPOS, 0, 0);
        compression_->put_Quality(static_cast<double>(position) * 0.01);
        refresh();
      }
      break;
    }
    default:
      break;
  }
  return CBasePropertyPage::OnReceiveMessage(dialog, message, wParam, lParam);
}
