// The pointer in captured frames, with real windows and the real pointer and buttons of the
// virtual display: the cursor's hotspot lands on the pointer in direct, buffered and resized
// frames; a hidden pointer is not drawn; a held left or right button inverts it and the middle
// one does not; the capture surface never keeps the pointer; a tracked window clips a pointer
// beside it.
#include <windows.h>
#include <dshow.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "capture/capture_filter.h"
#include "capture/capture_pin.h"
#include "capture/capture_surface.h"
#include "capture/pointer_overlay.h"
#include "capture/screen_grab.h"
#include "common/win_raii.h"
#include "cursor_scene.h"
#include "graph_support.h"
#include "x_pointer.h"

using Microsoft::WRL::ComPtr;
using namespace graph_support;
using pointer_test::CursorScene;
using x_pointer::Button;

namespace {

constexpr DWORD kWaitMs = 5000;

// Three panes side by side, none overlapping another, so that clicks, which raise the pane
// under the pointer, change nothing on the screen.
constexpr COLORREF kBackdrop = RGB(40, 90, 160);
constexpr COLORREF kTracked = RGB(200, 160, 40);
constexpr COLORREF kBeside = RGB(90, 40, 120);
constexpr RECT kBackdropBounds = {600, 100, 1400, 800};
constexpr RECT kTrackedBounds = {200, 300, 500, 500};
constexpr RECT kBesideBounds = {0, 250, 200, 550};
// Captured areas over the backdrop alone.
constexpr ParamRect kArea = {700, 200, 1020, 440};
// Scaled up to 641 x 481 in nearest mode: source column s lands on columns 2s - 1 and 2s, and
// source row t (rows are stored bottom-up, which turns the rounding round) on rows 2t and 2t + 1.
constexpr ParamRect kResizedArea = {700, 200, 1021, 441};
constexpr ParamSize kResizedOutput = {641, 481};

void forgetSavedSettings() {
  ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\MorvainLabs\\Zelkgrab");
  ::RegDeleteTreeW(HKEY_CURRENT_USER, L"SOFTWARE\\MorvainLabs\\Zelkgrab");
}

// A picture of bottom-up rows of 32-bit BGRX pixels.
struct Frame {
  std::vector<BYTE> data;
  int width = 0;
  int height = 0;

  COLORREF at(int x, int y) const {
    if (x < 0 || y < 0 || x >= width || y >= height) return CLR_INVALID;
    const size_t offset = (static_cast<size_t>(height - 1 - y) * width + x) * 4;
    if (offset + 4 > data.size()) return CLR_INVALID;
    const BYTE* pixel = &data[offset];
    return RGB(pixel[2], pixel[1], pixel[0]);
  }

  int pixelsUnlike(COLORREF colour) const {
    int count = 0;
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) count += at(x, y) != colour ? 1 : 0;
    }
    return count;
  }
};

Frame surfacePicture(const CaptureSurface& surface) {
  const uint8_t* bits = surface.mainBits();
  return {std::vector<BYTE>(bits, bits + static_cast<size_t>(surface.stride()) * surface.height()),
          surface.width(), surface.height()};
}

// The scene's cursor with its hotspot at `at`, in its own colours or inverted, on
// `background`, and nothing else of it in the frame.
void expectCursorAt(const Frame& frame, POINT at, COLORREF background, bool inverted) {
  const COLORREF onHotspot = inverted ? CursorScene::kBesideHotspot : CursorScene::kOnHotspot;
  const COLORREF beside = inverted ? CursorScene::kOnHotspot : CursorScene::kBesideHotspot;
  EXPECT_EQ(frame.at(at.x, at.y), onHotspot);
  EXPECT_EQ(frame.at(at.x + 1, at.y), beside);
  EXPECT_EQ(frame.at(at.x, at.y + 1), beside);
  EXPECT_EQ(frame.at(at.x - 1, at.y), background);
  EXPECT_EQ(frame.at(at.x, at.y - 1), background);
  EXPECT_EQ(frame.at(at.x + 1, at.y + 1), background);
  EXPECT_EQ(frame.pixelsUnlike(background), 3);
}

POINT offset(POINT point, int dx, int dy) { return {point.x + dx, point.y + dy}; }

// Exactly these flags on: the built-in settings switch on several that would get in the way.
// Without HideMouse among them the pointer is shown.
uint32_t only(std::initializer_list<CaptureFlag> flags) {
  uint32_t bits = 0;
  for (CaptureFlag flag : flags) bits |= static_cast<uint32_t>(flag);
  return bits;
}

class PointerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ::GetCursorPos(&originalPointer_);
    scene_ = new CursorScene(
        {{kBackdropBounds, kBackdrop}, {kTrackedBounds, kTracked}, {kBesideBounds, kBeside}});
  }

  static void TearDownTestSuite() {
    delete scene_;
    scene_ = nullptr;
    // Later tests capture the screen with the pointer where they found it.
    x_pointer::moveTo(originalPointer_);
  }

  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(apartment_.result()));
    ASSERT_TRUE(scene_->shown());
    WindowDC screen(nullptr);
    ASSERT_EQ(::GetDeviceCaps(screen.get(), BITSPIXEL), 32) << "the checks read 32-bit pixels";
    forgetSavedSettings();
    HRESULT hr = S_OK;
    filter_ = static_cast<CaptureFilter*>(CaptureFilter::create(nullptr, &hr));
    ASSERT_EQ(hr, S_OK);
    ASSERT_TRUE(filter_);
    pin_ = filter_->pin();
  }

  void TearDown() override {
    if (control_) control_->Stop();
    control_.Reset();
    graph_.Reset();
    grabber_.Reset();
    renderer_.Reset();
    recorder_.Reset();
    pin_ = nullptr;
    filter_.Reset();
    forgetSavedSettings();
  }

  // The pointer at `position` over the scene, showing the scene's cursor.
  void pointAt(POINT position) {
    POINT now;
    // The cursor is set on a move, so there has to be one.
    if (::GetCursorPos(&now) && now.x == position.x && now.y == position.y) {
      ASSERT_TRUE(x_pointer::moveTo(offset(position, 1, 0)));
    }
    ASSERT_TRUE(x_pointer::moveTo(position));
    const ULONGLONG deadline = ::GetTickCount64() + kWaitMs;
    CURSORINFO info = {sizeof(info)};
    while (!(::GetCursorInfo(&info) && info.hCursor == scene_->cursor() &&
             info.ptScreenPos.x == position.x && info.ptScreenPos.y == position.y)) {
      ASSERT_LT(::GetTickCount64(), deadline) << "the scene's cursor did not come";
      ::Sleep(10);
      info.cbSize = sizeof(info);
    }
  }

  // Capture -> Sample Grabber (recording) -> Null Renderer, running with `change` applied
  // to the parameters first; the chain is built on the first call and reused.
  void startCapture(const std::function<void(CaptureParams&)>& change) {
    filter_->settings().change(change);
    if (!graph_) {
      ASSERT_EQ(::CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_PPV_ARGS(&graph_)),
                S_OK);
      ASSERT_EQ(graph_.As(&control_), S_OK);
      recorder_ = new SampleRecorder();
      grabber_ = makeSampleGrabber(recorder_.Get(), MEDIATYPE_Video, GUID_NULL);
      ASSERT_TRUE(grabber_);
      ASSERT_EQ(::CoCreateInstance(kNullRenderer, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_PPV_ARGS(&renderer_)),
                S_OK);
      ASSERT_EQ(graph_->AddFilter(filter_.Get(), L"capture"), S_OK);
      ASSERT_EQ(graph_->AddFilter(grabber_.Get(), L"grabber"), S_OK);
      ASSERT_EQ(graph_->AddFilter(renderer_.Get(), L"renderer"), S_OK);
      ASSERT_EQ(UseBaseReferenceClock(graph_.Get()), S_OK);
      ASSERT_EQ(graph_->ConnectDirect(findPin(filter_.Get(), PINDIR_OUTPUT).Get(),
                                      findPin(grabber_.Get(), PINDIR_INPUT).Get(), nullptr),
                S_OK);
      ASSERT_EQ(graph_->ConnectDirect(findPin(grabber_.Get(), PINDIR_OUTPUT).Get(),
                                      findPin(renderer_.Get(), PINDIR_INPUT).Get(), nullptr),
                S_OK);
    }
    ASSERT_TRUE(SUCCEEDED(control_->Run()));
  }

  void stopCapture() { ASSERT_EQ(control_->Stop(), S_OK); }

  // A frame wholly drawn after the call: the one in progress may be older.
  Frame nextFrame() {
    const size_t seen = recorder_->samples().size();
    EXPECT_TRUE(recorder_->waitFor(seen + 2, kWaitMs));
    const CaptureParams params = pin_->Params();
    return {recorder_->lastData(), params.frameSize.cx, params.frameSize.cy};
  }

  static CursorScene* scene_;
  static POINT originalPointer_;
  ComApartment apartment_{COINIT_MULTITHREADED};
  ComPtr<CaptureFilter> filter_;
  CapturePin* pin_ = nullptr;
  ComPtr<IGraphBuilder> graph_;
  ComPtr<IMediaControl> control_;
  ComPtr<SampleRecorder> recorder_;
  ComPtr<IBaseFilter> grabber_;
  ComPtr<IBaseFilter> renderer_;
};

CursorScene* PointerTest::scene_ = nullptr;
POINT PointerTest::originalPointer_ = {0, 0};

TEST_F(PointerTest, HotspotLandsOnThePointerInDirectAndBufferedFrames) {
  const POINT inFrame = {100, 60};
  ASSERT_NO_FATAL_FAILURE(pointAt({kArea.left + inFrame.x, kArea.top + inFrame.y}));
  for (bool buffered : {false, true}) {
    SCOPED_TRACE(buffered ? "buffered" : "direct");
    ASSERT_NO_FATAL_FAILURE(startCapture([buffered](CaptureParams& params) {
      params.rect = params.area = kArea;
      params.flags = buffered ? only({CaptureFlag::OptCapture}) : only({});
    }));
    const Frame frame = nextFrame();
    stopCapture();
    ASSERT_EQ(frame.width, 320);
    expectCursorAt(frame, inFrame, kBackdrop, false);
  }

  ASSERT_NO_FATAL_FAILURE(
      startCapture([](CaptureParams& params) { params.flags = only({CaptureFlag::HideMouse}); }));
  const Frame hidden = nextFrame();
  stopCapture();
  EXPECT_EQ(hidden.pixelsUnlike(kBackdrop), 0) << "showmouse off draws no pointer";
}

TEST_F(PointerTest, HiddenPointerIsNotDrawn) {
  const POINT inFrame = {100, 60};
  ASSERT_NO_FATAL_FAILURE(pointAt({kArea.left + inFrame.x, kArea.top + inFrame.y}));
  // Wine reports the pointer state of the thread whose window is in front, the scene's: hiding
  // it on the test's own thread changes nothing there. Shown again however the test ends.
  struct Hidden {
    explicit Hidden(const CursorScene& scene) : scene(scene), count(scene.showCursor(false)) {}
    ~Hidden() { show(); }
    int show() {
      if (!shown) count = scene.showCursor(true);
      shown = true;
      return count;
    }
    const CursorScene& scene;
    int count;
    bool shown = false;
  } hidden(*scene_);
  ASSERT_EQ(hidden.count, -1);
  CURSORINFO info = {sizeof(info)};
  ASSERT_TRUE(::GetCursorInfo(&info));
  ASSERT_EQ(info.flags & CURSOR_SHOWING, 0u) << "the platform reports the pointer hidden";
  EXPECT_EQ(info.hCursor, scene_->cursor()) << "though it still names the cursor";

  CursorShot shot;
  EXPECT_EQ(takeCursorShot(shot), S_FALSE);
  EXPECT_FALSE(shot.hasCursor());

  ASSERT_NO_FATAL_FAILURE(startCapture([](CaptureParams& params) {
    params.rect = params.area = kArea;
    params.flags = only({});
  }));
  EXPECT_EQ(nextFrame().pixelsUnlike(kBackdrop), 0) << "a hidden pointer is drawn";
  EXPECT_EQ(hidden.show(), 0);
  {
    SCOPED_TRACE("shown again");
    expectCursorAt(nextFrame(), inFrame, kBackdrop, false);
  }
  stopCapture();
}

TEST_F(PointerTest, HeldLeftOrRightButtonInvertsThePointerAndTheMiddleOneDoesNot) {
  const POINT inFrame = {150, 100};
  ASSERT_NO_FATAL_FAILURE(pointAt({kArea.left + inFrame.x, kArea.top + inFrame.y}));
  ASSERT_NO_FATAL_FAILURE(startCapture([](CaptureParams& params) {
    params.rect = params.area = kArea;
    params.flags = only({CaptureFlag::ShowClicks});
  }));
  {
    SCOPED_TRACE("no button");
    expectCursorAt(nextFrame(), inFrame, kBackdrop, false);
  }
  const struct {
    Button button;
    const char* name;
    bool inverts;
  } cases[] = {{Button::Right, "right", true},
               {Button::Middle, "middle", false},
               {Button::Left, "left", true}};
  for (const auto& held : cases) {
    SCOPED_TRACE(held.name);
    {
      x_pointer::HeldButton button(held.button);
      ASSERT_TRUE(button.held());
      expectCursorAt(nextFrame(), inFrame, kBackdrop, held.inverts);
    }
    SCOPED_TRACE("released");
    expectCursorAt(nextFrame(), inFrame, kBackdrop, false);
  }
  stopCapture();

  SCOPED_TRACE("showclicks off");
  ASSERT_NO_FATAL_FAILURE(startCapture([](CaptureParams& params) { params.flags = only({}); }));
  x_pointer::HeldButton button(Button::Right);
  ASSERT_TRUE(button.held());
  expectCursorAt(nextFrame(), inFrame, kBackdrop, false);
  stopCapture();
}

TEST_F(PointerTest, ResizedFramesShowThePointerScaledWithThePicture) {
  const POINT inArea = {100, 60};
  ASSERT_NO_FATAL_FAILURE(pointAt({kResizedArea.left + inArea.x, kResizedArea.top + inArea.y}));
  ASSERT_NO_FATAL_FAILURE(startCapture([](CaptureParams& params) {
    params.rect = params.area = kResizedArea;
    params.output = kResizedOutput;
    // Nearest neighbour, to the full output size whatever its aspect, unaligned.
    params.flags = only({CaptureFlag::Resize, CaptureFlag::OutputSize});
  }));
  const Frame frame = nextFrame();
  stopCapture();
  ASSERT_EQ(frame.width, kResizedOutput.cx);
  ASSERT_EQ(frame.height, kResizedOutput.cy);

  // Each pixel of the cursor becomes a 2 x 2 block (see kResizedArea).
  const POINT hotspot = {2 * inArea.x, 2 * inArea.y};
  for (POINT block : {POINT{0, 0}, POINT{-1, 0}, POINT{0, 1}, POINT{-1, 1}}) {
    SCOPED_TRACE(testing::Message() << "block pixel " << block.x << "," << block.y);
    const POINT at = offset(hotspot, block.x, block.y);
    EXPECT_EQ(frame.at(at.x, at.y), CursorScene::kOnHotspot);
    EXPECT_EQ(frame.at(at.x + 2, at.y), CursorScene::kBesideHotspot);
    EXPECT_EQ(frame.at(at.x, at.y + 2), CursorScene::kBesideHotspot);
  }
  EXPECT_EQ(frame.at(hotspot.x - 2, hotspot.y), kBackdrop);
  EXPECT_EQ(frame.at(hotspot.x, hotspot.y - 1), kBackdrop);
  EXPECT_EQ(frame.at(hotspot.x + 3, hotspot.y), kBackdrop);
  EXPECT_EQ(frame.pixelsUnlike(kBackdrop), 12);
}

TEST_F(PointerTest, SurfaceKeepsNoPointerAndAFrameWithoutNewCaptureShowsItWhereItIsNow) {
  filter_->settings().change([](CaptureParams& params) {
    params.rect = params.area = kArea;
    params.flags = only({CaptureFlag::Resize});
  });
  const CaptureParams params = pin_->Params();
  BITMAPINFOHEADER connected = {sizeof(connected)};
  connected.biWidth = params.frameSize.cx;
  connected.biHeight = params.frameSize.cy;
  connected.biPlanes = 1;
  connected.biBitCount = 32;
  CaptureSurface surface;
  ASSERT_EQ(surface.build(connected, params), S_OK);
  ASSERT_EQ(surface.width(), kArea.width());

  CursorShot shot;
  GrabHooks hooks;
  hooks.snapshotPointer = [&shot] { EXPECT_EQ(takeCursorShot(shot), S_OK); };
  auto grab = [&](bool capture) {
    freeCursorShot(shot);
    return grabFrame(surface, params, {surface.mainBitmap(), surface.mainBits(), false, capture},
                     hooks);
  };
  Frame drawn;
  auto keepDrawn = [&] {
    drawn = surfacePicture(surface);
    return S_OK;
  };

  const POINT first = {120, 80};
  ASSERT_NO_FATAL_FAILURE(pointAt({kArea.left + first.x, kArea.top + first.y}));
  ASSERT_EQ(grab(true), S_OK);
  ASSERT_TRUE(shot.hasCursor());
  EXPECT_EQ(shot.hotspot.x, CursorScene::kHotspot.x);
  EXPECT_EQ(shot.hotspot.y, CursorScene::kHotspot.y);
  const Frame grabbed = surfacePicture(surface);
  EXPECT_EQ(grabbed.pixelsUnlike(kBackdrop), 0) << "the screen picture has no pointer";
  ASSERT_EQ(withPointerInSurface(&surface, shot, params, nullptr, keepDrawn), S_OK);
  {
    SCOPED_TRACE("first");
    expectCursorAt(drawn, first, kBackdrop, false);
  }
  EXPECT_EQ(surfacePicture(surface).data, grabbed.data) << "the pixels under it are back";

  // Overlapping the first place, so that anything left of it would show.
  const POINT second = offset(first, 12, 7);
  ASSERT_NO_FATAL_FAILURE(pointAt({kArea.left + second.x, kArea.top + second.y}));
  ASSERT_EQ(grab(false), S_OK) << "no new capture: the pointer only";
  ASSERT_EQ(withPointerInSurface(&surface, shot, params, nullptr, keepDrawn), S_OK);
  {
    SCOPED_TRACE("second");
    expectCursorAt(drawn, second, kBackdrop, false);
  }

  // Put back also when what the surface was wanted for fails.
  EXPECT_EQ(withPointerInSurface(&surface, shot, params, nullptr, [] { return E_ABORT; }), E_ABORT);
  EXPECT_EQ(surfacePicture(surface).data, grabbed.data);
}

TEST_F(PointerTest, SavingCoversOnlyThePointerPartInsideTheSurface) {
  const POINT pointer = {kArea.left + 4, kArea.top + 20};
  ASSERT_NO_FATAL_FAILURE(pointAt(pointer));
  filter_->settings().change([](CaptureParams& params) {
    params.rect = params.area = kArea;
    params.flags = only({CaptureFlag::Resize});
  });
  CaptureParams params = pin_->Params();
  BITMAPINFOHEADER connected = {sizeof(connected)};
  connected.biWidth = params.frameSize.cx;
  connected.biHeight = params.frameSize.cy;
  connected.biPlanes = 1;
  connected.biBitCount = 32;
  CaptureSurface surface;
  ASSERT_EQ(surface.build(connected, params), S_OK);
  CursorShot shot;
  ASSERT_EQ(takeCursorShot(shot), S_OK);

  RECT saved;
  ASSERT_EQ(savePointerArea(&surface, &shot, params, &saved), S_OK);
  const int cursorWidth = ::GetSystemMetrics(SM_CXCURSOR);
  const int cursorHeight = ::GetSystemMetrics(SM_CYCURSOR);
  EXPECT_EQ(saved.left, 0) << "the image starts left of the surface, clipped";
  EXPECT_EQ(saved.right, 4 - CursorScene::kHotspot.x + cursorWidth);
  EXPECT_EQ(saved.top, 20 - CursorScene::kHotspot.y);
  EXPECT_EQ(saved.bottom, 20 - CursorScene::kHotspot.y + cursorHeight);
  EXPECT_EQ(restorePointerArea(&surface, &saved), S_OK);

  params.pan.x += cursorWidth;  // the whole image left of the area
  EXPECT_EQ(savePointerArea(&surface, &shot, params, &saved), S_FALSE);
  EXPECT_EQ(saved.right - saved.left, 0);
  EXPECT_EQ(savePointerArea(nullptr, &shot, params, &saved), E_POINTER);
  EXPECT_EQ(savePointerArea(&surface, nullptr, params, &saved), E_POINTER);
  EXPECT_EQ(savePointerArea(&surface, &shot, params, nullptr), E_POINTER);
  EXPECT_EQ(restorePointerArea(&surface, nullptr), E_POINTER);
}

TEST_F(PointerTest, TrackedWindowClipsAPointerLeftOfIt) {
  HWND tracked = scene_->window(1);
  filter_->settings().change([tracked](CaptureParams& params) {
    params.hwnd = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(tracked));
    params.flags = only({CaptureFlag::TrackWnd});
  });
  ASSERT_EQ(pin_->Params().frameSize.cx, 300);
  ASSERT_EQ(pin_->Params().frameSize.cy, 200);

  // Ten pixels left of the window: the cursor's pixels fall left of the frame. Measured from
  // the screen instead of the window they would land inside it.
  ASSERT_NO_FATAL_FAILURE(pointAt({kTrackedBounds.left - 10, kTrackedBounds.top + 100}));
  ASSERT_NO_FATAL_FAILURE(startCapture([](CaptureParams&) {}));
  EXPECT_EQ(nextFrame().pixelsUnlike(kTracked), 0);

  ASSERT_NO_FATAL_FAILURE(pointAt({kTrackedBounds.left + 60, kTrackedBounds.top + 100}));
  expectCursorAt(nextFrame(), {60, 100}, kTracked, false);
  stopCapture();
}

}  // namespace
