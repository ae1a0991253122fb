// The main dialog's snapshot of a filter's document, and the partial documents it writes.
#include <windows.h>

#include <gtest/gtest.h>

#include "common/win_raii.h"
#include "common/xml_document.h"
#include "panel/parameter_snapshot.h"
#include "panel/settings_tab.h"

namespace {

class ParameterSnapshotTest : public testing::Test {
 protected:
  ComApartment apartment_{COINIT_APARTMENTTHREADED};
};

TEST_F(ParameterSnapshotTest, ReadsEveryValueByPathAndTheFlagsIntoTheirBits) {
  const wchar_t* document =
      L"<configuration><params sampletime=\"333333\" event=\"32768\">"
      L"<window hwnd=\"-2\"/><rect left=\"-10\" top=\"20\" right=\"630\" bottom=\"500\"/>"
      L"<output cx=\"320\" cy=\"240\"/><border r=\"257\" g=\"2\" b=\"3\"/>"
      L"<flags trackwnd=\"1\" showmouse=\"1\" resize=\"2\" optdeliver=\"0\" limitinst=\"1\"/>"
      L"</params></configuration>";
  ParameterSnapshot snapshot;
  ASSERT_EQ(readSnapshot(document, &snapshot), S_OK);
  EXPECT_EQ(snapshot.sampletime, 333333);
  EXPECT_EQ(snapshot.event, 32768u);
  EXPECT_EQ(snapshot.hwnd, 0xFFFFFFFEu) << "64-bit text truncated to 32 bits";
  EXPECT_EQ(snapshot.rect.left, -10);
  EXPECT_EQ(snapshot.rect.bottom, 500);
  EXPECT_EQ(snapshot.outputCx, 320u);
  EXPECT_EQ(snapshot.border, 0x030201u) << "each colour's low byte";
  EXPECT_EQ(snapshot.flags, static_cast<uint32_t>(CaptureFlag::TrackWnd) |
                                static_cast<uint32_t>(CaptureFlag::Resize))
      << "showmouse 1 clears the hide bit; limitinst is not the dialog's";
}

TEST_F(ParameterSnapshotTest, MissingValuesAreZeroAndAMissingShowmouseHidesThePointer) {
  ParameterSnapshot snapshot;
  snapshot.rect.left = 99;
  ASSERT_EQ(readSnapshot(L"<configuration/>", &snapshot), S_OK);
  EXPECT_EQ(snapshot.rect.left, 0) << "each read starts from zero";
  EXPECT_EQ(snapshot.flags, static_cast<uint32_t>(CaptureFlag::HideMouse));
  EXPECT_EQ(readSnapshot(L"<configuration", &snapshot), E_INVALIDARG);
}

TEST_F(ParameterSnapshotTest, APartialDocumentCarriesOnlyItsValues) {
  std::wstring text;
  ASSERT_EQ(partialDocument({{L"params\\window\\hwnd", L"-2"}, {L"params\\flags\\trackwnd", L"1"}},
                            &text),
            S_OK);
  XmlDocument document;
  ASSERT_EQ(document.Load(text.c_str()), S_OK);
  std::wstring value;
  EXPECT_EQ(document.GetValue(L"params\\window\\hwnd", &value), S_OK);
  EXPECT_EQ(value, L"-2");
  EXPECT_EQ(document.GetValue(L"params\\flags\\trackwnd", &value), S_OK);
  EXPECT_EQ(document.GetValue(L"params\\rect\\left", &value), S_FALSE);
  EXPECT_NE(text.find(L"iso-8859-1"), std::wstring::npos);
  EXPECT_NE(text.find(L"<configuration"), std::wstring::npos);
}

TEST(FrameRateTest, TheRateShowsWithoutTrailingZerosAndTypedRatesBecomeClampedPeriods) {
  EXPECT_EQ(CScrDlgSettings::frameRateText(400000), L"25");
  EXPECT_EQ(CScrDlgSettings::frameRateText(333333), L"30");
  EXPECT_EQ(CScrDlgSettings::frameRateText(3000000), L"3.333");
  EXPECT_EQ(CScrDlgSettings::periodForRate(L"25"), 400000);
  EXPECT_EQ(CScrDlgSettings::periodForRate(L"29.97"), 333667);
  EXPECT_EQ(CScrDlgSettings::periodForRate(L"1000"), 39215) << "at most 255 a second";
  EXPECT_EQ(CScrDlgSettings::periodForRate(L"0.0001"), 10000000000LL) << "at least 0.001";
  EXPECT_EQ(CScrDlgSettings::periodForRate(L"  12.5x"), 800000);
  for (const wchar_t* none : {L"", L"abc", L"0", L"-5", L".", L"0x10"}) {
    EXPECT_EQ(CScrDlgSettings::periodForRate(none), 0) << std::wstring(none).c_str();
  }
}

}  // namespace
