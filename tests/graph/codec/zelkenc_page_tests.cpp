// The encoder's property page connected to a real encoder and activated into a frame window on
// the virtual display: its layout and texts, the keyframe edit committing when it loses the
// focus, the trackbar showing while it moves and storing on release, the default buttons, and
// the hooks' answers without an encoder; and the page inside the system's property frame, as
// applications open it. Screenshots of the page and of the frame are left in the test's
// working directory.
#include <windows.h>
#include <commctrl.h>
#include <dshow.h>
#include <gtest/gtest.h>
#include <wrl/client.h>

#include <optional>
#include <string>
#include <thread>

#include "codec_graph_test.h"
#include "common/win_raii.h"
#include "dshow/unknown.h"
#include "encoder/zelkenc_filter.h"
#include "encoder/zelkenc_ids.h"
#include "encoder/zelkenc_page_ids.h"
#include "encoder/zelkenc_property_page.h"
#include "page_window_support.h"

using Microsoft::WRL::ComPtr;
using namespace page_support;

namespace {

constexpr wchar_t kFrameClass[] = L"ZelkencPageTestFrame";

std::wstring textOf(HWND window) {
  std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<size_t>(::GetWindowTextW(window, text.data(), text.size())));
  return text;
}

std::wstring classOf(HWND window) {
  wchar_t name[64] = {};
  ::GetClassNameW(window, name, 64);
  return name;
}

// The child of `dialog` showing `text`; for the labels that have no id.
HWND childWithText(HWND dialog, const wchar_t* text) {
  for (HWND child = ::GetWindow(dialog, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
    if (textOf(child) == text) return child;
  }
  return nullptr;
}

// An object that is no compressor.
class PlainObject final : public CUnknownImpl<IPersist> {
 public:
  PlainObject() : CUnknownImpl<IPersist>(nullptr) {}
  HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override {
    if (iid == IID_IPersist) return GetInterface(static_cast<IPersist*>(this), object);
    return CUnknown::NonDelegatingQueryInterface(iid, object);
  }
  HRESULT STDMETHODCALLTYPE GetClassID(CLSID* clsid) override { return E_NOTIMPL; }
};

// Serves the page's class inside this process while it lives, so that the system's property
// frame can create the page without the module being registered.
class PageClassInProcess final : public IClassFactory {
 public:
  PageClassInProcess() {
    result_ = ::CoRegisterClassObject(CLSID_ZelkencProp, this, CLSCTX_INPROC_SERVER,
                                      REGCLS_MULTIPLEUSE, &cookie_);
  }
  ~PageClassInProcess() {
    if (SUCCEEDED(result_)) ::CoRevokeClassObject(cookie_);
  }
  HRESULT result() const { return result_; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (iid != IID_IUnknown && iid != IID_IClassFactory) {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    *object = static_cast<IClassFactory*>(this);
    return S_OK;
  }
  // Lives on the test's stack, beyond every use COM makes of it.
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
    HRESULT hr = S_OK;
    CUnknown* page = ZelkencPropertyPage::create(outer, &hr);
    if (!page) return hr;
    page->NonDelegatingAddRef();
    hr = page->NonDelegatingQueryInterface(iid, object);
    page->NonDelegatingRelease();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

 private:
  HRESULT result_ = E_FAIL;
  DWORD cookie_ = 0;
};

// A click of the left button in the middle of `window`, as the mouse would send it.
void postClick(HWND window) {
  RECT client{};
  ::GetClientRect(window, &client);
  const LPARAM centre = MAKELPARAM(client.right / 2, client.bottom / 2);
  ::PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, centre);
  ::PostMessageW(window, WM_LBUTTONUP, 0, centre);
}

// A shown dialog window of `thread` other than `except`: the frame a modal call opened.
HWND shownDialogOf(DWORD thread) {
  HWND found = nullptr;
  ::EnumThreadWindows(
      thread,
      [](HWND window, LPARAM param) -> BOOL {
        if (classOf(window) != L"#32770" || !::IsWindowVisible(window)) return TRUE;
        *reinterpret_cast<HWND*>(param) = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

// The descendant of `top` with control id `id` whose parent is a page dialog, or null.
HWND descendantWithId(HWND top, int id) {
  struct Search {
    int id;
    HWND found;
  } search{id, nullptr};
  ::EnumChildWindows(
      top,
      [](HWND window, LPARAM param) -> BOOL {
        auto* search = reinterpret_cast<Search*>(param);
        if (::GetDlgCtrlID(window) != search->id) return TRUE;
        search->found = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

class EncoderPage : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    sharedFrame_.emplace(kFrameClass, RGB(128, 128, 128), L"Encoder page frame",
                         RECT{80, 80, 560, 340});
    frame_ = sharedFrame_->window();
  }
  static void TearDownTestSuite() {
    sharedFrame_.reset();
    frame_ = nullptr;
  }

  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(apartment_.result()));
    ASSERT_NE(frame_, nullptr);
    codec_graph::forgetEncoderSettings();
    HRESULT hr = E_FAIL;
    filter_ = static_cast<ZelkencFilter*>(ZelkencFilter::create(nullptr, &hr));
    ASSERT_EQ(hr, S_OK);
    ASSERT_EQ(filter_->QueryInterface(IID_IAMVideoCompression,
                                      reinterpret_cast<void**>(compression_.GetAddressOf())),
              S_OK);
    CUnknown* page = ZelkencPropertyPage::create(nullptr, &hr);
    ASSERT_EQ(hr, S_OK);
    ASSERT_EQ(page->NonDelegatingQueryInterface(IID_IPropertyPage,
                                                reinterpret_cast<void**>(page_.GetAddressOf())),
              S_OK);
    ASSERT_EQ(page_->SetPageSite(&site_), S_OK);
  }

  void TearDown() override {
    if (dialog_) {
      EXPECT_EQ(page_->Deactivate(), S_OK);
    }
    if (page_) {
      EXPECT_EQ(page_->SetObjects(0, nullptr), S_OK);
      EXPECT_EQ(page_->SetPageSite(nullptr), S_OK);
    }
    page_.Reset();
    compression_.Reset();
    filter_.Reset();
    pumpFor(20);
    codec_graph::forgetEncoderSettings();
    EXPECT_FALSE(module_lock::inUse());
    EXPECT_EQ(::GetWindow(frame_, GW_CHILD), nullptr) << "the page's dialog is gone";
    EXPECT_EQ(site_.references, 1u);
  }

  // Connects the page to the encoder and shows it at its own size in the frame.
  void activate() {
    IUnknown* objects[] = {static_cast<IBaseFilter*>(filter_.Get())};
    ASSERT_EQ(page_->SetObjects(1, objects), S_OK);
    PROPPAGEINFO info{};
    ASSERT_EQ(page_->GetPageInfo(&info), S_OK);
    CoTaskMemPtr<OLECHAR> title(info.pszTitle);
    ASSERT_NE(title.get(), nullptr);
    EXPECT_STREQ(title.get(), L"Zelkenc properties");
    pageRect_ = RECT{10, 10, 10 + info.size.cx, 10 + info.size.cy};
    ASSERT_EQ(page_->Activate(frame_, &pageRect_, FALSE), S_OK);
    dialog_ = ::GetWindow(frame_, GW_CHILD);
    ASSERT_NE(dialog_, nullptr);
    pumpFor(20);
  }

  HWND control(int id) { return ::GetDlgItem(dialog_, id); }
  std::wstring controlText(int id) { return textOf(control(id)); }
  LRESULT trackbarPosition() {
    return ::SendMessageW(control(IDC_QUALITY_TRACKBAR), TBM_GETPOS, 0, 0);
  }

  LONG keyframeRate() {
    LONG rate = -1;
    EXPECT_EQ(compression_->get_KeyFrameRate(&rate), S_OK);
    return rate;
  }
  double quality() {
    double value = -1.0;
    EXPECT_EQ(compression_->get_Quality(&value), S_OK);
    return value;
  }

  // Types `text` into the keyframe edit and moves the focus on to the button beside it.
  void enterKeyframeRate(const wchar_t* text) {
    ::SetFocus(control(IDC_KEYFRAME_RATE));
    ASSERT_EQ(::GetFocus(), control(IDC_KEYFRAME_RATE));
    ::SetWindowTextW(control(IDC_KEYFRAME_RATE), text);
    ::SetFocus(control(IDC_KEYFRAME_DEFAULT));
    pumpFor(10);
  }

  static std::optional<PageFrame> sharedFrame_;
  static HWND frame_;
  ComApartment apartment_{COINIT_APARTMENTTHREADED};
  RecordingSite site_;
  ComPtr<ZelkencFilter> filter_;
  ComPtr<IAMVideoCompression> compression_;
  ComPtr<IPropertyPage> page_;
  RECT pageRect_{};
  HWND dialog_ = nullptr;
};

std::optional<PageFrame> EncoderPage::sharedFrame_;
HWND EncoderPage::frame_ = nullptr;

TEST_F(EncoderPage, ControlsSitWhereTheTemplatePutsThemWithTheEncodersValues) {
  ASSERT_NO_FATAL_FAILURE(activate());
  RECT size{0, 0, 200, 98};
  ASSERT_TRUE(::MapDialogRect(dialog_, &size));
  EXPECT_EQ(pageRect_.right - pageRect_.left, size.right);
  EXPECT_EQ(pageRect_.bottom - pageRect_.top, size.bottom);

  struct Expected {
    HWND window;
    const wchar_t* className;
    RECT units;
  };
  const Expected layout[] = {
      {control(IDC_CODEC_TEXT), L"Static", {6, 6, 186, 8}},
      {control(IDC_VERSION_TEXT), L"Static", {6, 15, 186, 8}},
      {childWithText(dialog_, L"Compression rate:"), L"Static", {6, 30, 60, 8}},
      {control(IDC_QUALITY_PERCENT), L"Static", {114, 30, 30, 8}},
      {control(IDC_QUALITY_TRACKBAR), L"msctls_trackbar32", {18, 42, 132, 12}},
      {control(IDC_QUALITY_DEFAULT), L"Button", {150, 39, 42, 14}},
      {childWithText(dialog_, L"Keyframe rate:"), L"Static", {6, 60, 50, 8}},
      {control(IDC_KEYFRAME_RATE), L"Edit", {18, 72, 54, 14}},
      {control(IDC_KEYFRAME_DEFAULT), L"Button", {78, 72, 42, 14}},
  };
  for (const Expected& item : layout) {
    SCOPED_TRACE(item.units.top * 1000 + item.units.left);
    ASSERT_NE(item.window, nullptr);
    EXPECT_EQ(classOf(item.window), item.className);
    // The dialog manager maps origin and extent separately, as this does.
    RECT mapped = item.units;
    ASSERT_TRUE(::MapDialogRect(dialog_, &mapped));
    const RECT expected{mapped.left, mapped.top, mapped.left + mapped.right,
                        mapped.top + mapped.bottom};
    const RECT placed = rectInParent(item.window, dialog_);
    EXPECT_EQ(placed.left, expected.left);
    EXPECT_EQ(placed.top, expected.top);
    EXPECT_EQ(placed.right, expected.right);
    EXPECT_EQ(placed.bottom, expected.bottom);
  }
  EXPECT_EQ(::GetDlgCtrlID(childWithText(dialog_, L"Compression rate:")), -1);

  const LONG_PTR trackbarStyle = ::GetWindowLongPtrW(control(IDC_QUALITY_TRACKBAR), GWL_STYLE);
  EXPECT_EQ(trackbarStyle & (TBS_BOTH | TBS_NOTICKS), TBS_BOTH | TBS_NOTICKS);
  HWND edit = control(IDC_KEYFRAME_RATE);
  const LONG_PTR editStyle = ::GetWindowLongPtrW(edit, GWL_STYLE);
  EXPECT_EQ(editStyle & (ES_NUMBER | ES_AUTOHSCROLL), ES_NUMBER | ES_AUTOHSCROLL);
  // An edit drawn by the system turns its border into a sunken edge.
  EXPECT_TRUE((editStyle & WS_BORDER) ||
              (::GetWindowLongPtrW(edit, GWL_EXSTYLE) & WS_EX_CLIENTEDGE));
  EXPECT_EQ(::GetWindowLongPtrW(control(IDC_QUALITY_PERCENT), GWL_STYLE) & SS_TYPEMASK, SS_RIGHT);

  EXPECT_EQ(controlText(IDC_CODEC_TEXT), L"Codec: ZelkScreenCompressor");
  EXPECT_EQ(controlText(IDC_VERSION_TEXT), L"Version: Version 0.99");
  EXPECT_EQ(controlText(IDC_QUALITY_PERCENT), L"100");
  EXPECT_EQ(controlText(IDC_KEYFRAME_RATE), L"30");
  EXPECT_EQ(controlText(IDC_QUALITY_DEFAULT), L"default");
  EXPECT_EQ(controlText(IDC_KEYFRAME_DEFAULT), L"default");
  EXPECT_EQ(::SendMessageW(control(IDC_QUALITY_TRACKBAR), TBM_GETRANGEMIN, 0, 0), 0);
  EXPECT_EQ(::SendMessageW(control(IDC_QUALITY_TRACKBAR), TBM_GETRANGEMAX, 0, 0), 100);
  EXPECT_EQ(trackbarPosition(), 100);
  EXPECT_EQ(page_->IsPageDirty(), S_FALSE) << "filling the controls is no change";
  EXPECT_TRUE(site_.statusChanges.empty());

  ::RedrawWindow(frame_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
  pumpUntil([] { return !::GetUpdateRect(frame_, nullptr, FALSE); });
  pumpFor(200);
  const Capture shot = captureClient(frame_);
  ASSERT_GT(shot.width, pageRect_.right);
  EXPECT_TRUE(shot.writeBmp("zelkenc_property_page.bmp"));
  // The codec's description was drawn as dark text on the page's face.
  const RECT codec = rectInParent(control(IDC_CODEC_TEXT), frame_);
  int dark = 0;
  for (int y = codec.top; y < codec.bottom; ++y) {
    for (int x = codec.left; x < codec.right; ++x) {
      const COLORREF c = shot.at(x, y);
      if (GetRValue(c) + GetGValue(c) + GetBValue(c) < 200) ++dark;
    }
  }
  EXPECT_GT(dark, 20);
}

TEST_F(EncoderPage, ShowsWhatTheEncoderHoldsWhenActivated) {
  ASSERT_EQ(compression_->put_Quality(0.55), S_OK);
  ASSERT_EQ(compression_->put_KeyFrameRate(12), S_OK);
  ASSERT_NO_FATAL_FAILURE(activate());
  EXPECT_EQ(controlText(IDC_QUALITY_PERCENT), L"50");
  EXPECT_EQ(trackbarPosition(), 50);
  EXPECT_EQ(controlText(IDC_KEYFRAME_RATE), L"12");
}

TEST_F(EncoderPage, KeyframeEditCommitsWhenItLosesTheFocus) {
  ASSERT_NO_FATAL_FAILURE(activate());
  ::SetWindowTextW(control(IDC_KEYFRAME_RATE), L"12");
  EXPECT_EQ(keyframeRate(), 30) << "typing alone stores nothing";
  EXPECT_EQ(page_->IsPageDirty(), S_OK);
  ASSERT_FALSE(site_.statusChanges.empty());
  EXPECT_EQ(site_.statusChanges.back(), static_cast<DWORD>(PROPPAGESTATUS_VALIDATE));

  for (const auto& [typed, kept, shown] :
       {std::tuple{L"300", 255L, L"255"}, std::tuple{L"", 0L, L"0"}, std::tuple{L"-7", 30L, L"30"},
        std::tuple{L"42x", 42L, L"42"}}) {
    SCOPED_TRACE(::testing::Message() << "typed " << std::wstring(typed).size() << " characters");
    ASSERT_NO_FATAL_FAILURE(enterKeyframeRate(typed));
    EXPECT_EQ(keyframeRate(), kept);
    EXPECT_EQ(codec_graph::storedEncoderSetting(L"keyframe"), static_cast<DWORD>(kept));
    EXPECT_EQ(controlText(IDC_KEYFRAME_RATE), shown);
  }
  // Changes are made as they happen; Apply has nothing to add and leaves the page clean.
  EXPECT_EQ(page_->Apply(), S_OK);
  EXPECT_EQ(page_->IsPageDirty(), S_FALSE);
  EXPECT_EQ(keyframeRate(), 42);
}

TEST_F(EncoderPage, TrackbarShowsWhileMovedAndStoresOnRelease) {
  ASSERT_NO_FATAL_FAILURE(activate());
  HWND trackbar = control(IDC_QUALITY_TRACKBAR);
  ::SetFocus(trackbar);
  ::SendMessageW(trackbar, WM_KEYDOWN, VK_LEFT, 0);
  ::SendMessageW(trackbar, WM_KEYUP, VK_LEFT, 0);
  pumpFor(10);
  EXPECT_EQ(trackbarPosition(), 99);
  EXPECT_EQ(controlText(IDC_QUALITY_PERCENT), L"99");
  EXPECT_EQ(quality(), 1.0) << "keys only move the thumb";
  EXPECT_EQ(codec_graph::storedEncoderSetting(L"quality"), std::nullopt);

  // A click on the thumb at 55 takes and releases the mouse capture there.
  ::SendMessageW(trackbar, TBM_SETPOS, TRUE, 55);
  RECT thumb{};
  ::SendMessageW(trackbar, TBM_GETTHUMBRECT, 0, reinterpret_cast<LPARAM>(&thumb));
  const LPARAM centre = MAKELPARAM((thumb.left + thumb.right) / 2, (thumb.top + thumb.bottom) / 2);
  ::SendMessageW(trackbar, WM_LBUTTONDOWN, MK_LBUTTON, centre);
  ::SendMessageW(trackbar, WM_LBUTTONUP, 0, centre);
  pumpFor(10);
  EXPECT_EQ(codec_graph::storedEncoderSetting(L"quality"), 4u);
  EXPECT_DOUBLE_EQ(quality(), 0.5);
  EXPECT_EQ(trackbarPosition(), 50) << "the thumb snaps to the stored level";
  EXPECT_EQ(controlText(IDC_QUALITY_PERCENT), L"50");
}

TEST_F(EncoderPage, DefaultButtonsRestoreTheDefaults) {
  ASSERT_EQ(compression_->put_Quality(0.3), S_OK);
  ASSERT_EQ(compression_->put_KeyFrameRate(5), S_OK);
  ASSERT_NO_FATAL_FAILURE(activate());
  EXPECT_EQ(controlText(IDC_QUALITY_PERCENT), L"30");

  ::SendMessageW(control(IDC_QUALITY_DEFAULT), BM_CLICK, 0, 0);
  pumpFor(10);
  EXPECT_EQ(quality(), 1.0);
  EXPECT_EQ(codec_graph::storedEncoderSetting(L"quality"), 9u);
  EXPECT_EQ(controlText(IDC_QUALITY_PERCENT), L"100");
  EXPECT_EQ(trackbarPosition(), 100);
  EXPECT_EQ(keyframeRate(), 5) << "each button restores its own setting";

  ::SendMessageW(control(IDC_KEYFRAME_DEFAULT), BM_CLICK, 0, 0);
  pumpFor(10);
  EXPECT_EQ(keyframeRate(), 30);
  EXPECT_EQ(codec_graph::storedEncoderSetting(L"keyframe"), 30u);
  EXPECT_EQ(controlText(IDC_KEYFRAME_RATE), L"30");
  EXPECT_EQ(page_->IsPageDirty(), S_OK);
}

TEST_F(EncoderPage, WithoutAnEncoderThePageRefuses) {
  ComPtr<PlainObject> plain = new PlainObject;
  IUnknown* objects[] = {plain.Get()};
  EXPECT_EQ(page_->SetObjects(1, objects), E_NOINTERFACE);
  const RECT rect{0, 0, 100, 100};
  EXPECT_EQ(page_->Activate(frame_, &rect, FALSE), E_UNEXPECTED);
  EXPECT_EQ(::GetWindow(frame_, GW_CHILD), nullptr);
  MSG message{};
  EXPECT_EQ(page_->TranslateAccelerator(&message), E_NOTIMPL);
  EXPECT_EQ(page_->Help(nullptr), E_NOTIMPL);

  // A dirty page whose encoder was taken away cannot apply.
  ASSERT_NO_FATAL_FAILURE(activate());
  ::SetWindowTextW(control(IDC_KEYFRAME_RATE), L"8");
  ASSERT_EQ(page_->IsPageDirty(), S_OK);
  ASSERT_EQ(page_->SetObjects(0, nullptr), S_OK);
  EXPECT_EQ(page_->Apply(), E_POINTER);
  EXPECT_EQ(page_->IsPageDirty(), S_OK);
}

TEST_F(EncoderPage, OpensInTheSystemPropertyFrameAndKeepsWhatWasTyped) {
  PageClassInProcess pageClass;
  ASSERT_EQ(pageClass.result(), S_OK);

  // The frame is modal on this thread; a second thread looks at it, types into the page and
  // presses OK, or closes it unseen after five seconds so that the test cannot hang.
  const DWORD testThread = ::GetCurrentThreadId();
  std::wstring codecText;
  std::wstring tabTitle;
  Capture shot;
  std::thread user([&] {
    HWND sheet = nullptr;
    HWND codec = nullptr;
    for (int tries = 0; tries < 250 && !codec; ++tries) {
      ::Sleep(20);
      sheet = shownDialogOf(testThread);
      if (sheet) codec = descendantWithId(sheet, IDC_CODEC_TEXT);
    }
    if (!codec) {
      if (sheet) ::PostMessageW(sheet, WM_CLOSE, 0, 0);
      return;
    }
    codecText = textOf(codec);
    HWND tabs = ::FindWindowExW(sheet, nullptr, WC_TABCONTROLW, nullptr);
    wchar_t title[64] = {};
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = title;
    item.cchTextMax = 64;
    if (tabs && ::SendMessageW(tabs, TCM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item))) {
      tabTitle = title;
    }
    // What a user does: click into the edit, type over its text, then click OK.
    HWND edit = descendantWithId(sheet, IDC_KEYFRAME_RATE);
    postClick(edit);
    ::PostMessageW(edit, EM_SETSEL, 0, -1);
    for (wchar_t typed : std::wstring(L"12")) ::PostMessageW(edit, WM_CHAR, typed, 1);
    ::Sleep(300);
    shot = captureClient(sheet);
    postClick(::GetDlgItem(sheet, IDOK));
  });

  IUnknown* objects[] = {static_cast<IBaseFilter*>(filter_.Get())};
  CLSID pages[] = {CLSID_ZelkencProp};
  const HRESULT shown = ::OleCreatePropertyFrame(frame_, 0, 0, L"Zelkenc", 1, objects, 1, pages,
                                                 LOCALE_USER_DEFAULT, 0, nullptr);
  user.join();
  EXPECT_EQ(shown, S_OK);
  EXPECT_EQ(codecText, L"Codec: ZelkScreenCompressor");
  EXPECT_EQ(tabTitle, L"Zelkenc properties");
  EXPECT_TRUE(shot.width > 0 && shot.writeBmp("zelkenc_property_frame.bmp"));
  EXPECT_EQ(keyframeRate(), 12) << "the edit lost the focus to the OK button";
}

}  // namespace
