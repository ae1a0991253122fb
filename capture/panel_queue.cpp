// The capture pin's link to the control panel's queue object.
#include "capture/panel_queue.h"

#include <cstdio>
#include <cwchar>

#include "common/win_raii.h"

namespace {

constexpr DWORD kAnyServer = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER;

bool startsWith(const wchar_t* text, const wchar_t* prefix) {
  return std::wcsncmp(text, prefix, std::wcslen(prefix)) == 0;
}

}  // namespace

PanelEvent classifyPanelEvent(const wchar_t* text) {
  if (!text) return PanelEvent::Other;
  for (const wchar_t* prefix : {L"WindowChanged", L"WindowBorderChanged",
                                L"WindowClientAreaChanged", L"RectangleChanged"}) {
    if (startsWith(text, prefix)) return PanelEvent::Geometry;
  }
  if (startsWith(text, L"CursorChanged")) return PanelEvent::Cursor;
  return PanelEvent::Other;
}

void PanelQueue::open() {
  queue_.Reset();
  if (FAILED(::CoCreateInstance(CLSID_ZelkgrabQueue, nullptr, kAnyServer, IID_IZelkgrabQueue,
                                reinterpret_cast<void**>(queue_.GetAddressOf())))) {
    queue_.Reset();
  }
}

void PanelQueue::close() { queue_.Reset(); }

void PanelQueue::drainEvents(bool* geometryChanged, bool* cursorChanged) {
  if (!queue_) return;
  UniqueBstr property(::SysAllocString(L"event"));
  if (!property) return;
  for (;;) {
    UniqueBstr text;
    if (queue_->get_qparam(property.get(), text.put()) != S_OK) return;
    switch (classifyPanelEvent(text.get())) {
      case PanelEvent::Geometry:
        *geometryChanged = true;
        break;
      case PanelEvent::Cursor:
        *cursorChanged = true;
        break;
      case PanelEvent::Other:
        break;
    }
  }
}

void PanelQueue::hideFrame() { put(L"FrameShow", L"0"); }

void PanelQueue::showFrame(const ParamRect& screen) {
  wchar_t position[64];
  std::swprintf(position, sizeof(position) / sizeof(position[0]), L"%d,%d,%d,%d",
                static_cast<int>(screen.left), static_cast<int>(screen.top),
                static_cast<int>(screen.right), static_cast<int>(screen.bottom));
  put(L"FramePos", position);
  put(L"FrameShow", L"1");
}

void PanelQueue::put(const wchar_t* property, const wchar_t* value) {
  if (!queue_) return;
  UniqueBstr name(::SysAllocString(property));
  UniqueBstr text(::SysAllocString(value));
  if (name && text) queue_->put_qparam(name.get(), text.get());
}
