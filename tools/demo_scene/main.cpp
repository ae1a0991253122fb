// demo_scene: a window of our own to record. Animated, it shows scrolling colour bars, a
// bouncing box and a frame counter, and drifts slowly inside the central 800 x 600 of the
// desktop (what the capture filter records by default). With --static X Y W H it paints four
// solid quadrants (red, green / blue, white) at a fixed place, for tests that check recorded
// pixels; --move X Y MS moves it once, for tests of window following. It ends on WM_CLOSE or
// after --seconds N (default 60), so it never outlives a run.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "common/win_raii.h"

namespace {

constexpr int kCaptureWidth = 800;
constexpr int kCaptureHeight = 600;
constexpr int kSceneWidth = 480;
constexpr int kSceneHeight = 360;
constexpr UINT kFrameTimer = 1;
constexpr UINT kExitTimer = 2;
constexpr UINT kReadyTimer = 3;
constexpr UINT kMoveTimer = 4;
constexpr UINT kReadyPollMs = 50;
constexpr int kReadyLimitMs = 5000;
constexpr UINT kFrameMs = 33;
constexpr int kBoxSize = 64;

struct SceneOptions {
  bool isStatic = false;
  RECT placement = {};
  double seconds = 60;
  bool moves = false;  // --move: jump to `moveTo` after `moveAfterMs`
  POINT moveTo = {};
  long moveAfterMs = 0;
};

struct Scene {
  SceneOptions options;
  RECT bounds = {};  // where the animated window may drift, screen coordinates
  POINT position = {};
  POINT drift = {1, 1};
  POINT box = {20, 90};
  POINT boxStep = {5, 3};
  long frame = 0;
  int readyWaitedMs = 0;
  RECT placement = {};
  UniqueResource<raii_traits::GdiObject<HFONT>> font;
};

Scene g_scene;

const wchar_t kUsage[] =
    L"usage: demo_scene [--static X Y W H] [--move X Y MS] [--seconds N]\n"
    L"  --static X Y W H  paint red, green, blue and white quadrants at X,Y, size W x H\n"
    L"  --move X Y MS     move the window to X,Y MS milliseconds after it is ready\n"
    L"  --seconds N       close after N seconds (default 60)\n";

bool parseInt(const wchar_t* text, long* value) {
  wchar_t* end = nullptr;
  *value = std::wcstol(text, &end, 10);
  return *text && end && *end == L'\0';
}

// Answers an error text, or nothing when the arguments are good.
std::wstring parseArguments(const std::vector<std::wstring>& args, SceneOptions* options) {
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == L"--static") {
      if (i + 4 >= args.size()) return L"--static needs X Y W H";
      long values[4];
      for (int k = 0; k < 4; ++k) {
        if (!parseInt(args[i + 1 + k].c_str(), &values[k])) {
          return L"--static: '" + args[i + 1 + k] + L"' is not a whole number";
        }
      }
      if (values[2] < 2 || values[3] < 2) return L"--static: W and H must be at least 2";
      options->isStatic = true;
      options->placement = {values[0], values[1], values[0] + values[2], values[1] + values[3]};
      i += 4;
    } else if (args[i] == L"--move") {
      long values[3];
      for (int k = 0; k < 3; ++k) {
        if (i + 1 + k >= args.size() || !parseInt(args[i + 1 + k].c_str(), &values[k])) {
          return L"--move needs X Y MS, whole numbers";
        }
      }
      if (values[2] < 1) return L"--move: MS must be at least 1";
      options->moves = true;
      options->moveTo = {values[0], values[1]};
      options->moveAfterMs = values[2];
      i += 3;
    } else if (args[i] == L"--seconds") {
      long seconds = 0;
      if (i + 1 >= args.size() || !parseInt(args[i + 1].c_str(), &seconds) || seconds < 1 ||
          seconds > 24 * 60 * 60) {
        return L"--seconds needs a whole number of seconds from 1 to 86400";
      }
      options->seconds = seconds;
      ++i;
    } else {
      return L"unknown argument '" + args[i] + L"'";
    }
  }
  return {};
}

void fill(HDC dc, const RECT& rect, COLORREF colour) {
  UniqueGdiBrush brush(::CreateSolidBrush(colour));
  ::FillRect(dc, &rect, brush.get());
}

void paintStatic(HDC dc, int width, int height) {
  const int midX = width / 2;
  const int midY = height / 2;
  fill(dc, {0, 0, midX, midY}, RGB(255, 0, 0));
  fill(dc, {midX, 0, width, midY}, RGB(0, 255, 0));
  fill(dc, {0, midY, midX, height}, RGB(0, 0, 255));
  fill(dc, {midX, midY, width, height}, RGB(255, 255, 255));
}

void paintAnimated(HDC dc, int width, int height) {
  static const COLORREF kBars[] = {RGB(235, 235, 235), RGB(235, 235, 16), RGB(16, 235, 235),
                                   RGB(16, 235, 16),   RGB(235, 16, 235), RGB(235, 16, 16),
                                   RGB(16, 16, 235),   RGB(16, 16, 16)};
  const int count = ARRAYSIZE(kBars);
  const int barWidth = (width + count - 1) / count;
  const int shift = static_cast<int>((g_scene.frame * 3) % (barWidth * count));
  // One bar more than fits, so the scrolled-in edge is covered too.
  for (int i = -1; i < count; ++i) {
    const int left = i * barWidth + shift % barWidth;
    const int colour = ((i - shift / barWidth) % count + count) % count;
    fill(dc, {left, 0, left + barWidth, height}, kBars[colour]);
  }

  const RECT box = {g_scene.box.x, g_scene.box.y, g_scene.box.x + kBoxSize,
                    g_scene.box.y + kBoxSize};
  fill(dc, box, RGB(0, 0, 0));
  const RECT inner = {box.left + 6, box.top + 6, box.right - 6, box.bottom - 6};
  fill(dc, inner, RGB(255, 140, 0));

  wchar_t text[32];
  const int length = std::swprintf(text, ARRAYSIZE(text), L"frame %ld", g_scene.frame);
  SelectObjectGuard font(dc, g_scene.font.get());
  ::SetBkColor(dc, RGB(255, 255, 255));
  ::SetTextColor(dc, RGB(0, 0, 0));
  ::SetBkMode(dc, OPAQUE);
  ::TextOutW(dc, 12, 12, text, length);
}

// Painted off-screen first, so the recording never sees a half-drawn frame.
void paint(HWND window) {
  PAINTSTRUCT ps;
  HDC dc = ::BeginPaint(window, &ps);
  RECT client;
  ::GetClientRect(window, &client);
  UniqueMemoryDC memory(::CreateCompatibleDC(dc));
  ScopedBitmap bitmap(::CreateCompatibleBitmap(dc, client.right, client.bottom));
  {
    SelectObjectGuard selected(memory.get(), bitmap.get());
    if (g_scene.options.isStatic) {
      paintStatic(memory.get(), client.right, client.bottom);
    } else {
      paintAnimated(memory.get(), client.right, client.bottom);
    }
    ::BitBlt(dc, 0, 0, client.right, client.bottom, memory.get(), 0, 0, SRCCOPY);
  }
  ::EndPaint(window, &ps);
}

void bounce(LONG* value, LONG* step, LONG low, LONG high) {
  *value += *step;
  if (*value < low || *value > high) {
    *step = -*step;
    *value += 2 * *step;
  }
}

void advance(HWND window) {
  ++g_scene.frame;
  bounce(&g_scene.box.x, &g_scene.boxStep.x, 0, kSceneWidth - kBoxSize);
  bounce(&g_scene.box.y, &g_scene.boxStep.y, 60, kSceneHeight - kBoxSize);
  // The window moves one pixel every other frame: slow enough to read, visible in a recording.
  if (g_scene.frame % 2 == 0) {
    bounce(&g_scene.position.x, &g_scene.drift.x, g_scene.bounds.left,
           g_scene.bounds.right - kSceneWidth);
    bounce(&g_scene.position.y, &g_scene.drift.y, g_scene.bounds.top,
           g_scene.bounds.bottom - kSceneHeight);
    ::SetWindowPos(window, nullptr, g_scene.position.x, g_scene.position.y, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  ::InvalidateRect(window, nullptr, FALSE);
}

// Scripts wait for the ready line before they record, so it comes once the screen shows the
// scene (checked at the first quadrant's centre; the animated scene only needs to be mapped).
// The check runs from a timer: Wine maps and exposes the window while messages are pumped.
void reportWhenShown(HWND window) {
  const RECT& at = g_scene.placement;
  bool shown = !g_scene.options.isStatic;
  if (!shown) {
    WindowDC screen(nullptr);
    const int x = at.left + (at.right - at.left) / 4;
    const int y = at.top + (at.bottom - at.top) / 4;
    shown = screen && ::GetPixel(screen.get(), x, y) == RGB(255, 0, 0);
  }
  g_scene.readyWaitedMs += kReadyPollMs;
  if (!shown && g_scene.readyWaitedMs < kReadyLimitMs) return;
  ::KillTimer(window, kReadyTimer);
  if (g_scene.options.moves) {
    ::SetTimer(window, kMoveTimer, static_cast<UINT>(g_scene.options.moveAfterMs), nullptr);
  }
  std::printf("demo_scene: %s, %s at %ld,%ld size %ldx%ld\n",
              shown ? "ready" : "ready, but the screen does not show it",
              g_scene.options.isStatic ? "static" : "animated", at.left, at.top, at.right - at.left,
              at.bottom - at.top);
  std::fflush(stdout);
}

// Tests of window following move the window while a recording runs.
void moveOnce(HWND window) {
  ::KillTimer(window, kMoveTimer);
  const POINT& to = g_scene.options.moveTo;
  ::SetWindowPos(window, nullptr, to.x, to.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  RECT at = {};
  ::GetWindowRect(window, &at);
  std::printf("demo_scene: moved to %ld,%ld\n", at.left, at.top);
  std::fflush(stdout);
}

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT:
      paint(window);
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_TIMER:
      if (wParam == kFrameTimer) advance(window);
      if (wParam == kExitTimer) ::DestroyWindow(window);
      if (wParam == kReadyTimer) reportWhenShown(window);
      if (wParam == kMoveTimer) moveOnce(window);
      return 0;
    case WM_DESTROY:
      ::PostQuitMessage(0);
      return 0;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

RECT centralArea() {
  const int width = ::GetSystemMetrics(SM_CXSCREEN);
  const int height = ::GetSystemMetrics(SM_CYSCREEN);
  const LONG left = (width - kCaptureWidth) / 2;
  const LONG top = (height - kCaptureHeight) / 2;
  return {left, top, left + kCaptureWidth, top + kCaptureHeight};
}

std::vector<std::wstring> arguments() {
  int count = 0;
  wchar_t** args = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  std::vector<std::wstring> result;
  if (!args) return result;
  for (int i = 1; i < count; ++i) result.emplace_back(args[i]);
  ::LocalFree(args);
  return result;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  const std::vector<std::wstring> args = arguments();
  for (const std::wstring& arg : args) {
    if (arg == L"--help" || arg == L"-h") {
      std::fputws(kUsage, stdout);
      return 0;
    }
  }
  const std::wstring error = parseArguments(args, &g_scene.options);
  if (!error.empty()) {
    std::fwprintf(stderr, L"demo_scene: %ls\n%ls", error.c_str(), kUsage);
    return 2;
  }

  RECT placement = g_scene.options.placement;
  if (!g_scene.options.isStatic) {
    g_scene.bounds = centralArea();
    g_scene.position = {g_scene.bounds.left + 40, g_scene.bounds.top + 30};
    placement = {g_scene.position.x, g_scene.position.y, g_scene.position.x + kSceneWidth,
                 g_scene.position.y + kSceneHeight};
    g_scene.font.reset(::CreateFontW(40, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                     DEFAULT_PITCH | FF_SWISS, L"Tahoma"));
  }

  WNDCLASSEXW windowClass = {sizeof windowClass};
  windowClass.lpfnWndProc = windowProc;
  windowClass.hInstance = instance;
  // A class cursor, so the pointer over the scene is a real one for the capture to draw.
  windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  windowClass.lpszClassName = L"ZelkDemoScene";
  if (!::RegisterClassExW(&windowClass)) return 1;

  // A popup without frame: its client area is exactly the placement, which the tests rely on.
  HWND window = ::CreateWindowExW(
      WS_EX_TOPMOST | WS_EX_TOOLWINDOW, windowClass.lpszClassName, L"Zelkgrab demo scene", WS_POPUP,
      placement.left, placement.top, placement.right - placement.left,
      placement.bottom - placement.top, nullptr, nullptr, instance, nullptr);
  if (!window) return 1;
  ::ShowWindow(window, SW_SHOWNOACTIVATE);
  ::UpdateWindow(window);
  ::GdiFlush();
  if (!g_scene.options.isStatic) ::SetTimer(window, kFrameTimer, kFrameMs, nullptr);
  ::SetTimer(window, kExitTimer, static_cast<UINT>(g_scene.options.seconds * 1000), nullptr);
  g_scene.placement = placement;
  ::SetTimer(window, kReadyTimer, kReadyPollMs, nullptr);

  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  return 0;
}
