// Parameter paths, their conversions and the document form of the record.
#include "config/parameter_set.h"

#include <cwchar>
#include <iterator>
#include <vector>

#include "common/xml_document.h"
#include "config/window_lookup.h"

namespace {

struct FlagName {
  const wchar_t* name;
  CaptureFlag flag;
};

// In document order.
constexpr FlagName kFlags[] = {
    {L"align", CaptureFlag::Align},
    {L"notfresize", CaptureFlag::NotFResize},
    {L"trackwnd", CaptureFlag::TrackWnd},
    {L"trackscr", CaptureFlag::TrackScr},
    {L"showframe", CaptureFlag::ShowFrame},
    {L"showmouse", CaptureFlag::HideMouse},
    {L"showclicks", CaptureFlag::ShowClicks},
    {L"caplayered", CaptureFlag::CapLayered},
    {L"resize", CaptureFlag::Resize},
    {L"resizetype", CaptureFlag::ResizeType},
    {L"resizeaspect", CaptureFlag::ResizeAspect},
    {L"trackmouse", CaptureFlag::TrackMouse},
    {L"optcapture", CaptureFlag::OptCapture},
    {L"optdeliver", CaptureFlag::OptDeliver},
    {L"regrot", CaptureFlag::RegRot},
    {L"outputsize", CaptureFlag::OutputSize},
    {L"limitinst", CaptureFlag::LimitInst},
};

enum class Field {
  SampleTime,
  Event,
  WindowHwnd,
  RectLeft,
  RectTop,
  RectRight,
  RectBottom,
  OutputCx,
  OutputCy,
  BorderR,
  BorderG,
  BorderB,
  BorderRgb,
  Flag,
};

struct Leaf {
  const wchar_t* name;
  Field field;
};

constexpr Leaf kRootLeaves[] = {{L"sampletime", Field::SampleTime}, {L"event", Field::Event}};
constexpr Leaf kWindowLeaves[] = {{L"hwnd", Field::WindowHwnd}};
constexpr Leaf kRectLeaves[] = {{L"left", Field::RectLeft},
                                {L"top", Field::RectTop},
                                {L"right", Field::RectRight},
                                {L"bottom", Field::RectBottom}};
constexpr Leaf kOutputLeaves[] = {{L"cx", Field::OutputCx}, {L"cy", Field::OutputCy}};
constexpr Leaf kBorderLeaves[] = {{L"r", Field::BorderR},
                                  {L"g", Field::BorderG},
                                  {L"b", Field::BorderB},
                                  {L"rgb", Field::BorderRgb}};

int32_t* rectField(ParamRect& rect, Field field) {
  switch (field) {
    case Field::RectLeft:
      return &rect.left;
    case Field::RectTop:
      return &rect.top;
    case Field::RectRight:
      return &rect.right;
    default:
      return &rect.bottom;
  }
}

int borderShift(Field field) {
  return field == Field::BorderR ? 0 : field == Field::BorderG ? 8 : 16;
}

// Where a path points: a field, and for flags which one. False for anything else.
bool resolvePath(const wchar_t* path, Field* field, CaptureFlag* flag) {
  static constexpr wchar_t kParams[] = L"params\\";
  if (std::wcsncmp(path, kParams, std::size(kParams) - 1) != 0) return false;
  const wchar_t* rest = path + std::size(kParams) - 1;

  struct Group {
    const wchar_t* prefix;
    const Leaf* leaves;
    size_t count;
  };
  const Group groups[] = {
      {L"window\\", kWindowLeaves, std::size(kWindowLeaves)},
      {L"rect\\", kRectLeaves, std::size(kRectLeaves)},
      {L"output\\", kOutputLeaves, std::size(kOutputLeaves)},
      {L"border\\", kBorderLeaves, std::size(kBorderLeaves)},
  };
  for (const Group& group : groups) {
    const size_t length = std::wcslen(group.prefix);
    if (std::wcsncmp(rest, group.prefix, length) != 0) continue;
    for (size_t i = 0; i < group.count; ++i) {
      if (std::wcscmp(rest + length, group.leaves[i].name) == 0) {
        *field = group.leaves[i].field;
        return true;
      }
    }
    return false;
  }
  static constexpr wchar_t kFlagsPrefix[] = L"flags\\";
  if (std::wcsncmp(rest, kFlagsPrefix, std::size(kFlagsPrefix) - 1) == 0) {
    const wchar_t* leaf = rest + std::size(kFlagsPrefix) - 1;
    for (const FlagName& candidate : kFlags) {
      if (std::wcscmp(leaf, candidate.name) == 0) {
        *field = Field::Flag;
        *flag = candidate.flag;
        return true;
      }
    }
    return false;
  }
  for (const Leaf& leaf : kRootLeaves) {
    if (std::wcscmp(rest, leaf.name) == 0) {
      *field = leaf.field;
      return true;
    }
  }
  return false;
}

// A flag value as documents and paths give it; showmouse is stored inverted and only exactly
// 1 shows the pointer.
void storeFlag(CaptureParams& params, CaptureFlag flag, long value) {
  if (flag == CaptureFlag::HideMouse) {
    params.set(flag, value != 1);
  } else {
    params.set(flag, value != 0);
  }
}

bool flagValue(const CaptureParams& params, CaptureFlag flag) {
  const bool set = params.has(flag);
  return flag == CaptureFlag::HideMouse ? !set : set;
}

// Stores a 32-bit value into `field`; false when it is refused.
bool storeField(CaptureParams& params, Field field, CaptureFlag flag, int32_t value) {
  switch (field) {
    case Field::SampleTime:
      params.sampletime = static_cast<uint32_t>(value);
      return true;
    case Field::Event:
      params.event = value;
      return true;
    case Field::WindowHwnd:
      if (!namesWindow(static_cast<uint32_t>(value))) return false;
      params.hwnd = static_cast<uint32_t>(value);
      return true;
    case Field::RectLeft:
    case Field::RectTop:
    case Field::RectRight:
    case Field::RectBottom:
      *rectField(params.rect, field) = value;
      *rectField(params.area, field) = value;
      return true;
    case Field::OutputCx:
      params.output.cx = value;
      return true;
    case Field::OutputCy:
      params.output.cy = value;
      return true;
    case Field::BorderR:
    case Field::BorderG:
    case Field::BorderB: {
      const int shift = borderShift(field);
      params.border =
          (params.border & ~(0xFFu << shift)) | ((static_cast<uint32_t>(value) & 0xFFu) << shift);
      return true;
    }
    case Field::BorderRgb:
      params.border = static_cast<uint32_t>(value);
      return true;
    case Field::Flag:
      storeFlag(params, flag, value);
      return true;
  }
  return false;
}

int32_t fieldValue(const CaptureParams& params, Field field, CaptureFlag flag) {
  switch (field) {
    case Field::SampleTime:
      return static_cast<int32_t>(params.sampletime);
    case Field::Event:
      return params.event;
    case Field::WindowHwnd:
      return static_cast<int32_t>(params.hwnd);
    case Field::RectLeft:
    case Field::RectTop:
    case Field::RectRight:
    case Field::RectBottom: {
      ParamRect area = params.area;
      return *rectField(area, field);
    }
    case Field::OutputCx:
      return params.output.cx;
    case Field::OutputCy:
      return params.output.cy;
    case Field::BorderR:
    case Field::BorderG:
    case Field::BorderB:
      return static_cast<int32_t>((params.border >> borderShift(field)) & 0xFF);
    case Field::BorderRgb:
      return static_cast<int32_t>(params.border);
    case Field::Flag:
      return flagValue(params, flag) ? 1 : 0;
  }
  return 0;
}

std::wstring decimal(long long value) {
  wchar_t text[32];
  std::swprintf(text, std::size(text), L"%lld", value);
  return text;
}

class DocumentReader {
 public:
  explicit DocumentReader(const XmlDocument& document) : document_(document) {}

  // The attribute's text, or false when it is absent.
  bool read(const wchar_t* path, std::wstring* text) const {
    return document_.GetValue(path, text) == S_OK;
  }
  bool readLong(const wchar_t* path, long* value) const {
    std::wstring text;
    if (!read(path, &text)) return false;
    *value = std::wcstol(text.c_str(), nullptr, 10);
    return true;
  }

 private:
  const XmlDocument& document_;
};

}  // namespace

HRESULT applyDocument(CaptureParams& params, const wchar_t* text, bool* borderChanged) {
  if (borderChanged) *borderChanged = false;
  XmlDocument document;
  HRESULT hr = document.Load(text);
  if (FAILED(hr)) return hr;
  DocumentReader reader(document);
  std::wstring value;
  long number = 0;

  if (reader.read(L"params\\sampletime", &value)) {
    params.sampletime = std::wcstoll(value.c_str(), nullptr, 10);
  }
  if (reader.readLong(L"params\\event", &number)) params.event = number;
  // An empty name would pick whichever untitled window comes first: a saved document of a
  // pin without a tracked window carries one, so it names no window.
  if (reader.read(L"params\\window\\name", &value) && !value.empty()) {
    const uint32_t window = windowTitled(value);
    if (window != kNoWindow) params.hwnd = window;
  }
  if (reader.read(L"params\\window\\hwnd", &value)) {
    const auto handle = static_cast<uint32_t>(std::wcstoll(value.c_str(), nullptr, 10));
    if (namesWindow(handle)) params.hwnd = handle;
  }
  const struct {
    const wchar_t* path;
    Field field;
  } numbers[] = {
      {L"params\\rect\\left", Field::RectLeft},   {L"params\\rect\\top", Field::RectTop},
      {L"params\\rect\\right", Field::RectRight}, {L"params\\rect\\bottom", Field::RectBottom},
      {L"params\\output\\cx", Field::OutputCx},   {L"params\\output\\cy", Field::OutputCy},
      {L"params\\border\\r", Field::BorderR},     {L"params\\border\\g", Field::BorderG},
      {L"params\\border\\b", Field::BorderB},
  };
  for (const auto& entry : numbers) {
    if (!reader.readLong(entry.path, &number)) continue;
    storeField(params, entry.field, CaptureFlag::Align, number);
    const bool border = entry.field == Field::BorderR || entry.field == Field::BorderG ||
                        entry.field == Field::BorderB;
    if (border && borderChanged) *borderChanged = true;
  }
  for (const FlagName& flag : kFlags) {
    const std::wstring path = std::wstring(L"params\\flags\\") + flag.name;
    if (reader.readLong(path.c_str(), &number)) storeFlag(params, flag.flag, number);
  }
  return S_OK;
}

HRESULT buildDocument(const CaptureParams& params, std::wstring* text) {
  if (!text) return E_POINTER;
  XmlDocument document;
  HRESULT hr = document.Create(L"configuration", L"iso-8859-1");
  for (const wchar_t* element : {L"params", L"params\\window", L"params\\rect", L"params\\output",
                                 L"params\\border", L"params\\flags"}) {
    if (SUCCEEDED(hr)) hr = document.CreatePath(element);
  }
  std::vector<std::pair<std::wstring, std::wstring>> values = {
      {L"params\\sampletime", decimal(params.sampletime)},
      {L"params\\event", decimal(params.event)},
      {L"params\\window\\hwnd", decimal(static_cast<int32_t>(params.hwnd))},
      {L"params\\window\\name", windowTitle(params.hwnd)},
      {L"params\\rect\\left", decimal(params.area.left)},
      {L"params\\rect\\top", decimal(params.area.top)},
      {L"params\\rect\\right", decimal(params.area.right)},
      {L"params\\rect\\bottom", decimal(params.area.bottom)},
      {L"params\\output\\cx", decimal(params.output.cx)},
      {L"params\\output\\cy", decimal(params.output.cy)},
      {L"params\\border\\r", decimal(params.border & 0xFF)},
      {L"params\\border\\g", decimal((params.border >> 8) & 0xFF)},
      {L"params\\border\\b", decimal((params.border >> 16) & 0xFF)},
  };
  for (const FlagName& flag : kFlags) {
    values.emplace_back(std::wstring(L"params\\flags\\") + flag.name,
                        flagValue(params, flag.flag) ? L"1" : L"0");
  }
  for (const auto& [path, value] : values) {
    if (FAILED(hr)) break;
    hr = document.SetValue(path.c_str(), value.c_str());
  }
  if (FAILED(hr)) return hr;
  return document.Text(text);
}

HRESULT getParameter(const CaptureParams& params, const wchar_t* path, int32_t* value) {
  if (!path || !value) return E_POINTER;
  Field field;
  CaptureFlag flag = CaptureFlag::Align;
  if (!resolvePath(path, &field, &flag)) return S_FALSE;
  *value = fieldValue(params, field, flag);
  return S_OK;
}

HRESULT setParameter(CaptureParams& params, const wchar_t* path, int32_t value,
                     bool* borderChanged) {
  if (borderChanged) *borderChanged = false;
  if (!path) return E_POINTER;
  Field field;
  CaptureFlag flag = CaptureFlag::Align;
  if (!resolvePath(path, &field, &flag)) return S_FALSE;
  if (!storeField(params, field, flag, value)) return S_FALSE;
  if (borderChanged) {
    *borderChanged = field == Field::BorderR || field == Field::BorderG ||
                     field == Field::BorderB || field == Field::BorderRgb;
  }
  return S_OK;
}

HRESULT copyParams(const CaptureParams& params, CaptureParams* target) {
  if (!target) return E_POINTER;
  if (target->size != sizeof(CaptureParams)) return E_INVALIDARG;
  *target = params;
  target->size = sizeof(CaptureParams);
  return S_OK;
}
