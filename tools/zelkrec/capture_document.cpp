// Builds the recorder's partial configuration document.
#include "tools/zelkrec/capture_document.h"

#include <string>
#include <vector>

namespace {

std::wstring attribute(const wchar_t* name, long long value) {
  return std::wstring(L" ") + name + L"=\"" + std::to_wstring(value) + L"\"";
}

}  // namespace

std::wstring captureDocument(const Options& options, std::optional<uint32_t> window) {
  std::wstring elements;
  std::vector<std::pair<const wchar_t*, int>> flags;
  if (window) {
    elements += L"<window" + attribute(L"hwnd", static_cast<int32_t>(*window)) + L"/>";
    flags.push_back({L"trackwnd", 1});
    flags.push_back({L"trackscr", 0});
  } else if (options.rect) {
    const Options::Rect& rect = *options.rect;
    elements += L"<rect" + attribute(L"left", rect.left) + attribute(L"top", rect.top) +
                attribute(L"right", rect.right) + attribute(L"bottom", rect.bottom) + L"/>";
    flags.push_back({L"trackwnd", 0});
    flags.push_back({L"trackscr", 0});
  } else if (options.desktop || options.followMouse) {
    // Following the pointer without a named area pans over the whole desktop.
    flags.push_back({L"trackwnd", 0});
    flags.push_back({L"trackscr", 1});
  }
  if (options.size) {
    elements += L"<output" + attribute(L"cx", options.size->width) +
                attribute(L"cy", options.size->height) + L"/>";
  }
  if (options.followMouse) {
    // The frame is a view of the output size that pans; it is not resized.
    flags.push_back({L"trackmouse", 1});
    flags.push_back({L"outputsize", 1});
    flags.push_back({L"resize", 0});
  } else if (options.size) {
    flags.push_back({L"outputsize", 1});
    flags.push_back({L"resize", 1});
    flags.push_back({L"resizeaspect", options.keepAspect ? 1 : 0});
    if (options.scale != Options::Scale::FilterDefault) {
      flags.push_back({L"resizetype", options.scale == Options::Scale::Linear ? 1 : 0});
    }
  }
  if (options.noPointer) flags.push_back({L"showmouse", 0});
  if (options.noClicks) flags.push_back({L"showclicks", 0});
  // A file needs a frame for every period. With the panel installed, optimised delivery
  // would leave out the periods in which nothing changed: the recording would play short,
  // and a still screen would look like a stalled graph.
  flags.push_back({L"optdeliver", 0});

  elements += L"<flags";
  for (const auto& [name, value] : flags) elements += attribute(name, value);
  elements += L"/>";
  return L"<configuration><params>" + elements + L"</params></configuration>";
}
