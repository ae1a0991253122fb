// The parameter set: paths, conversions, the document form and the record copy.
#include <windows.h>

#include <gtest/gtest.h>

#include "common/win_raii.h"
#include "common/xml_document.h"
#include "config/configuration.h"
#include "config/parameter_set.h"
#include "config/built_in_settings.h"

namespace {

class ParameterSetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(apartment_.result()));
    params_ = initialCaptureParams();
    ASSERT_EQ(applyDocument(params_, builtInDocument()), S_OK);
  }

  std::wstring valueInBuiltDocument(const wchar_t* path) {
    std::wstring text;
    EXPECT_EQ(buildDocument(params_, &text), S_OK);
    XmlDocument document;
    EXPECT_EQ(document.Load(text.c_str()), S_OK);
    std::wstring value;
    EXPECT_EQ(document.GetValue(path, &value, L"<absent>"), S_OK) << "no " << path;
    return value;
  }

  int32_t get(const wchar_t* path) {
    int32_t value = -12345;
    EXPECT_EQ(getParameter(params_, path, &value), S_OK) << path;
    return value;
  }

  ComApartment apartment_{COINIT_APARTMENTTHREADED};
  CaptureParams params_;
};

TEST_F(ParameterSetTest, BuiltInDocumentGivesItsValues) {
  EXPECT_EQ(params_.sampletime, 400000);
  EXPECT_EQ(params_.event, 0) << "an empty event reads as 0";
  EXPECT_EQ(params_.hwnd, kNoWindow);
  EXPECT_EQ(params_.output.cx, 320);
  EXPECT_EQ(params_.output.cy, 240);
  EXPECT_EQ(params_.border, 0xFF00FFu);
  EXPECT_EQ(params_.rect.right, 800);
  EXPECT_EQ(params_.area.bottom, 600);
  EXPECT_EQ(get(L"params\\flags\\align"), 1);
  EXPECT_EQ(get(L"params\\flags\\showmouse"), 1);
  EXPECT_EQ(get(L"params\\flags\\trackwnd"), 0);
  EXPECT_EQ(get(L"params\\flags\\optdeliver"), 1);
  EXPECT_FALSE(params_.has(CaptureFlag::HideMouse));
}

TEST_F(ParameterSetTest, PathsAreExactAndCaseSensitive) {
  int32_t value = 0;
  EXPECT_EQ(getParameter(params_, L"PARAMS\\flags\\align", &value), S_FALSE);
  EXPECT_EQ(getParameter(params_, L"params\\Flags\\align", &value), S_FALSE);
  EXPECT_EQ(getParameter(params_, L"params\\flags\\nosuchflag", &value), S_FALSE);
  EXPECT_EQ(getParameter(params_, L"params\\window\\name", &value), S_FALSE);
  EXPECT_EQ(getParameter(params_, L"params\\rect", &value), S_FALSE);
  EXPECT_EQ(getParameter(params_, nullptr, &value), E_POINTER);
  EXPECT_EQ(getParameter(params_, L"params\\event", nullptr), E_POINTER);
  const CaptureParams before = params_;
  EXPECT_EQ(setParameter(params_, L"params\\Rect\\left", 5), S_FALSE);
  EXPECT_EQ(setParameter(params_, nullptr, 5), E_POINTER);
  EXPECT_TRUE(params_ == before);
}

TEST_F(ParameterSetTest, ShowMouseShowsThePointerOnlyForExactlyOne) {
  ASSERT_EQ(setParameter(params_, L"params\\flags\\showmouse", 2), S_OK);
  EXPECT_TRUE(params_.has(CaptureFlag::HideMouse));
  EXPECT_EQ(get(L"params\\flags\\showmouse"), 0);
  ASSERT_EQ(setParameter(params_, L"params\\flags\\showmouse", 1), S_OK);
  EXPECT_FALSE(params_.has(CaptureFlag::HideMouse));
  ASSERT_EQ(setParameter(params_, L"params\\flags\\showmouse", 0), S_OK);
  EXPECT_TRUE(params_.has(CaptureFlag::HideMouse));
  EXPECT_EQ(valueInBuiltDocument(L"params\\flags\\showmouse"), L"0");
  // Other flags: any non-zero value sets them.
  ASSERT_EQ(setParameter(params_, L"params\\flags\\trackscr", 7), S_OK);
  EXPECT_TRUE(params_.has(CaptureFlag::TrackScr));
}

TEST_F(ParameterSetTest, BorderComponentsAndTheWholeWord) {
  bool borderChanged = false;
  ASSERT_EQ(setParameter(params_, L"params\\border\\rgb", 0xFF00, &borderChanged), S_OK);
  EXPECT_TRUE(borderChanged);
  EXPECT_EQ(valueInBuiltDocument(L"params\\border\\r"), L"0");
  EXPECT_EQ(valueInBuiltDocument(L"params\\border\\g"), L"255");
  EXPECT_EQ(valueInBuiltDocument(L"params\\border\\b"), L"0");
  ASSERT_EQ(setParameter(params_, L"params\\border\\b", 0x1AB), S_OK);  // low 8 bits only
  EXPECT_EQ(params_.border, 0xABFF00u);
  EXPECT_EQ(get(L"params\\border\\b"), 0xAB);
  std::wstring text;
  ASSERT_EQ(buildDocument(params_, &text), S_OK);
  EXPECT_EQ(text.find(L"rgb"), std::wstring::npos) << "the whole word is never written";
}

TEST_F(ParameterSetTest, RectangleGoesIntoRectAndArea) {
  ASSERT_EQ(setParameter(params_, L"params\\rect\\left", 100), S_OK);
  EXPECT_EQ(params_.rect.left, 100);
  EXPECT_EQ(params_.area.left, 100);
  EXPECT_EQ(get(L"params\\rect\\left"), 100);
  params_.area.left = 140;  // as the tracking leaves it
  EXPECT_EQ(get(L"params\\rect\\left"), 140);
  EXPECT_EQ(valueInBuiltDocument(L"params\\rect\\left"), L"140");
}

TEST_F(ParameterSetTest, SampleTimeKeepsSixtyFourBitsOnlyThroughDocuments) {
  ASSERT_EQ(applyDocument(params_,
                          L"<configuration><params sampletime=\"5000000000\"/>"
                          L"</configuration>"),
            S_OK);
  EXPECT_EQ(params_.sampletime, 5000000000LL);
  EXPECT_EQ(get(L"params\\sampletime"), static_cast<int32_t>(5000000000LL & 0xFFFFFFFF));
  EXPECT_EQ(valueInBuiltDocument(L"params\\sampletime"), L"5000000000");
  ASSERT_EQ(setParameter(params_, L"params\\sampletime", -1), S_OK);
  EXPECT_EQ(params_.sampletime, 0xFFFFFFFFLL) << "a set stores the high half 0";
}

TEST_F(ParameterSetTest, WindowsMustExistToBeTracked) {
  ASSERT_EQ(applyDocument(params_,
                          L"<configuration><params><window hwnd=\"123\"/></params>"
                          L"</configuration>"),
            S_OK);
  EXPECT_EQ(params_.hwnd, kNoWindow);
  EXPECT_EQ(setParameter(params_, L"params\\window\\hwnd", 123), S_FALSE);
  EXPECT_EQ(valueInBuiltDocument(L"params\\window\\hwnd"), L"-1");
  EXPECT_EQ(valueInBuiltDocument(L"params\\window\\name"), L"");

  HWND window = ::CreateWindowExW(0, L"STATIC", L"zelk tracked window", WS_POPUP, 0, 0, 10, 10,
                                  nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(window, nullptr);
  const auto handle = static_cast<int32_t>(reinterpret_cast<intptr_t>(window));
  EXPECT_EQ(setParameter(params_, L"params\\window\\hwnd", handle), S_OK);
  EXPECT_EQ(get(L"params\\window\\hwnd"), handle);
  EXPECT_EQ(valueInBuiltDocument(L"params\\window\\name"), L"zelk tracked window");

  // By name, and the hwnd read after it wins.
  params_.hwnd = kNoWindow;
  ASSERT_EQ(applyDocument(params_,
                          L"<configuration><params><window name=\"zelk tracked "
                          L"window\"/></params></configuration>"),
            S_OK);
  EXPECT_EQ(params_.hwnd, static_cast<uint32_t>(handle));
  ::DestroyWindow(window);
}

TEST_F(ParameterSetTest, AbsentAttributesKeepTheirValuesAndTextReadsAsNumbers) {
  params_.output = {11, 22};
  ASSERT_EQ(applyDocument(params_,
                          L"<configuration><params><rect left=\"abc\"/>"
                          L"<flags trackwnd=\"1\"/></params></configuration>"),
            S_OK);
  EXPECT_EQ(params_.rect.left, 0) << "non-numeric text converts to 0";
  EXPECT_EQ(params_.output.cx, 11);
  EXPECT_TRUE(params_.has(CaptureFlag::TrackWnd));
  EXPECT_TRUE(params_.has(CaptureFlag::Align));
}

TEST_F(ParameterSetTest, MalformedDocumentsChangeNothing) {
  std::wstring text;
  ASSERT_EQ(buildDocument(params_, &text), S_OK);
  const CaptureParams before = params_;
  // Cut inside the document: its last bytes are only a line break.
  for (size_t length : {size_t{0}, size_t{1}, text.size() / 3, text.size() / 2, text.size() - 6}) {
    SCOPED_TRACE(length);
    const std::wstring truncated = text.substr(0, length);
    EXPECT_TRUE(FAILED(applyDocument(params_, truncated.c_str())));
    EXPECT_TRUE(params_ == before);
  }
  EXPECT_TRUE(FAILED(applyDocument(params_, L"\x01\x02garbage<<>>")));
  EXPECT_EQ(applyDocument(params_, nullptr), E_POINTER);
  EXPECT_TRUE(params_ == before);
}

TEST_F(ParameterSetTest, DocumentRoundTripIsIdentical) {
  ASSERT_EQ(setParameter(params_, L"params\\flags\\resize", 1), S_OK);
  ASSERT_EQ(setParameter(params_, L"params\\output\\cx", 641), S_OK);
  std::wstring first;
  ASSERT_EQ(buildDocument(params_, &first), S_OK);
  CaptureParams copy = initialCaptureParams();
  ASSERT_EQ(applyDocument(copy, first.c_str()), S_OK);
  std::wstring second;
  ASSERT_EQ(buildDocument(copy, &second), S_OK);
  EXPECT_EQ(first, second);
}

TEST_F(ParameterSetTest, CopyNeedsTheRecordSize) {
  CaptureParams target = {};
  EXPECT_EQ(copyParams(params_, &target), E_INVALIDARG) << "size field 0";
  target.size = sizeof(CaptureParams) + 4;
  EXPECT_EQ(copyParams(params_, &target), E_INVALIDARG);
  EXPECT_EQ(target.sampletime, 0);
  target.size = sizeof(CaptureParams);
  ASSERT_EQ(copyParams(params_, &target), S_OK);
  EXPECT_TRUE(target == params_);
  EXPECT_EQ(copyParams(params_, nullptr), E_POINTER);
}

}  // namespace
