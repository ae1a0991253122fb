// Helpers for tests that show windows and property pages on the virtual display: a page site
// that records what a page tells it, frames to host pages in, message pumping with a time
// limit, and pixels read back from a window's client area.
#pragma once

#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

#include <cstdint>
#include <vector>

#include "common/win_raii.h"

namespace page_support {

// A site that records what the page tells it.
class RecordingSite final : public IPropertyPageSite {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (iid == IID_IUnknown || iid == IID_IPropertyPageSite) {
      *object = static_cast<IPropertyPageSite*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }
  HRESULT STDMETHODCALLTYPE OnStatusChange(DWORD flags) override {
    statusChanges.push_back(flags);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetLocaleID(LCID* locale) override {
    if (!locale) return E_POINTER;
    *locale = LOCALE_USER_DEFAULT;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetPageContainer(IUnknown** container) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(MSG*) override { return S_FALSE; }

  ULONG references = 1;
  std::vector<DWORD> statusChanges;
};

// A shown top-level frame that pages are activated in, with a background of its own colour,
// brought to the front; its window class is registered while it lives. Without a window
// manager Wine waits in vain for the withdrawal of every top-level window it hides, so a suite
// keeps one frame for all its tests.
class PageFrame {
 public:
  PageFrame(const wchar_t* className, COLORREF background, const wchar_t* title, const RECT& place);
  ~PageFrame();
  PageFrame(const PageFrame&) = delete;
  PageFrame& operator=(const PageFrame&) = delete;

  // Null when it could not be made.
  HWND window() const { return window_; }
  // One more shown frame like this one, for the caller to destroy; null when it cannot be made.
  HWND createAnother() const;

 private:
  const wchar_t* className_;
  const wchar_t* title_;
  RECT place_;
  UniqueGdiBrush background_;
  HWND window_ = nullptr;
};

// Runs the thread's messages until `done` or the time is up.
template <class Done>
bool pumpUntil(Done done, DWORD milliseconds = 2000) {
  const DWORD start = ::GetTickCount();
  for (;;) {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
    if (done()) return true;
    if (::GetTickCount() - start >= milliseconds) return false;
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}

void pumpFor(DWORD milliseconds);

// A window's client area as 32-bit pixels, read back from its device context.
struct Capture {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;  // top-down, 0x00RRGGBB

  COLORREF at(int x, int y) const {
    uint32_t p = pixels[static_cast<size_t>(y) * width + x];
    return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
  }

  // As a top-down 32-bit BMP file.
  bool writeBmp(const char* path) const;
};

// Empty (width 0) when the window cannot be read.
Capture captureClient(HWND window);

// `child`'s window rectangle in `parent`'s client coordinates.
RECT rectInParent(HWND child, HWND parent);

}  // namespace page_support
