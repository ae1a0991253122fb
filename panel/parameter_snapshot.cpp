// The main dialog's parameter snapshot and partial documents.
#include "panel/parameter_snapshot.h"

#include <cwchar>

#include "common/xml_document.h"

namespace {

struct FlagPath {
  const wchar_t* name;
  CaptureFlag flag;
};

// Below "params\flags\"; "showmouse" is the inverse of its bit and handled apart.
const FlagPath kFlagPaths[] = {
    {L"align", CaptureFlag::Align},           {L"notfresize", CaptureFlag::NotFResize},
    {L"trackwnd", CaptureFlag::TrackWnd},     {L"trackscr", CaptureFlag::TrackScr},
    {L"showframe", CaptureFlag::ShowFrame},   {L"showclicks", CaptureFlag::ShowClicks},
    {L"caplayered", CaptureFlag::CapLayered}, {L"resize", CaptureFlag::Resize},
    {L"resizetype", CaptureFlag::ResizeType}, {L"resizeaspect", CaptureFlag::ResizeAspect},
    {L"trackmouse", CaptureFlag::TrackMouse}, {L"optcapture", CaptureFlag::OptCapture},
    {L"optdeliver", CaptureFlag::OptDeliver}, {L"regrot", CaptureFlag::RegRot},
    {L"outputsize", CaptureFlag::OutputSize},
};

int64_t number(const XmlDocument& document, const wchar_t* path) {
  std::wstring text;
  if (document.GetValue(path, &text) != S_OK) return 0;
  return std::wcstoll(text.c_str(), nullptr, 10);
}

}  // namespace

HRESULT readSnapshot(const wchar_t* documentText, ParameterSnapshot* snapshot) {
  XmlDocument document;
  const HRESULT hr = document.Load(documentText);
  if (FAILED(hr)) return hr;
  ParameterSnapshot read;
  read.sampletime = number(document, L"params\\sampletime");
  read.event = static_cast<uint32_t>(number(document, L"params\\event"));
  read.hwnd = static_cast<uint32_t>(number(document, L"params\\window\\hwnd"));
  read.rect.left = static_cast<int32_t>(number(document, L"params\\rect\\left"));
  read.rect.top = static_cast<int32_t>(number(document, L"params\\rect\\top"));
  read.rect.right = static_cast<int32_t>(number(document, L"params\\rect\\right"));
  read.rect.bottom = static_cast<int32_t>(number(document, L"params\\rect\\bottom"));
  read.outputCx = static_cast<uint32_t>(number(document, L"params\\output\\cx"));
  read.outputCy = static_cast<uint32_t>(number(document, L"params\\output\\cy"));
  const uint32_t red = static_cast<uint32_t>(number(document, L"params\\border\\r")) & 0xFF;
  const uint32_t green = static_cast<uint32_t>(number(document, L"params\\border\\g")) & 0xFF;
  const uint32_t blue = static_cast<uint32_t>(number(document, L"params\\border\\b")) & 0xFF;
  read.border = red | (green << 8) | (blue << 16);
  for (const FlagPath& entry : kFlagPaths) {
    const std::wstring path = std::wstring(L"params\\flags\\") + entry.name;
    if (number(document, path.c_str()) != 0) read.flags |= static_cast<uint32_t>(entry.flag);
  }
  if (number(document, L"params\\flags\\showmouse") != 1) {
    read.flags |= static_cast<uint32_t>(CaptureFlag::HideMouse);
  }
  *snapshot = read;
  return S_OK;
}

HRESULT partialDocument(const std::vector<DocumentValue>& values, std::wstring* text) {
  XmlDocument document;
  HRESULT hr = document.Create(L"configuration", L"iso-8859-1");
  for (const DocumentValue& value : values) {
    if (SUCCEEDED(hr)) hr = document.SetValue(value.first.c_str(), value.second.c_str());
  }
  if (SUCCEEDED(hr)) hr = document.Text(text);
  return hr;
}
