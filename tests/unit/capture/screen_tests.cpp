// The screen side of the capture under Wine: desktop geometry, area tracking, the capture
// surface's headers and validity rules, and real grabs of a test window with a known pattern on
// the virtual display (exact pixels, edges of the desktop, 16- and 15-bit conversion, layered
// capture, a tracked window that is minimised or gone). One frame is saved as
// screen_grab_frame.bmp in the working directory.
#include <windows.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <vector>

#include "capture/area_tracker.h"
#include "capture/border_fill.h"
#include "capture/capture_surface.h"
#include "capture/screen_grab.h"
#include "capture/screen_info.h"
#include "common/win_raii.h"
#include "config/built_in_settings.h"

// At global scope so that the assertion macros find them by argument-dependent lookup.
static bool operator==(const ParamRect& a, const ParamRect& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
static void PrintTo(const ParamRect& r, std::ostream* out) {
  *out << "(" << r.left << "," << r.top << "," << r.right << "," << r.bottom << ")";
}
static bool operator==(const ParamPoint& a, const ParamPoint& b) {
  return a.x == b.x && a.y == b.y;
}
static void PrintTo(const ParamPoint& p, std::ostream* out) {
  *out << "(" << p.x << "," << p.y << ")";
}

namespace {

constexpr DWORD kWaitMs = 5000;
constexpr int kPatternWidth = 200;
constexpr int kPatternHeight = 150;
constexpr uint32_t kMagenta = 0xFF00FF;

// The test window's picture: red is x, green is y, blue a constant no border colour has.
uint32_t patternRgb(int x, int y) {
  return (static_cast<uint32_t>(x) << 16) | (static_cast<uint32_t>(y) << 8) | 0x40;
}

uint32_t rgbTo565(uint32_t rgb) {
  return (((rgb >> 16) & 0xF8) << 8) | (((rgb >> 8) & 0xFC) << 3) | ((rgb & 0xFF) >> 3);
}
uint32_t rgbTo555(uint32_t rgb) {
  return (((rgb >> 16) & 0xF8) << 7) | (((rgb >> 8) & 0xF8) << 2) | ((rgb & 0xFF) >> 3);
}

ParamRect screenRect() {
  const int left = ::GetSystemMetrics(SM_XVIRTUALSCREEN);
  const int top = ::GetSystemMetrics(SM_YVIRTUALSCREEN);
  return {left, top, left + ::GetSystemMetrics(SM_CXVIRTUALSCREEN),
          top + ::GetSystemMetrics(SM_CYVIRTUALSCREEN)};
}

void pumpMessages() {
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
}

// A bottom-up bitmap read in picture coordinates.
uint32_t pixelAt(const uint8_t* bits, int width, int height, int bytesPerPixel, int x, int y) {
  const uint8_t* p = bits + static_cast<size_t>(height - 1 - y) * dibStride(width, bytesPerPixel) +
                     static_cast<size_t>(x) * bytesPerPixel;
  uint32_t value = 0;
  for (int i = 0; i < bytesPerPixel; ++i) value |= static_cast<uint32_t>(p[i]) << (8 * i);
  return bytesPerPixel == 4 ? (value & 0xFFFFFF) : value;
}

uint32_t pixelAt(const CaptureSurface& surface, int x, int y) {
  return pixelAt(surface.mainBits(), surface.width(), surface.height(), surface.bytesPerPixel(), x,
                 y);
}

BITMAPINFOHEADER connectedHeader(int width, int height, int bits) {
  BITMAPINFOHEADER header{};
  header.biSize = sizeof(header);
  header.biWidth = width;
  header.biHeight = height;
  header.biPlanes = 1;
  header.biBitCount = static_cast<WORD>(bits);
  header.biCompression = (bits == 16 || bits == 15) ? BI_BITFIELDS : BI_RGB;
  return header;
}

GrabTarget mainTarget(const CaptureSurface& surface, bool direct = false, bool capture = true) {
  return {surface.mainBitmap(), surface.mainBits(), direct, capture};
}

// Writes the surface's picture as a BMP file, for a look at what the grab saw.
bool saveBmp(const CaptureSurface& surface, const char* name) {
  const BITMAPINFO* info = surface.captureHeader();
  const DWORD headerBytes = sizeof(BITMAPINFOHEADER) +
                            (info->bmiHeader.biCompression == BI_BITFIELDS ? 3 * sizeof(DWORD) : 0);
  const DWORD imageBytes = info->bmiHeader.biSizeImage;
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof(file) + headerBytes;
  file.bfSize = file.bfOffBits + imageBytes;
  FILE* out = std::fopen(name, "wb");
  if (!out) return false;
  const bool written = std::fwrite(&file, sizeof(file), 1, out) == 1 &&
                       std::fwrite(info, headerBytes, 1, out) == 1 &&
                       std::fwrite(surface.mainBits(), imageBytes, 1, out) == 1;
  return std::fclose(out) == 0 && written;
}

// ---------------------------------------------------------------------------------------------

TEST(ScreenInfoTest, DescribesTheDesktop) {
  EXPECT_EQ(readScreenInfo(nullptr), E_POINTER);

  CaptureParams info;
  std::vector<ParamRect> uncovered{{1, 2, 3, 4}};
  ASSERT_EQ(readScreenInfo(&info, &uncovered), S_OK);
  const ParamRect screen = screenRect();
  EXPECT_EQ(info.size, sizeof(CaptureParams));
  EXPECT_EQ(info.sampletime, initialCaptureParams().sampletime);
  EXPECT_EQ(info.hwnd, windowToParam(::GetDesktopWindow()));
  EXPECT_EQ(info.rect, screen);
  EXPECT_EQ(info.area, screen);
  EXPECT_EQ(info.frameSize.cx, screen.width());
  EXPECT_EQ(info.frameSize.cy, screen.height());
  WindowDC dc(::GetDesktopWindow());
  EXPECT_EQ(info.screenBits, ::GetDeviceCaps(dc.get(), BITSPIXEL));
  // One monitor shows all of it.
  EXPECT_TRUE(uncovered.empty());
}

TEST(ScreenInfoTest, NormalisesTheDepth) {
  int bytes = 0;
  EXPECT_EQ(normaliseScreenBits(16, &bytes), 16);
  EXPECT_EQ(bytes, 2);
  EXPECT_EQ(normaliseScreenBits(15, &bytes), 15);
  EXPECT_EQ(bytes, 2);
  EXPECT_EQ(normaliseScreenBits(32, &bytes), 32);
  EXPECT_EQ(bytes, 4);
  EXPECT_EQ(normaliseScreenBits(24, &bytes), 24);
  EXPECT_EQ(bytes, 3);
  EXPECT_EQ(normaliseScreenBits(8, &bytes), 24);
  EXPECT_EQ(bytes, 3);
  EXPECT_EQ(normaliseScreenBits(0), 24);
}

TEST(WindowParamTest, HandlesRoundTripThroughTheirSignExtendedForm) {
  EXPECT_EQ(paramToWindow(kNoWindow), reinterpret_cast<HWND>(static_cast<intptr_t>(-1)));
  const HWND desktop = ::GetDesktopWindow();
  EXPECT_EQ(paramToWindow(windowToParam(desktop)), desktop);
}

// ---------------------------------------------------------------------------------------------

CaptureParams fixedArea(const ParamRect& rect, uint32_t extraFlags = 0) {
  CaptureParams params = initialCaptureParams();
  params.rect = rect;
  params.area = rect;
  params.flags |= extraFlags;
  return params;
}

TEST(AreaTrackerTest, ClipsAFixedAreaToTheDesktop) {
  ViewState view;
  {
    CaptureParams params = fixedArea({10, 20, 811, 621});
    ASSERT_EQ(trackArea(params, view), 0);
    const ParamRect expected{10, 20, 811, 621};
    EXPECT_EQ(params.rect, expected);
    EXPECT_EQ(params.area, expected);
    EXPECT_EQ(params.source, expected);
    EXPECT_EQ(params.pan.x, 10);
    EXPECT_EQ(params.pan.y, 20);
    // Align rounds 801x601 up to multiples of 4.
    EXPECT_EQ(params.frameSize.cx, 804);
    EXPECT_EQ(params.frameSize.cy, 604);
    EXPECT_EQ(view.window, kNoWindow);
    int bytes = 0;
    WindowDC dc(::GetDesktopWindow());
    EXPECT_EQ(params.screenBits, normaliseScreenBits(::GetDeviceCaps(dc.get(), BITSPIXEL), &bytes));
    EXPECT_EQ(params.screenBytes, bytes);
  }
  {
    // Partly off the desktop: the visible part.
    CaptureParams params = fixedArea({-50, -40, 150, 120});
    params.set(CaptureFlag::Align, false);
    ASSERT_EQ(trackArea(params, view), 0);
    EXPECT_EQ(params.area, (ParamRect{0, 0, 150, 120}));
    EXPECT_EQ(params.rect, (ParamRect{0, 0, 150, 120}));
    EXPECT_EQ(params.frameSize.cx, 150);
    EXPECT_EQ(params.frameSize.cy, 120);
  }
  {
    // Wholly left of the desktop: one pixel at its left edge.
    CaptureParams params = fixedArea({-500, 100, -100, 300});
    params.set(CaptureFlag::Align, false);
    ASSERT_EQ(trackArea(params, view), 0);
    EXPECT_EQ(params.area, (ParamRect{0, 0, 1, 1}));
    EXPECT_EQ(params.source, (ParamRect{0, 0, 1, 1}));
    EXPECT_EQ(params.pan.x, 0);
    EXPECT_EQ(params.pan.y, 0);
    EXPECT_EQ(params.frameSize.cx, 1);
    EXPECT_EQ(params.frameSize.cy, 1);
  }
}

TEST(AreaTrackerTest, FrameSizeFollowsOutputSizeAndAlign) {
  ViewState view;
  CaptureParams params =
      fixedArea({0, 0, 640, 480}, static_cast<uint32_t>(CaptureFlag::OutputSize));
  params.output = {321, 240};
  ASSERT_EQ(trackArea(params, view), 0);
  EXPECT_EQ(params.frameSize.cx, 324);
  EXPECT_EQ(params.frameSize.cy, 240);

  params.set(CaptureFlag::Align, false);
  ASSERT_EQ(trackArea(params, view), 0);
  EXPECT_EQ(params.frameSize.cx, 321);

  // Sizes below one pixel are raised to one (and aligned to four).
  params.output = {0, -5};
  params.set(CaptureFlag::Align, true);
  ASSERT_EQ(trackArea(params, view), 0);
  EXPECT_EQ(params.frameSize.cx, 4);
  EXPECT_EQ(params.frameSize.cy, 4);
}

TEST(AreaTrackerTest, TrackScreenTakesTheDesktop) {
  ViewState view;
  CaptureParams params = fixedArea({5, 5, 50, 50}, static_cast<uint32_t>(CaptureFlag::TrackScr));
  ASSERT_EQ(trackArea(params, view), 0);
  const ParamRect screen = screenRect();
  EXPECT_EQ(params.rect, screen);
  EXPECT_EQ(params.area, screen);
  EXPECT_EQ(params.source, screen);
  EXPECT_EQ(params.frameSize.cx, screen.width());
  EXPECT_EQ(params.frameSize.cy, screen.height());
}

// Moves the real pointer and tracks once; the pan point the view lands on.
ParamPoint followTo(CaptureParams& params, ViewState& view, int x, int y) {
  EXPECT_TRUE(::SetCursorPos(x, y));
  EXPECT_EQ(trackArea(params, view), 0);
  return params.pan;
}

TEST(AreaTrackerTest, MouseFollowingMovesTheViewJustEnoughAndStaysInTheArea) {
  POINT saved;
  ASSERT_TRUE(::GetCursorPos(&saved));
  CaptureParams params =
      fixedArea({100, 100, 900, 700}, static_cast<uint32_t>(CaptureFlag::TrackMouse));
  params.set(CaptureFlag::Align, false);
  ViewState view{kNoWindow, 320, 240, true};

  // Inside the view nothing moves; the view starts inside the area.
  EXPECT_EQ(followTo(params, view, 150, 150), (ParamPoint{100, 100}));
  EXPECT_EQ(followTo(params, view, 419, 339), (ParamPoint{100, 100}));
  // One pixel past the right and bottom edges: the overshoot (0) plus one.
  EXPECT_EQ(followTo(params, view, 420, 340), (ParamPoint{101, 101}));
  EXPECT_EQ(followTo(params, view, 430, 350), (ParamPoint{111, 111}));
  // Far past the area: the view stops at its right and bottom edges.
  EXPECT_EQ(followTo(params, view, 1000, 800), (ParamPoint{580, 460}));
  // Back left and up: the view's left and top edges come to the pointer.
  EXPECT_EQ(followTo(params, view, 700, 600), (ParamPoint{580, 460}));
  EXPECT_EQ(followTo(params, view, 500, 400), (ParamPoint{500, 400}));
  EXPECT_EQ(followTo(params, view, 20, 30), (ParamPoint{100, 100}));
  // The frame keeps the area's size; only the view pans.
  EXPECT_EQ(params.frameSize.cx, 800);
  EXPECT_EQ(params.source, (ParamRect{100, 100, 900, 700}));

  // Not connected and no override: the view is the frame itself, so it cannot pan.
  ViewState unconnected{kNoWindow, 0, 0, false};
  EXPECT_EQ(followTo(params, unconnected, 1000, 800), (ParamPoint{100, 100}));
  EXPECT_EQ(unconnected.width, 800);

  // Resizing shows the whole area, so the view does not follow.
  params.set(CaptureFlag::Resize, true);
  EXPECT_EQ(followTo(params, view, 1000, 800), (ParamPoint{100, 100}));
  params.set(CaptureFlag::Resize, false);

  // The first pass after the tracked window changed does not follow yet.
  view.window = 0x1234;
  EXPECT_EQ(followTo(params, view, 1000, 800), (ParamPoint{100, 100}));
  EXPECT_EQ(view.window, kNoWindow);
  EXPECT_EQ(followTo(params, view, 1000, 800), (ParamPoint{580, 460}));
  ::SetCursorPos(saved.x, saved.y);
}

TEST(AreaTrackerTest, WindowHandleRules) {
  ViewState view;
  {
    // A handle that is no window is dropped, and window tracking with it.
    CaptureParams params = fixedArea({0, 0, 64, 64}, static_cast<uint32_t>(CaptureFlag::TrackWnd));
    params.hwnd = 0x12345678;
    view.window = 0;
    ASSERT_EQ(trackArea(params, view), 0);
    EXPECT_EQ(params.hwnd, kNoWindow);
    EXPECT_FALSE(params.has(CaptureFlag::TrackWnd));
    EXPECT_EQ(view.window, kNoWindow);
  }
  {
    // A real window being tracked turns screen tracking off.
    CaptureParams params =
        fixedArea({0, 0, 64, 64}, static_cast<uint32_t>(CaptureFlag::TrackWnd) |
                                      static_cast<uint32_t>(CaptureFlag::TrackScr));
    params.hwnd = windowToParam(::GetDesktopWindow());
    ASSERT_EQ(trackArea(params, view), 0);
    EXPECT_TRUE(params.has(CaptureFlag::TrackWnd));
    EXPECT_FALSE(params.has(CaptureFlag::TrackScr));
    EXPECT_EQ(view.window, params.hwnd);
  }
}

// ---------------------------------------------------------------------------------------------

TEST(CaptureSurfaceTest, HeadersDescribeCaptureAndOutput) {
  CaptureParams params = initialCaptureParams();
  CaptureSurface surface;
  {
    const BITMAPINFOHEADER connected = connectedHeader(320, 240, 32);
    ASSERT_EQ(surface.build(connected, params), S_OK);
    EXPECT_TRUE(surface.direct);
    const BITMAPINFOHEADER& capture = surface.captureHeader()->bmiHeader;
    EXPECT_EQ(capture.biSize, sizeof(BITMAPINFOHEADER));
    EXPECT_EQ(capture.biWidth, 320);
    EXPECT_EQ(capture.biHeight, 240);
    EXPECT_EQ(capture.biPlanes, 1);
    EXPECT_EQ(capture.biBitCount, 32);
    EXPECT_EQ(capture.biCompression, static_cast<DWORD>(BI_RGB));
    EXPECT_EQ(capture.biSizeImage, 320u * 240 * 4);
    EXPECT_EQ(surface.stride(), 1280);
    EXPECT_EQ(surface.borderPixel(), kMagenta);
    EXPECT_NE(surface.mainBits(), nullptr);
    EXPECT_NE(surface.backup().bits, nullptr);
    EXPECT_NE(surface.backup().bits, surface.mainBits());
    EXPECT_EQ(::GetCurrentObject(surface.memoryDC(), OBJ_BITMAP), surface.mainBitmap());
  }
  {
    // Resize: the surface has the area's size, the output header the connected one; 24-bit
    // rows are padded to 4 bytes.
    params.set(CaptureFlag::Resize, true);
    params.area = {0, 0, 101, 51};
    ASSERT_EQ(surface.build(connectedHeader(320, 240, 24), params), S_OK);
    EXPECT_EQ(surface.width(), 101);
    EXPECT_EQ(surface.height(), 51);
    EXPECT_EQ(surface.stride(), 304);
    EXPECT_EQ(surface.captureHeader()->bmiHeader.biSizeImage, 304u * 51);
    const BITMAPINFOHEADER& output = surface.outputHeader()->bmiHeader;
    EXPECT_EQ(output.biWidth, 320);
    EXPECT_EQ(output.biHeight, 240);
    EXPECT_EQ(output.biBitCount, 24);
    EXPECT_EQ(output.biSizeImage, 960u * 240);
    params.set(CaptureFlag::Resize, false);
  }
  {
    ASSERT_EQ(surface.build(connectedHeader(33, 10, 16), params), S_OK);
    const BITMAPINFO* capture = surface.captureHeader();
    const auto* masks = reinterpret_cast<const DWORD*>(capture->bmiColors);
    EXPECT_EQ(capture->bmiHeader.biBitCount, 16);
    EXPECT_EQ(capture->bmiHeader.biCompression, static_cast<DWORD>(BI_BITFIELDS));
    EXPECT_EQ(masks[0], 0xF800u);
    EXPECT_EQ(masks[1], 0x07E0u);
    EXPECT_EQ(masks[2], 0x001Fu);
    EXPECT_EQ(capture->bmiHeader.biSizeImage, 68u * 10);
    EXPECT_EQ(surface.borderPixel(), 0xF81Fu);
    const auto* outputMasks = reinterpret_cast<const DWORD*>(surface.outputHeader()->bmiColors);
    EXPECT_EQ(outputMasks[1], 0x07E0u);
  }
  {
    // 555 is a 16-bit DIB with its own masks.
    ASSERT_EQ(surface.build(connectedHeader(32, 10, 15), params), S_OK);
    const BITMAPINFO* capture = surface.captureHeader();
    const auto* masks = reinterpret_cast<const DWORD*>(capture->bmiColors);
    EXPECT_EQ(surface.bitsPerPixel(), 15);
    EXPECT_EQ(surface.bytesPerPixel(), 2);
    EXPECT_EQ(capture->bmiHeader.biBitCount, 16);
    EXPECT_EQ(masks[0], 0x7C00u);
    EXPECT_EQ(masks[1], 0x03E0u);
    EXPECT_EQ(masks[2], 0x001Fu);
    EXPECT_EQ(surface.borderPixel(), 0x7C1Fu);
  }
}

TEST(CaptureSurfaceTest, ValidOnlyForItsOwnSizeAndWhileItExists) {
  CaptureParams params = initialCaptureParams();
  const BITMAPINFOHEADER connected = connectedHeader(64, 48, 32);
  CaptureSurface surface;
  EXPECT_FALSE(surface.valid(&connected, params)) << "nothing built yet";
  ASSERT_EQ(surface.build(connected, params), S_OK);
  EXPECT_TRUE(surface.valid(&connected, params));
  EXPECT_FALSE(surface.valid(nullptr, params));
  const BITMAPINFOHEADER wider = connectedHeader(68, 48, 32);
  EXPECT_FALSE(surface.valid(&wider, params));
  const BITMAPINFOHEADER deeper = connectedHeader(64, 48, 24);
  EXPECT_FALSE(surface.valid(&deeper, params));

  // With Resize the area decides.
  params.set(CaptureFlag::Resize, true);
  params.area = {0, 0, 64, 48};
  EXPECT_TRUE(surface.valid(&wider, params));
  params.area = {0, 0, 64, 49};
  EXPECT_FALSE(surface.valid(&connected, params));
  params.set(CaptureFlag::Resize, false);

  // A section taken out of its DC makes the surface unusable.
  {
    ScopedBitmap stranger(::CreateBitmap(1, 1, 1, 1, nullptr));
    ASSERT_TRUE(stranger);
    SelectObjectGuard other(surface.memoryDC(), stranger.get());
    ASSERT_TRUE(other.selected());
    EXPECT_FALSE(surface.valid(&connected, params));
  }
  EXPECT_TRUE(surface.valid(&connected, params));

  surface.free();
  EXPECT_FALSE(surface.valid(&connected, params));
  EXPECT_EQ(surface.width(), 0);
  EXPECT_EQ(surface.height(), 0);
  EXPECT_EQ(surface.bitsPerPixel(), 0);
  EXPECT_EQ(surface.mainBits(), nullptr);
  EXPECT_EQ(surface.backup().bits, nullptr);

  // Depths and sizes the grab cannot fill are refused.
  EXPECT_EQ(surface.build(connectedHeader(64, 48, 8), params), E_INVALIDARG);
  EXPECT_EQ(surface.build(connectedHeader(64, -48, 32), params), E_INVALIDARG);
  EXPECT_EQ(surface.build(connectedHeader(0, 48, 32), params), E_INVALIDARG);
  EXPECT_FALSE(surface.direct);
}

TEST(CaptureSurfaceTest, DibHolderHasOneOwner) {
  CaptureSurface surface;
  ASSERT_EQ(surface.build(connectedHeader(16, 16, 32), initialCaptureParams()), S_OK);
  DibHolder holder = std::move(surface.backup());
  EXPECT_EQ(surface.backup().bits, nullptr);
  EXPECT_FALSE(surface.backup().selectable());
  ASSERT_TRUE(holder.selectable());
  EXPECT_NE(holder.bits, nullptr);

  const HBITMAP section = holder.bitmap.get();
  BITMAP info;
  ASSERT_NE(::GetObjectW(section, sizeof(info), &info), 0);
  EXPECT_EQ(info.bmWidth, 16);
  holder.free();
  EXPECT_FALSE(holder.selectable());
  EXPECT_EQ(holder.bits, nullptr);
  EXPECT_EQ(::GetObjectW(section, sizeof(info), &info), 0) << "the section is deleted";
}

// ---------------------------------------------------------------------------------------------

const wchar_t kClassName[] = L"ZelkScreenTestPattern";

LRESULT CALLBACK patternProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  static std::vector<uint32_t> pattern;
  switch (message) {
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      if (pattern.empty()) {
        pattern.resize(kPatternWidth * kPatternHeight);
        for (int y = 0; y < kPatternHeight; ++y) {
          for (int x = 0; x < kPatternWidth; ++x) pattern[y * kPatternWidth + x] = patternRgb(x, y);
        }
      }
      BITMAPINFO info{};
      info.bmiHeader = connectedHeader(kPatternWidth, -kPatternHeight, 32);
      PAINTSTRUCT paint;
      const HDC dc = ::BeginPaint(window, &paint);
      ::StretchDIBits(dc, 0, 0, kPatternWidth, kPatternHeight, 0, 0, kPatternWidth, kPatternHeight,
                      pattern.data(), &info, DIB_RGB_COLORS, SRCCOPY);
      ::EndPaint(window, &paint);
      return 0;
    }
    default:
      return ::DefWindowProcW(window, message, wParam, lParam);
  }
}

HWND createPatternWindow(int x, int y, int width, int height, bool visible = true) {
  return ::CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, kClassName, L"pattern",
                           WS_POPUP | (visible ? WS_VISIBLE : 0), x, y, width, height, nullptr,
                           nullptr, ::GetModuleHandleW(nullptr), nullptr);
}

// One pattern window for the whole suite, moved between tests: under Wine a window that was
// shown takes about two seconds to leave the screen.
class ScreenGrabTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = patternProc;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = kClassName;
    registered_ = ::RegisterClassW(&windowClass) != 0;
    if (registered_) window_ = createPatternWindow(300, 200, kPatternWidth, kPatternHeight);
    origin_ = {300, 200};
  }

  static void TearDownTestSuite() {
    if (window_) ::DestroyWindow(window_);
    window_ = nullptr;
    pumpMessages();
    if (registered_) ::UnregisterClassW(kClassName, ::GetModuleHandleW(nullptr));
    registered_ = false;
  }

  void SetUp() override {
    ASSERT_TRUE(registered_);
    ASSERT_NE(window_, nullptr);
  }

  // Puts the window's top-left at (x, y) and waits until the screen shows it there.
  static void moveWindow(int x, int y) {
    ::SetWindowPos(window_, HWND_TOPMOST, x, y, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
    ::InvalidateRect(window_, nullptr, FALSE);
    ::UpdateWindow(window_);
    origin_ = {x, y};
    ASSERT_TRUE(waitForPattern()) << "the screen never showed the pattern at " << x << "," << y;
  }

  // Reads the screen at the visible corners of the pattern until they match.
  static bool waitForPattern() {
    const ParamRect screen = screenRect();
    const int left = std::max(0, screen.left - origin_.x);
    const int top = std::max(0, screen.top - origin_.y);
    const int probes[][2] = {{left, top},
                             {kPatternWidth - 1, top},
                             {left, kPatternHeight - 1},
                             {kPatternWidth - 1, kPatternHeight - 1},
                             {kPatternWidth / 2, kPatternHeight / 2}};
    WindowDC dc(nullptr);
    const DWORD start = ::GetTickCount();
    while (::GetTickCount() - start < kWaitMs) {
      pumpMessages();
      bool shown = true;
      for (const auto& probe : probes) {
        const COLORREF seen = ::GetPixel(dc.get(), origin_.x + probe[0], origin_.y + probe[1]);
        const uint32_t rgb = patternRgb(probe[0], probe[1]);
        shown = shown && seen == RGB(rgb >> 16, (rgb >> 8) & 0xFF, rgb & 0xFF);
      }
      if (shown) return true;
      ::Sleep(20);
    }
    return false;
  }

  // Expects the pattern in the picture at `offset`, clipped to `visible` (pattern coordinates),
  // and the border pixel everywhere else if `border` is set.
  template <class Convert>
  static void expectPatternAt(const CaptureSurface& surface, int offsetX, int offsetY,
                              const ParamRect& visible, bool border, Convert convert) {
    int mismatches = 0;
    for (int y = 0; y < surface.height() && mismatches < 5; ++y) {
      for (int x = 0; x < surface.width() && mismatches < 5; ++x) {
        const int px = x - offsetX;
        const int py = y - offsetY;
        const bool inPattern =
            px >= visible.left && px < visible.right && py >= visible.top && py < visible.bottom;
        const uint32_t seen = pixelAt(surface, x, y);
        if (inPattern) {
          if (seen != convert(patternRgb(px, py))) {
            ADD_FAILURE() << "pattern pixel " << x << "," << y << ": " << std::hex << seen;
            ++mismatches;
          }
        } else if (border && seen != surface.borderPixel()) {
          ADD_FAILURE() << "border pixel " << x << "," << y << ": " << std::hex << seen;
          ++mismatches;
        }
      }
    }
  }

  // The geometry of an area reaching past the desktop's top-left corner: the frame starts
  // off-screen at (-50, -40), only the on-screen part is copied.
  static CaptureParams pastTopLeft() {
    CaptureParams params = initialCaptureParams();
    params.rect = params.area = {-50, -40, 150, 120};
    params.source = {0, 0, 150, 120};
    params.pan = {-50, -40};
    return params;
  }

  static inline bool registered_ = false;
  static inline HWND window_ = nullptr;
  static inline ParamPoint origin_{0, 0};
};

TEST_F(ScreenGrabTest, PatternArrivesAtItsOffset) {
  moveWindow(300, 200);
  for (bool layered : {false, true}) {
    SCOPED_TRACE(layered ? "CAPTUREBLT" : "SRCCOPY");
    CaptureParams params = initialCaptureParams();
    params.rect = params.area = {250, 150, 570, 390};
    params.set(CaptureFlag::CapLayered, layered);
    ViewState view;
    ASSERT_EQ(trackArea(params, view), 0);
    ASSERT_EQ(params.frameSize.cx, 320);
    ASSERT_EQ(params.frameSize.cy, 240);

    CaptureSurface surface;
    ASSERT_EQ(surface.build(connectedHeader(320, 240, 32), params), S_OK);
    std::fill_n(surface.mainBits(), surface.captureHeader()->bmiHeader.biSizeImage, 0);
    ASSERT_EQ(grabFrame(surface, params, mainTarget(surface)), S_OK);
    expectPatternAt(surface, 50, 50, {0, 0, kPatternWidth, kPatternHeight}, false,
                    [](uint32_t rgb) { return rgb; });
    // The copy covers the whole frame: no border anywhere.
    EXPECT_NE(pixelAt(surface, 0, 0), kMagenta);
    EXPECT_NE(pixelAt(surface, 319, 239), kMagenta);
  }
}

TEST_F(ScreenGrabTest, AreaPastTheDesktopEdgeGetsTheBorder) {
  moveWindow(0, 0);
  const CaptureParams params = pastTopLeft();
  // 150x120 of the pattern is on screen inside the area.
  const ParamRect visible{0, 0, 150, 120};
  {
    CaptureSurface surface;
    ASSERT_EQ(surface.build(connectedHeader(200, 160, 32), params), S_OK);
    ASSERT_EQ(grabFrame(surface, params, mainTarget(surface)), S_OK);
    expectPatternAt(surface, 50, 40, visible, true, [](uint32_t rgb) { return rgb; });
    EXPECT_TRUE(saveBmp(surface, "screen_grab_frame.bmp"));
  }
  {
    CaptureSurface surface;
    ASSERT_EQ(surface.build(connectedHeader(200, 160, 16), params), S_OK);
    ASSERT_EQ(grabFrame(surface, params, mainTarget(surface)), S_OK);
    EXPECT_EQ(pixelAt(surface, 0, 0), 0xF81Fu);
    expectPatternAt(surface, 50, 40, visible, true, rgbTo565);
  }
  {
    CaptureSurface surface;
    ASSERT_EQ(surface.build(connectedHeader(200, 160, 15), params), S_OK);
    ASSERT_EQ(grabFrame(surface, params, mainTarget(surface)), S_OK);
    EXPECT_EQ(pixelAt(surface, 0, 0), 0x7C1Fu);
    expectPatternAt(surface, 50, 40, visible, true, rgbTo555);
  }
}

TEST_F(ScreenGrabTest, SourceBeforeThePanPointIsSkipped) {
  moveWindow(300, 200);
  // The frame starts at the pan point (the window's corner), inside the source rectangle: the
  // copy starts there too, and what the source lacks at the right and bottom is border.
  CaptureParams params = initialCaptureParams();
  params.rect = params.area = {300, 200, 620, 440};
  params.source = {250, 150, 570, 390};
  params.pan = {300, 200};
  CaptureSurface surface;
  ASSERT_EQ(surface.build(connectedHeader(320, 240, 32), params), S_OK);
  ASSERT_EQ(grabFrame(surface, params, mainTarget(surface)), S_OK);
  expectPatternAt(surface, 0, 0, {0, 0, kPatternWidth, kPatternHeight}, false,
                  [](uint32_t rgb) { return rgb; });
  EXPECT_NE(pixelAt(surface, 269, 189), kMagenta);
  EXPECT_EQ(pixelAt(surface, 270, 100), kMagenta);
  EXPECT_EQ(pixelAt(surface, 100, 190), kMagenta);
  EXPECT_EQ(pixelAt(surface, 319, 239), kMagenta);
}

TEST_F(ScreenGrabTest, GrabsIntoAnotherSectionAndRestoresTheMainBitmap) {
  moveWindow(300, 200);
  CaptureParams params = initialCaptureParams();
  params.rect = params.area = {300, 200, 364, 248};
  ViewState view;
  ASSERT_EQ(trackArea(params, view), 0);
  CaptureSurface surface;
  ASSERT_EQ(surface.build(connectedHeader(64, 48, 24), params), S_OK);

  void* bits = nullptr;
  ScopedBitmap sample(
      ::CreateDIBSection(nullptr, surface.captureHeader(), DIB_RGB_COLORS, &bits, nullptr, 0));
  ASSERT_TRUE(sample);
  ASSERT_EQ(grabFrame(surface, params, {sample.get(), static_cast<uint8_t*>(bits), true, false}),
            S_OK);
  EXPECT_EQ(::GetCurrentObject(surface.memoryDC(), OBJ_BITMAP), surface.mainBitmap());
  for (int y : {0, 47}) {
    for (int x : {0, 63}) {
      EXPECT_EQ(pixelAt(static_cast<uint8_t*>(bits), 64, 48, 3, x, y), patternRgb(x, y))
          << x << "," << y;
    }
  }
}

TEST_F(ScreenGrabTest, NothingToCopyFillsTheWholeTargetOnlyWhenItIsUsed) {
  CaptureParams params = initialCaptureParams();
  params.area = {0, 0, 10, 10};
  params.source = {0, 0, 10, 10};
  params.pan = {500, 500};  // the source lies wholly left of and above the picture
  CaptureSurface surface;
  ASSERT_EQ(surface.build(connectedHeader(10, 10, 32), params), S_OK);
  const size_t bytes = surface.captureHeader()->bmiHeader.biSizeImage;

  std::fill_n(surface.mainBits(), bytes, 0);
  ASSERT_EQ(grabFrame(surface, params, mainTarget(surface, false, false)), S_OK);
  EXPECT_EQ(pixelAt(surface, 5, 5), 0u) << "neither direct nor captured: left alone";
  ASSERT_EQ(grabFrame(surface, params, mainTarget(surface, true, false)), S_OK);
  expectPatternAt(surface, 0, 0, {0, 0, 0, 0}, true, [](uint32_t rgb) { return rgb; });

  // With something to copy, a frame neither direct nor captured is not touched either.
  params.source = {0, 0, 10, 10};
  params.pan = {0, 0};
  std::fill_n(surface.mainBits(), bytes, 0);
  ASSERT_EQ(grabFrame(surface, params, mainTarget(surface, false, false)), S_OK);
  EXPECT_EQ(pixelAt(surface, 5, 5), 0u);
}

TEST_F(ScreenGrabTest, TrackedWindowMinimisedOrGoneGivesABorderFrame) {
  // A window of its own, so the suite's pattern window stays on screen. It goes straight to
  // the minimised state: minimising a window Wine has already mapped waits about two seconds.
  const HWND tracked = createPatternWindow(700, 500, 40, 30, false);
  ASSERT_NE(tracked, nullptr);
  pumpMessages();
  CaptureParams params = initialCaptureParams();
  params.hwnd = windowToParam(tracked);
  params.set(CaptureFlag::TrackWnd, true);
  params.rect = params.area = params.source = {0, 0, 40, 30};
  CaptureSurface surface;
  ASSERT_EQ(surface.build(connectedHeader(40, 30, 32), params), S_OK);
  const size_t bytes = surface.captureHeader()->bmiHeader.biSizeImage;

  ::ShowWindow(tracked, SW_SHOWMINNOACTIVE);
  pumpMessages();
  ASSERT_TRUE(::IsIconic(tracked));
  std::fill_n(surface.mainBits(), bytes, 0);
  ASSERT_EQ(grabFrame(surface, params, mainTarget(surface)), S_OK);
  expectPatternAt(surface, 0, 0, {0, 0, 0, 0}, true, [](uint32_t rgb) { return rgb; });

  ASSERT_TRUE(::DestroyWindow(tracked));
  pumpMessages();
  std::fill_n(surface.mainBits(), bytes, 0);
  ASSERT_EQ(grabFrame(surface, params, mainTarget(surface)), S_OK);
  expectPatternAt(surface, 0, 0, {0, 0, 0, 0}, true, [](uint32_t rgb) { return rgb; });
}

TEST_F(ScreenGrabTest, HooksSeeTheFrameAndThePointerSteps) {
  CaptureParams params = pastTopLeft();
  CaptureSurface surface;
  ASSERT_EQ(surface.build(connectedHeader(200, 160, 32), params), S_OK);

  int hidden = 0, snapshots = 0, draws = 0;
  std::vector<ParamRect> shown;
  HDC drawnInto = nullptr;
  GrabHooks hooks;
  hooks.hideFrame = [&] { ++hidden; };
  hooks.showFrame = [&](const ParamRect& r) { shown.push_back(r); };
  hooks.snapshotPointer = [&] { ++snapshots; };
  hooks.drawPointer = [&](HDC dc) {
    ++draws;
    drawnInto = dc;
  };

  ASSERT_EQ(grabFrame(surface, params, mainTarget(surface, false, true), hooks), S_OK);
  ASSERT_EQ(shown.size(), 1u);
  // Picture (50, 40)-(200, 160) moved by the pan: the on-screen part of the area.
  EXPECT_EQ(shown[0], (ParamRect{0, 0, 150, 120}));
  EXPECT_EQ(snapshots, 1);
  EXPECT_EQ(draws, 0) << "the pointer is drawn into the memory DC only in direct mode";

  ASSERT_EQ(grabFrame(surface, params, mainTarget(surface, true, false), hooks), S_OK);
  EXPECT_EQ(draws, 1);
  EXPECT_EQ(drawnInto, surface.memoryDC());

  params.pan = {500, 500};
  ASSERT_EQ(grabFrame(surface, params, mainTarget(surface, true, false), hooks), S_OK);
  EXPECT_EQ(hidden, 1);
  EXPECT_EQ(shown.size(), 2u) << "a frame with nothing to copy is not shown";
  EXPECT_EQ(snapshots, 2);
}

}  // namespace
