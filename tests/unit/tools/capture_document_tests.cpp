// The recorder's capture options become one partial settings document that names only what
// an option asks for, with the flags that make the filter do it, and always a sample for every
// period.
#include <gtest/gtest.h>

#include "tools/zelkrec/capture_document.h"

namespace {

std::wstring documentOf(void (*set)(Options&), std::optional<uint32_t> window = std::nullopt) {
  Options options;
  set(options);
  return captureDocument(options, window);
}

TEST(CaptureDocument, NamesOnlyWhatTheOptionsAskFor) {
  EXPECT_EQ(documentOf([](Options&) {}),
            L"<configuration><params><flags optdeliver=\"0\"/></params></configuration>");
  EXPECT_EQ(documentOf([](Options& o) { o.rect = Options::Rect{-10, 20, 330, 260}; }),
            L"<configuration><params><rect left=\"-10\" top=\"20\" right=\"330\" "
            L"bottom=\"260\"/><flags trackwnd=\"0\" trackscr=\"0\" optdeliver=\"0\"/></params>"
            L"</configuration>");
  // A handle above 2^31 is written sign-extended, as the filter's own documents write it.
  EXPECT_EQ(documentOf([](Options& o) { o.noPointer = o.noClicks = true; }, 0x80000010u),
            L"<configuration><params><window hwnd=\"-2147483632\"/><flags trackwnd=\"1\" "
            L"trackscr=\"0\" showmouse=\"0\" showclicks=\"0\" optdeliver=\"0\"/></params>"
            L"</configuration>");
}

TEST(CaptureDocument, ASizeResizesButAViewThatFollowsThePointerPans) {
  const std::wstring resized = documentOf([](Options& o) {
    o.desktop = true;
    o.size = Options::Size{640, 360};
    o.scale = Options::Scale::Linear;
  });
  EXPECT_EQ(resized,
            L"<configuration><params><output cx=\"640\" cy=\"360\"/><flags trackwnd=\"0\" "
            L"trackscr=\"1\" outputsize=\"1\" resize=\"1\" resizeaspect=\"0\" "
            L"resizetype=\"1\" optdeliver=\"0\"/></params></configuration>");
  // Without an area the view pans over the whole desktop, and it is never resized.
  const std::wstring panning = documentOf([](Options& o) {
    o.followMouse = true;
    o.size = Options::Size{320, 240};
  });
  EXPECT_EQ(panning,
            L"<configuration><params><output cx=\"320\" cy=\"240\"/><flags trackwnd=\"0\" "
            L"trackscr=\"1\" trackmouse=\"1\" outputsize=\"1\" resize=\"0\" "
            L"optdeliver=\"0\"/></params>"
            L"</configuration>");
  const std::wstring keptAspect = documentOf([](Options& o) {
    o.size = Options::Size{100, 100};
    o.keepAspect = true;
  });
  EXPECT_NE(keptAspect.find(L"resizeaspect=\"1\""), std::wstring::npos);
  EXPECT_EQ(keptAspect.find(L"resizetype"), std::wstring::npos) << "the filter's own scaling";
}

}  // namespace
