// Frames, message pumping and window read-back for the page tests.
#include "page_window_support.h"

#include <fstream>

namespace page_support {

PageFrame::PageFrame(const wchar_t* className, COLORREF background, const wchar_t* title,
                     const RECT& place)
    : className_(className),
      title_(title),
      place_(place),
      background_(::CreateSolidBrush(background)) {
  WNDCLASSEXW frameClass{};
  frameClass.cbSize = sizeof frameClass;
  frameClass.lpfnWndProc = ::DefWindowProcW;
  frameClass.hInstance = ::GetModuleHandleW(nullptr);
  frameClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  frameClass.hbrBackground = background_.get();
  frameClass.lpszClassName = className_;
  ::RegisterClassExW(&frameClass);
  window_ = createAnother();
  ::SetForegroundWindow(window_);
  pumpFor(50);
}

PageFrame::~PageFrame() {
  if (window_) ::DestroyWindow(window_);
  ::UnregisterClassW(className_, ::GetModuleHandleW(nullptr));
}

HWND PageFrame::createAnother() const {
  return ::CreateWindowExW(0, className_, title_,
                           WS_POPUP | WS_BORDER | WS_CLIPCHILDREN | WS_VISIBLE, place_.left,
                           place_.top, place_.right - place_.left, place_.bottom - place_.top,
                           nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
}

void pumpFor(DWORD milliseconds) {
  pumpUntil([] { return false; }, milliseconds);
}

bool Capture::writeBmp(const char* path) const {
  BITMAPINFOHEADER header{};
  header.biSize = sizeof header;
  header.biWidth = width;
  header.biHeight = -height;
  header.biPlanes = 1;
  header.biBitCount = 32;
  header.biCompression = BI_RGB;
  const DWORD bytes = static_cast<DWORD>(pixels.size() * sizeof(uint32_t));
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof file + sizeof header;
  file.bfSize = file.bfOffBits + bytes;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(&file), sizeof file);
  out.write(reinterpret_cast<const char*>(&header), sizeof header);
  out.write(reinterpret_cast<const char*>(pixels.data()), bytes);
  return static_cast<bool>(out);
}

Capture captureClient(HWND window) {
  Capture capture;
  RECT client{};
  ::GetClientRect(window, &client);
  WindowDC source(window);
  UniqueMemoryDC memory(::CreateCompatibleDC(source.get()));
  if (!source || !memory) return capture;

  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = client.right;
  info.bmiHeader.biHeight = -client.bottom;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  ScopedBitmap bitmap(::CreateDIBSection(memory.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!bitmap || !bits) return capture;
  {
    SelectObjectGuard select(memory.get(), bitmap.get());
    if (!::BitBlt(memory.get(), 0, 0, client.right, client.bottom, source.get(), 0, 0, SRCCOPY))
      return capture;
  }
  ::GdiFlush();
  capture.width = client.right;
  capture.height = client.bottom;
  const auto* first = static_cast<const uint32_t*>(bits);
  capture.pixels.assign(first, first + static_cast<size_t>(capture.width) * capture.height);
  return capture;
}

RECT rectInParent(HWND child, HWND parent) {
  RECT rect{};
  ::GetWindowRect(child, &rect);
  ::MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

}  // namespace page_support
