// The capture filter and a real panel server meeting: the filter's queue object lives in the
// panel while the filter streams, the panel's frame window marks the captured area, the hooks
// the panel installs report a third program's window to the filter that tracks it, and a
// panel that is killed leaves the filter streaming.
#include <windows.h>
#include <dshow.h>

#include <gtest/gtest.h>

#include <vector>

#include "capture_graph_fixture.h"
#include "hooked_program.h"
#include "panel_process.h"

using namespace capture_graph;
using namespace panel_test;

namespace {

testing::Environment* const kRegisteredPanel =
    testing::AddGlobalTestEnvironment(new RegisteredPanel());

class PanelCaptureTest : public CaptureGraphTest {
 protected:
  // Waits (at most 5 s) for a stretch of `ms` without a frame.
  bool quietFor(DWORD ms) {
    for (int i = 0; i < 10; ++i) {
      if (!anotherFrameWithin(ms)) return true;
    }
    return false;
  }

  // The panel's one frame window, once the hooks server shows which process is the panel.
  HWND frameWindow() {
    for (int i = 0; i < 100; ++i) {
      if (HWND server = hooksServerWindow()) {
        const std::vector<HWND> frames = frameWindows(windowProcess(server));
        if (frames.size() == 1) return frames[0];
      }
      ::Sleep(20);
    }
    return nullptr;
  }

  // Waits until `window` has the rectangle `expected`.
  static bool placedAt(HWND window, const RECT& expected) {
    RECT rect = {};
    for (int i = 0; i < 150; ++i) {
      if (::GetWindowRect(window, &rect) && ::EqualRect(&rect, &expected) &&
          ::IsWindowVisible(window)) {
        return true;
      }
      ::Sleep(20);
    }
    return false;
  }
};

TEST_F(PanelCaptureTest, TheQueueObjectAndItsHooksLiveWhileTheFilterStreams) {
  buildGraph();
  connectChain();
  EXPECT_EQ(hooksServerWindow(), nullptr) << "no queue before streaming";
  ASSERT_TRUE(SUCCEEDED(control_->Run()));
  ASSERT_TRUE(recorder_->waitFor(1, kWaitMs));
  EXPECT_NE(hooksServerWindow(), nullptr) << "the worker's queue installed the hooks";
  EXPECT_NE(frameWindow(), nullptr);
  ASSERT_EQ(control_->Stop(), S_OK);
  for (int i = 0; i < 100 && hooksServerWindow(); ++i) ::Sleep(20);
  EXPECT_EQ(hooksServerWindow(), nullptr) << "the queue went with the worker thread";
}

TEST_F(PanelCaptureTest, ThePanelsFrameSurroundsTheCapturedArea) {
  filter_->settings().change([](CaptureParams& params) {
    params.set(CaptureFlag::OptCapture, false);
    params.set(CaptureFlag::ShowFrame, true);
  });
  startStreaming();
  HWND frame = frameWindow();
  ASSERT_NE(frame, nullptr);
  // 800 x 600 centred on the display, with the 3-pixel border outside it.
  EXPECT_TRUE(placedAt(frame, RECT{557, 237, 1363, 843}));

  filter_->settings().change(
      [](CaptureParams& params) { params.set(CaptureFlag::ShowFrame, false); });
  for (int i = 0; i < 100 && ::IsWindowVisible(frame); ++i) ::Sleep(20);
  EXPECT_FALSE(::IsWindowVisible(frame));
  ASSERT_EQ(control_->Stop(), S_OK);
}

TEST_F(PanelCaptureTest, AWindowOfAThirdProgramIsFollowedThroughThePanelsHooks) {
  hooks_test::HookedProgram program(RECT{400, 300, 800, 600});
  HWND window = program.window();
  ASSERT_NE(window, nullptr);
  filter_->settings().change([window](CaptureParams& params) {
    params.hwnd = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(window));
    params.set(CaptureFlag::TrackWnd, true);
    params.set(CaptureFlag::TrackMouse, false);
    params.set(CaptureFlag::OptCapture, true);
    params.set(CaptureFlag::OptDeliver, true);
    params.set(CaptureFlag::HideMouse, true);
    params.set(CaptureFlag::ShowFrame, true);
  });
  startStreaming();
  HWND frame = frameWindow();
  ASSERT_NE(frame, nullptr);
  EXPECT_TRUE(placedAt(frame, RECT{397, 297, 803, 603}));
  ASSERT_TRUE(quietFor(500)) << "nothing changes, nothing is delivered";

  // A repaint changes nothing the filter could see by itself: only the hooks' report,
  // queued by the panel, makes it deliver.
  ::InvalidateRect(window, nullptr, TRUE);
  EXPECT_TRUE(anotherFrameWithin(kWaitMs)) << "the report reached the filter";
  ASSERT_TRUE(quietFor(500));

  ::SetWindowPos(window, nullptr, 900, 500, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  EXPECT_TRUE(anotherFrameWithin(kWaitMs));
  EXPECT_TRUE(placedAt(frame, RECT{897, 497, 1303, 803})) << "the frame follows the window";
  ASSERT_TRUE(quietFor(500));
  const std::vector<SeenSample> samples = recorder_->samples();
  EXPECT_EQ(samples.back().firstWord & 0xFFFFFF, 0xFFFFFFu) << "the window's white, where it is";
  ASSERT_EQ(control_->Stop(), S_OK);
}

TEST_F(PanelCaptureTest, APanelKilledWhileTheFilterStreamsLeavesItStreaming) {
  filter_->settings().change([](CaptureParams& params) {
    params.set(CaptureFlag::OptCapture, true);
    params.set(CaptureFlag::OptDeliver, true);
  });
  startStreaming();
  HWND server = hooksServerWindow();
  ASSERT_NE(server, nullptr);
  {
    UniqueHandle panel(
        ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, windowProcess(server)));
    ASSERT_TRUE(panel);
    ASSERT_TRUE(::TerminateProcess(panel.get(), 99));
    ASSERT_EQ(::WaitForSingleObject(panel.get(), 5000), WAIT_OBJECT_0);
  }
  // Without its queue the filter cannot know what changed: every period delivers.
  EXPECT_TRUE(recorder_->waitFor(recorder_->samples().size() + 10, kWaitMs));
  const ULONGLONG started = ::GetTickCount64();
  ASSERT_EQ(control_->Stop(), S_OK);
  EXPECT_LT(::GetTickCount64() - started, 2000u);
  control_.Reset();
  graph_.Reset();
  const ULONGLONG released = ::GetTickCount64();
  filter_.Reset();
  pin_ = nullptr;
  EXPECT_LT(::GetTickCount64() - released, 2000u) << "the filter lets go of the dead panel";
  endPanelsNow();
}

}  // namespace
