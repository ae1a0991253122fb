// The built-in settings of a capture filter.
#include "config/built_in_settings.h"

#include <cstring>

namespace {

// Tab-separated children, as the chain expects them: the first element named exactly
// "redirect" acts; the "_redirect" ones are inert examples of the other kinds.
constexpr wchar_t kBuiltInDocument[] =
    L"<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\n"
    L"<configuration>"
    L"\t<redirect type=\"relative\" file=\"zelkgrabset.xml\"/>"
    L"\t<_redirect type=\"diskfile\" file=\"c:\\zelkgrabset.xml\"/>"
    L"\t<_redirect type=\"url\" file=\"http://127.0.0.1/zelkgrabset.xml\"/>"
    L"\t<params sampletime=\"400000\" event=\"\">"
    L"<window hwnd=\"\" name=\"_logs\"/>"
    L"<rect left=\"0\" top=\"0\" right=\"800\" bottom=\"600\"/>"
    L"<output cx=\"320\" cy=\"240\"/>"
    L"<border r=\"255\" g=\"0\" b=\"255\"/>"
    L"<flags align=\"1\" notfresize=\"1\" trackwnd=\"0\" trackscr=\"0\" showframe=\"0\""
    L" showmouse=\"1\" showclicks=\"1\" caplayered=\"0\" resize=\"0\" resizetype=\"1\""
    L" resizeaspect=\"1\" trackmouse=\"1\" optcapture=\"1\" optdeliver=\"1\" regrot=\"0\""
    L" outputsize=\"0\" limitinst=\"0\"/>"
    L"</params>"
    L"</configuration>";

}  // namespace

CaptureParams initialCaptureParams() {
  CaptureParams params;
  std::memset(&params, 0, sizeof(params));
  params.size = sizeof(CaptureParams);
  params.sampletime = 333333;
  params.hwnd = kNoWindow;
  params.flags = static_cast<uint32_t>(CaptureFlag::Align);
  params.border = 0xFF00FF;
  params.output = {640, 480};
  params.frameSize = {640, 480};
  params.event = 10;
  return params;
}

const wchar_t* builtInDocument() { return kBuiltInDocument; }
