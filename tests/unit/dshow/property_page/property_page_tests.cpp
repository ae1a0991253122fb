// CBasePropertyPage inside a real frame window on the virtual display: page info from the
// test's resources, the site and the object, activation as a child dialog that paints, dirty
// state from an edit box, apply, keyboard, deactivation and the frame going away first.
#include <windows.h>
#include <ocidl.h>
#include <olectl.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/win_raii.h"
#include "dshow/property_page.h"
#include "page_window_support.h"
#include "test_page_resources.h"

using Microsoft::WRL::ComPtr;
using namespace page_support;

namespace {

constexpr int kMissingId = 999;
constexpr wchar_t kFrameClass[] = L"ZelkPageTestFrame";
constexpr COLORREF kFrameColour = RGB(40, 90, 160);
constexpr UINT kThrowMessage = WM_APP + 1;

// The object a page edits; only its references matter here.
class CountedObject final : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    *object = iid == IID_IUnknown ? this : nullptr;
    if (!*object) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }

  ULONG references = 1;
};

// A page with a label, an edit box and a check box that records its hooks.
class TestPage final : public CBasePropertyPage {
 public:
  explicit TestPage(int dialogId = IDD_TEST_PAGE, int titleId = IDS_TEST_PAGE_TITLE)
      : CBasePropertyPage(L"Test page", nullptr, dialogId, titleId) {}

  using CBasePropertyPage::Dialog;

  IUnknown* connected = nullptr;
  int connects = 0;
  int disconnects = 0;
  int activates = 0;
  int deactivates = 0;
  int applies = 0;
  HRESULT connectResult = S_OK;
  HRESULT applyResult = S_OK;
  bool throwOnConnect = false;
  bool dialogAliveInDeactivate = false;
  // Messages that reached the hook for a window the page did not know as its dialog.
  int strayMessages = 0;
  std::wstring applied = L"30";

 protected:
  HRESULT OnConnect(IUnknown* object) override {
    ++connects;
    if (throwOnConnect) throw std::bad_alloc();
    if (FAILED(connectResult)) return connectResult;
    connected = object;
    return S_OK;
  }
  HRESULT OnDisconnect() override {
    ++disconnects;
    connected = nullptr;
    return S_OK;
  }
  HRESULT OnActivate() override {
    ++activates;
    // Filling the edit sends EN_CHANGE, which is not a change by the user.
    loading_ = true;
    ::SetDlgItemTextW(Dialog(), IDC_PAGE_EDIT, applied.c_str());
    loading_ = false;
    ::CheckDlgButton(Dialog(), IDC_PAGE_CHECK, BST_CHECKED);
    return S_OK;
  }
  HRESULT OnDeactivate() override {
    ++deactivates;
    dialogAliveInDeactivate = ::IsWindow(Dialog()) != FALSE;
    return S_OK;
  }
  HRESULT OnApplyChanges() override {
    ++applies;
    if (FAILED(applyResult)) return applyResult;
    wchar_t text[64] = {};
    ::GetDlgItemTextW(Dialog(), IDC_PAGE_EDIT, text, 64);
    applied = text;
    return S_OK;
  }
  INT_PTR OnReceiveMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) override {
    if (!dialog || dialog != Dialog()) ++strayMessages;
    if (message == kThrowMessage) throw std::runtime_error("thrown from a window procedure");
    if (message == WM_COMMAND && LOWORD(wParam) == IDC_PAGE_EDIT && HIWORD(wParam) == EN_CHANGE &&
        !loading_) {
      SetDirty();
      return TRUE;
    }
    return FALSE;
  }

 private:
  bool loading_ = false;
};

int dialogChildren(HWND frame) {
  int count = 0;
  for (HWND child = ::FindWindowExW(frame, nullptr, L"#32770", nullptr); child;
       child = ::FindWindowExW(frame, child, L"#32770", nullptr)) {
    ++count;
  }
  return count;
}

constexpr RECT kFramePlace{60, 60, 580, 360};

class PropertyPageTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    sharedFrame_.emplace(kFrameClass, kFrameColour, L"Page frame", kFramePlace);
  }
  static void TearDownTestSuite() { sharedFrame_.reset(); }

  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(apartment_.result()));
    frame_ = sharedFrame_->window();
    ASSERT_NE(frame_, nullptr);
    page_ = new TestPage;
    property_ = page_;
  }

  void TearDown() override {
    property_.Reset();
    page_ = nullptr;
    pumpFor(20);
    // Every page made here is gone again, and so is any dialog it made.
    EXPECT_FALSE(module_lock::inUse());
    if (frame_) {
      EXPECT_EQ(dialogChildren(frame_), 0);
    }
  }

  // The page's own size at a margin from the frame's corner.
  RECT pageRect() {
    PROPPAGEINFO info{};
    EXPECT_EQ(property_->GetPageInfo(&info), S_OK);
    ::CoTaskMemFree(info.pszTitle);
    return RECT{12, 12, 12 + info.size.cx, 12 + info.size.cy};
  }

  static std::optional<PageFrame> sharedFrame_;
  ComApartment apartment_{COINIT_APARTMENTTHREADED};
  HWND frame_ = nullptr;
  TestPage* page_ = nullptr;
  ComPtr<IPropertyPage> property_;
};

std::optional<PageFrame> PropertyPageTest::sharedFrame_;

TEST_F(PropertyPageTest, PageInfoComesFromTheModuleResources) {
  PROPPAGEINFO info{};
  ASSERT_EQ(property_->GetPageInfo(&info), S_OK);
  CoTaskMemPtr<OLECHAR> title(info.pszTitle);
  EXPECT_EQ(info.cb, sizeof(PROPPAGEINFO));
  ASSERT_NE(title.get(), nullptr);
  EXPECT_STREQ(title.get(), L"Test settings");
  EXPECT_EQ(info.pszDocString, nullptr);
  EXPECT_EQ(info.pszHelpFile, nullptr);
  EXPECT_EQ(info.dwHelpContext, 0u);
  // The template's 180 x 64 dialog units in the template's font, as the live page has them.
  const RECT small{0, 0, 10, 10};
  ASSERT_EQ(property_->Activate(frame_, &small, FALSE), S_OK);
  RECT units{0, 0, 180, 64};
  ASSERT_TRUE(::MapDialogRect(page_->Dialog(), &units));
  EXPECT_GT(units.right, 180) << "mapped to pixels";
  EXPECT_EQ(info.size.cx, units.right);
  EXPECT_EQ(info.size.cy, units.bottom);
  EXPECT_EQ(property_->Deactivate(), S_OK);
  // Measuring went through a dialog of its own, never through the page's hooks.
  EXPECT_EQ(page_->strayMessages, 0);
  EXPECT_EQ(property_->GetPageInfo(nullptr), E_POINTER);
  EXPECT_EQ(property_->Help(nullptr), E_NOTIMPL);
}

TEST_F(PropertyPageTest, MissingResourcesFallBackToTheNameOrFail) {
  ComPtr<IPropertyPage> untitled = new TestPage(IDD_TEST_PAGE, kMissingId);
  PROPPAGEINFO info{};
  ASSERT_EQ(untitled->GetPageInfo(&info), S_OK);
  CoTaskMemPtr<OLECHAR> title(info.pszTitle);
  EXPECT_STREQ(title.get(), L"Test page");

  ComPtr<IPropertyPage> noDialog = new TestPage(kMissingId, IDS_TEST_PAGE_TITLE);
  PROPPAGEINFO none{};
  EXPECT_TRUE(FAILED(noDialog->GetPageInfo(&none)));
  EXPECT_EQ(none.pszTitle, nullptr);
  const RECT rect{0, 0, 100, 100};
  EXPECT_TRUE(FAILED(noDialog->Activate(frame_, &rect, FALSE)));
  EXPECT_EQ(dialogChildren(frame_), 0);
  EXPECT_EQ(noDialog->Deactivate(), E_UNEXPECTED);
}

TEST_F(PropertyPageTest, SiteIsHeldOnceAndReleased) {
  RecordingSite site;
  RecordingSite other;
  ASSERT_EQ(property_->SetPageSite(&site), S_OK);
  EXPECT_EQ(site.references, 2u);
  EXPECT_EQ(property_->SetPageSite(&other), E_UNEXPECTED);
  EXPECT_EQ(other.references, 1u);
  ASSERT_EQ(property_->SetPageSite(nullptr), S_OK);
  EXPECT_EQ(site.references, 1u);
  ASSERT_EQ(property_->SetPageSite(&other), S_OK);
  property_.Reset();
  page_ = nullptr;
  EXPECT_EQ(other.references, 1u) << "the last release of the page releases its site";
}

TEST_F(PropertyPageTest, SetObjectsConnectsOneObjectAndZeroDisconnects) {
  CountedObject first;
  CountedObject second;
  IUnknown* objects[] = {&first, &second};

  EXPECT_EQ(property_->SetObjects(0, nullptr), S_OK);
  EXPECT_EQ(page_->disconnects, 0) << "nothing was connected";
  EXPECT_EQ(property_->SetObjects(1, nullptr), E_POINTER);
  EXPECT_EQ(property_->SetObjects(2, objects), E_UNEXPECTED);
  EXPECT_EQ(page_->connects, 0);

  ASSERT_EQ(property_->SetObjects(1, objects), S_OK);
  EXPECT_EQ(page_->connects, 1);
  EXPECT_EQ(page_->connected, &first);
  EXPECT_EQ(first.references, 2u);

  // A new object replaces the old one, which is disconnected first.
  ASSERT_EQ(property_->SetObjects(1, &objects[1]), S_OK);
  EXPECT_EQ(page_->disconnects, 1);
  EXPECT_EQ(page_->connected, &second);
  EXPECT_EQ(first.references, 1u);
  EXPECT_EQ(second.references, 2u);

  ASSERT_EQ(property_->SetObjects(0, nullptr), S_OK);
  EXPECT_EQ(page_->disconnects, 2);
  EXPECT_EQ(page_->connected, nullptr);
  EXPECT_EQ(second.references, 1u);

  // A refused object is not kept, so there is nothing to disconnect later.
  page_->connectResult = E_NOINTERFACE;
  EXPECT_EQ(property_->SetObjects(1, objects), E_NOINTERFACE);
  EXPECT_EQ(first.references, 1u);
  EXPECT_EQ(property_->SetObjects(0, nullptr), S_OK);
  EXPECT_EQ(page_->disconnects, 2);

  // A page released while connected lets its object go too.
  page_->connectResult = S_OK;
  ASSERT_EQ(property_->SetObjects(1, objects), S_OK);
  property_.Reset();
  page_ = nullptr;
  EXPECT_EQ(first.references, 1u);
}

TEST_F(PropertyPageTest, ActivationPlacesAPaintedChildDialogInTheFrame) {
  const RECT rect = pageRect();
  ASSERT_EQ(property_->Activate(frame_, &rect, FALSE), S_OK);
  HWND dialog = page_->Dialog();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(page_->activates, 1);
  EXPECT_EQ(::GetParent(dialog), frame_);
  const LONG_PTR style = ::GetWindowLongPtrW(dialog, GWL_STYLE);
  EXPECT_TRUE(style & WS_CHILD);
  EXPECT_FALSE(style & (WS_POPUP | WS_CAPTION)) << "the popup template becomes a plain child";
  EXPECT_TRUE(::IsWindowVisible(dialog));
  const RECT placed = rectInParent(dialog, frame_);
  EXPECT_EQ(placed.left, rect.left);
  EXPECT_EQ(placed.top, rect.top);
  EXPECT_EQ(placed.right, rect.right);
  EXPECT_EQ(placed.bottom, rect.bottom);

  HWND label = ::GetDlgItem(dialog, IDC_PAGE_LABEL);
  HWND edit = ::GetDlgItem(dialog, IDC_PAGE_EDIT);
  HWND check = ::GetDlgItem(dialog, IDC_PAGE_CHECK);
  ASSERT_NE(label, nullptr);
  ASSERT_NE(edit, nullptr);
  ASSERT_NE(check, nullptr);
  wchar_t text[32] = {};
  ::GetWindowTextW(edit, text, 32);
  EXPECT_STREQ(text, L"30") << "OnActivate filled the controls";
  EXPECT_EQ(::IsDlgButtonChecked(dialog, IDC_PAGE_CHECK), BST_CHECKED);
  EXPECT_EQ(property_->IsPageDirty(), S_FALSE) << "filling the controls is not an edit";

  ::RedrawWindow(frame_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
  pumpUntil([&] { return !::GetUpdateRect(frame_, nullptr, FALSE); });
  pumpFor(200);
  const Capture shot = captureClient(frame_);
  ASSERT_GT(shot.width, rect.right);
  ASSERT_GT(shot.height, rect.bottom);
  EXPECT_TRUE(shot.writeBmp("property_page_activated.bmp"));

  // The frame around the page, the page's own face, and dark text on its label.
  EXPECT_EQ(shot.at(rect.right + 20, rect.top + 5), kFrameColour);
  EXPECT_EQ(shot.at(rect.right - 4, rect.bottom - 4), ::GetSysColor(COLOR_BTNFACE));
  const RECT labelRect = rectInParent(label, frame_);
  const RECT editRect = rectInParent(edit, frame_);
  EXPECT_EQ(shot.at(editRect.right - 6, (editRect.top + editRect.bottom) / 2),
            ::GetSysColor(COLOR_WINDOW));
  int dark = 0;
  for (int y = labelRect.top; y < labelRect.bottom; ++y) {
    for (int x = labelRect.left; x < labelRect.right; ++x) {
      const COLORREF c = shot.at(x, y);
      if (GetRValue(c) + GetGValue(c) + GetBValue(c) < 200) ++dark;
    }
  }
  EXPECT_GT(dark, 5) << "the label's text was drawn";

  // Moving and hiding act on the same window.
  const RECT moved{40, 30, 40 + rect.right - rect.left, 30 + rect.bottom - rect.top};
  ASSERT_EQ(property_->Move(&moved), S_OK);
  EXPECT_EQ(rectInParent(dialog, frame_).left, 40);
  EXPECT_EQ(rectInParent(dialog, frame_).top, 30);
  EXPECT_EQ(property_->Move(nullptr), E_POINTER);
  ASSERT_EQ(property_->Show(SW_HIDE), S_OK);
  EXPECT_FALSE(::IsWindowVisible(dialog));
  ASSERT_EQ(property_->Show(SW_SHOW), S_OK);
  EXPECT_TRUE(::IsWindowVisible(dialog));
  EXPECT_EQ(property_->Show(SW_MAXIMIZE), E_INVALIDARG);
  EXPECT_EQ(page_->strayMessages, 0) << "every message came for the page's own dialog";
}

TEST_F(PropertyPageTest, EditingMarksDirtyAndApplyStoresTheText) {
  RecordingSite site;
  ASSERT_EQ(property_->SetPageSite(&site), S_OK);
  const RECT rect = pageRect();
  ASSERT_EQ(property_->Activate(frame_, &rect, FALSE), S_OK);
  HWND edit = ::GetDlgItem(page_->Dialog(), IDC_PAGE_EDIT);
  EXPECT_EQ(property_->IsPageDirty(), S_FALSE);
  EXPECT_EQ(property_->Apply(), S_OK);
  EXPECT_EQ(page_->applies, 0) << "a clean page has nothing to apply";

  ::SetWindowTextW(edit, L"25");
  pumpFor(20);
  EXPECT_EQ(property_->IsPageDirty(), S_OK);
  ASSERT_FALSE(site.statusChanges.empty());
  EXPECT_EQ(site.statusChanges.back(), static_cast<DWORD>(PROPPAGESTATUS_DIRTY));

  // A refused apply leaves the page dirty.
  page_->applyResult = E_FAIL;
  EXPECT_EQ(property_->Apply(), E_FAIL);
  EXPECT_EQ(property_->IsPageDirty(), S_OK);
  EXPECT_EQ(page_->applied, L"30");

  page_->applyResult = S_OK;
  EXPECT_EQ(property_->Apply(), S_OK);
  EXPECT_EQ(page_->applies, 2);
  EXPECT_EQ(page_->applied, L"25");
  EXPECT_EQ(property_->IsPageDirty(), S_FALSE);

  // A typed character is an edit like any other.
  const size_t told = site.statusChanges.size();
  ::SendMessageW(edit, WM_CHAR, L'0', 0);
  EXPECT_EQ(property_->IsPageDirty(), S_OK);
  EXPECT_EQ(site.statusChanges.size(), told + 1);
  EXPECT_EQ(property_->Deactivate(), S_OK);
  EXPECT_EQ(property_->SetPageSite(nullptr), S_OK);
  EXPECT_EQ(site.references, 1u);
}

TEST_F(PropertyPageTest, DeactivationDestroysTheDialogAndActivationIsOneAtATime) {
  const RECT rect = pageRect();
  EXPECT_EQ(property_->Deactivate(), E_UNEXPECTED);
  EXPECT_EQ(property_->Activate(frame_, nullptr, FALSE), E_POINTER);
  EXPECT_EQ(property_->Activate(nullptr, &rect, FALSE), E_INVALIDARG);
  ASSERT_EQ(property_->Activate(frame_, &rect, FALSE), S_OK);
  HWND dialog = page_->Dialog();
  EXPECT_EQ(property_->Activate(frame_, &rect, FALSE), E_UNEXPECTED);
  EXPECT_EQ(page_->activates, 1);
  EXPECT_EQ(dialogChildren(frame_), 1);

  ASSERT_EQ(property_->Deactivate(), S_OK);
  EXPECT_EQ(page_->deactivates, 1);
  EXPECT_TRUE(page_->dialogAliveInDeactivate) << "OnDeactivate still sees its controls";
  EXPECT_FALSE(::IsWindow(dialog));
  EXPECT_EQ(page_->Dialog(), nullptr);
  EXPECT_EQ(dialogChildren(frame_), 0);
  EXPECT_EQ(property_->Deactivate(), E_UNEXPECTED);
  EXPECT_EQ(property_->Show(SW_SHOW), E_UNEXPECTED);
  EXPECT_EQ(property_->Move(&rect), E_UNEXPECTED);

  // A frame switching back to the page activates it again.
  ASSERT_EQ(property_->Activate(frame_, &rect, TRUE), S_OK);
  EXPECT_EQ(page_->activates, 2);
  EXPECT_TRUE(::IsWindow(page_->Dialog()));
  EXPECT_EQ(property_->Deactivate(), S_OK);
  EXPECT_EQ(page_->strayMessages, 0);
}

TEST_F(PropertyPageTest, KeyboardGoesThroughTheDialogManager) {
  MSG tab{};
  tab.message = WM_KEYDOWN;
  tab.wParam = VK_TAB;
  tab.hwnd = frame_;
  EXPECT_EQ(property_->TranslateAccelerator(&tab), S_FALSE) << "no dialog yet";

  const RECT rect = pageRect();
  ASSERT_EQ(property_->Activate(frame_, &rect, FALSE), S_OK);
  HWND edit = ::GetDlgItem(page_->Dialog(), IDC_PAGE_EDIT);
  HWND check = ::GetDlgItem(page_->Dialog(), IDC_PAGE_CHECK);
  ::SetFocus(edit);
  ASSERT_EQ(::GetFocus(), edit);

  EXPECT_EQ(property_->TranslateAccelerator(&tab), S_FALSE) << "the frame's own key";
  tab.hwnd = edit;
  EXPECT_EQ(property_->TranslateAccelerator(&tab), S_OK);
  EXPECT_EQ(::GetFocus(), check) << "tab moves to the next tab stop of the page";
  EXPECT_EQ(property_->TranslateAccelerator(nullptr), E_POINTER);
  EXPECT_EQ(property_->Deactivate(), S_OK);
}

TEST_F(PropertyPageTest, ExceptionsFromHooksStayInsideThePage) {
  CountedObject object;
  IUnknown* objects[] = {&object};
  page_->throwOnConnect = true;
  EXPECT_EQ(property_->SetObjects(1, objects), E_OUTOFMEMORY);
  EXPECT_EQ(object.references, 1u);

  const RECT rect = pageRect();
  ASSERT_EQ(property_->Activate(frame_, &rect, FALSE), S_OK);
  EXPECT_EQ(::SendMessageW(page_->Dialog(), kThrowMessage, 0, 0), 0);
  EXPECT_TRUE(::IsWindow(page_->Dialog()));
  EXPECT_EQ(property_->Deactivate(), S_OK);
}

TEST_F(PropertyPageTest, FrameDestroyedFirstLeavesThePageInactive) {
  HWND frame = sharedFrame_->createAnother();
  ASSERT_NE(frame, nullptr);
  const RECT rect = pageRect();
  ASSERT_EQ(property_->Activate(frame, &rect, FALSE), S_OK);
  HWND dialog = page_->Dialog();
  ASSERT_TRUE(::DestroyWindow(frame));
  EXPECT_FALSE(::IsWindow(dialog));
  EXPECT_EQ(page_->Dialog(), nullptr);
  EXPECT_EQ(property_->Deactivate(), E_UNEXPECTED);
  EXPECT_EQ(page_->deactivates, 0);
}

}  // namespace
