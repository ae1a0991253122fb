// The capture pin's side of its exchange with the control panel's queue object, where a real
// panel cannot show it: event texts the panel's hooks never produce, how often the queue is
// read, and a panel that stops answering. A queue test double is registered for the panel's
// queue class inside this process, so the pin's worker thread creates it in place of the
// panel's. The exchange with the real panel is tested with the panel's tests.
#include <windows.h>
#include <dshow.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <atomic>
#include <deque>
#include <mutex>
#include <string>

#include "capture_graph_fixture.h"
#include "dispatch_double.h"
#include "dshow/ref_counted.h"
#include "zelkpanel.h"

using Microsoft::WRL::ComPtr;
using namespace capture_graph;

namespace {

// Answers the pin like the panel's queue: events first in, first out.
class FakeQueue final : public DispatchDouble<IZelkgrabQueue, IID_IZelkgrabQueue> {
 public:
  HRESULT STDMETHODCALLTYPE get_qparam(BSTR prop, BSTR* param) override {
    if (!prop || !param) return E_POINTER;
    if (hang_) {
      ::SetEvent(hung_.get());
      ::WaitForSingleObject(released_.get(), 10000);
    }
    if (const DWORD delay = readDelayMs_) ::Sleep(delay);
    std::lock_guard<std::mutex> lock(mutex_);
    if (std::wstring(prop) != L"event") return E_INVALIDARG;
    ++eventReads_;
    if (events_.empty()) return S_FALSE;
    *param = ::SysAllocString(events_.front().c_str());
    events_.pop_front();
    return *param ? S_OK : E_OUTOFMEMORY;
  }

  // The frame reports: of no consequence to these tests.
  HRESULT STDMETHODCALLTYPE put_qparam(BSTR prop, BSTR param) override {
    return prop && param ? S_OK : E_POINTER;
  }

  void queueEvent(const wchar_t* text) {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.emplace_back(text);
  }
  bool drained() {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_.empty();
  }
  int eventReads() {
    std::lock_guard<std::mutex> lock(mutex_);
    return eventReads_;
  }
  // A busy panel: each read takes `ms`.
  void slowReads(DWORD ms) { readDelayMs_ = ms; }
  // A panel that stops answering: reads wait until `release`.
  void hang() { hang_ = true; }
  bool waitUntilHung(DWORD ms) { return ::WaitForSingleObject(hung_.get(), ms) == WAIT_OBJECT_0; }
  void release() {
    hang_ = false;
    ::SetEvent(released_.get());
  }

 private:
  std::atomic<bool> hang_{false};
  std::atomic<DWORD> readDelayMs_{0};
  UniqueHandle hung_{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  UniqueHandle released_{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  std::mutex mutex_;
  std::deque<std::wstring> events_;
  int eventReads_ = 0;
};

class FakeQueueFactory final : public CRefCounted<IClassFactory, IID_IClassFactory> {
 public:
  explicit FakeQueueFactory(FakeQueue* queue) : queue_(queue) {}
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
    if (outer) return CLASS_E_NOAGGREGATION;
    return queue_->QueryInterface(iid, object);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

 private:
  ComPtr<FakeQueue> queue_;
};

class PanelExchangeTest : public CaptureGraphTest {
 protected:
  void SetUp() override {
    CaptureGraphTest::SetUp();
    queue_.Attach(new FakeQueue());
    factory_.Attach(new FakeQueueFactory(queue_.Get()));
    // In the multithreaded apartment, where the pin's worker thread creates it too.
    ASSERT_EQ(::CoRegisterClassObject(CLSID_ZelkgrabQueue, factory_.Get(), CLSCTX_INPROC_SERVER,
                                      REGCLS_MULTIPLEUSE, &cookie_),
              S_OK);
  }

  void TearDown() override {
    CaptureGraphTest::TearDown();
    if (cookie_) {
      EXPECT_EQ(::CoRevokeClassObject(cookie_), S_OK);
    }
  }

  // Lets the worker take what is queued, then a few idle periods more.
  void waitUntilDrained() {
    for (int i = 0; i < 200 && !queue_->drained(); ++i) ::Sleep(5);
    EXPECT_TRUE(queue_->drained()) << "the pin takes queued events while it streams";
    const int reads = queue_->eventReads();
    for (int i = 0; i < 200 && queue_->eventReads() < reads + 3; ++i) ::Sleep(5);
  }

  // The references to the queue other than the test's own.
  ULONG queueReferences() {
    queue_->AddRef();
    return queue_->Release();
  }

  ComPtr<FakeQueue> queue_;
  ComPtr<FakeQueueFactory> factory_;
  DWORD cookie_ = 0;
};

// A quiet period is several frame periods (the default is 40 ms) without a frame.
constexpr DWORD kQuietMs = 400;

TEST_F(PanelExchangeTest, OnlyGeometryAndCursorEventsDeliverWhenOptimised) {
  filter_->settings().change([](CaptureParams& params) {
    params.set(CaptureFlag::OptCapture, true);
    params.set(CaptureFlag::OptDeliver, true);
    params.set(CaptureFlag::HideMouse, false);
  });
  startStreaming();
  EXPECT_FALSE(anotherFrameWithin(kQuietMs)) << "nothing changed, nothing delivered";

  // Prefixes count only at the start of the text.
  queue_->queueEvent(L"xWindowChanged");
  queue_->queueEvent(L"Unrelated");
  waitUntilDrained();
  EXPECT_FALSE(anotherFrameWithin(kQuietMs));

  for (const wchar_t* event : {L"WindowChanged", L"WindowBorderChanged", L"WindowClientAreaChanged",
                               L"RectangleChanged and more"}) {
    SCOPED_TRACE(testing::Message() << std::wstring(event).c_str());
    queue_->queueEvent(event);
    EXPECT_TRUE(anotherFrameWithin(kWaitMs)) << "a geometry change delivers a frame";
    waitUntilDrained();
    EXPECT_FALSE(anotherFrameWithin(kQuietMs)) << "and then only one";
  }

  // A pointer change delivers while the pointer is shown, and not while it is hidden.
  queue_->queueEvent(L"CursorChanged");
  EXPECT_TRUE(anotherFrameWithin(kWaitMs));
  waitUntilDrained();
  filter_->settings().change(
      [](CaptureParams& params) { params.set(CaptureFlag::HideMouse, true); });
  EXPECT_TRUE(anotherFrameWithin(kWaitMs)) << "the parameter change itself counts";
  waitUntilDrained();
  EXPECT_FALSE(anotherFrameWithin(kQuietMs));
  queue_->queueEvent(L"CursorChanged");
  waitUntilDrained();
  EXPECT_FALSE(anotherFrameWithin(kQuietMs));
  ASSERT_EQ(control_->Stop(), S_OK);
}

TEST_F(PanelExchangeTest, WithoutOptimisationEveryPeriodDelivers) {
  filter_->settings().change([](CaptureParams& params) {
    params.set(CaptureFlag::OptCapture, true);
    params.set(CaptureFlag::OptDeliver, false);
  });
  startStreaming();
  EXPECT_TRUE(recorder_->waitFor(5, kWaitMs)) << "optcapture alone still delivers every period";
  ASSERT_EQ(control_->Stop(), S_OK);
}

TEST_F(PanelExchangeTest, TheQueueIsAskedForEventsOncePerPeriod) {
  // Optimised and with nothing changing: no frame goes, but the events are still read.
  startStreaming();
  const int before = queue_->eventReads();
  ::Sleep(5000);
  const int reads = queue_->eventReads() - before;
  ASSERT_EQ(control_->Stop(), S_OK);
  // 25 periods a second, one read each while the queue is empty; a little slack for timing.
  EXPECT_LE(reads, 5 * 25 + 10);
  EXPECT_GE(reads, 5 * 25 / 2) << "and the queue is still read every period";
}

TEST_F(PanelExchangeTest, ABurstOfEventsSlowToReadKeepsThePanel) {
  filter_->settings().change([](CaptureParams& params) {
    params.set(CaptureFlag::OptCapture, true);
    params.set(CaptureFlag::OptDeliver, true);
    params.set(CaptureFlag::HideMouse, true);
  });
  // Three times as long to read as the worker waits for one call.
  queue_->slowReads(5);
  for (int i = 0; i < 300; ++i) queue_->queueEvent(L"Unrelated");
  startStreaming();
  for (int i = 0; i < 800 && !queue_->drained(); ++i) ::Sleep(10);
  EXPECT_TRUE(queue_->drained()) << "read over several periods";
  queue_->slowReads(0);
  waitUntilDrained();
  // A pin that had given the panel up would deliver every period.
  EXPECT_FALSE(anotherFrameWithin(kQuietMs));
  queue_->queueEvent(L"WindowChanged");
  EXPECT_TRUE(anotherFrameWithin(kWaitMs));
  ASSERT_EQ(control_->Stop(), S_OK);
}

TEST_F(PanelExchangeTest, AHungPanelHoldsUpNeitherStopNorControlCalls) {
  const ULONG idle = queueReferences();
  startStreaming();
  queue_->hang();
  ASSERT_TRUE(queue_->waitUntilHung(kWaitMs));
  ComPtr<IZelkgrab> control;
  ASSERT_EQ(filter_->QueryInterface(IID_IZelkgrab, &control), S_OK);
  ULONGLONG started = ::GetTickCount64();
  BSTR document = nullptr;
  ASSERT_EQ(control->get_sc_props(&document), S_OK);
  ::SysFreeString(document);
  EXPECT_LT(::GetTickCount64() - started, 250u);
  EXPECT_TRUE(recorder_->waitFor(recorder_->samples().size() + 2, kWaitMs))
      << "without an answer the panel counts as absent: every period delivers";

  started = ::GetTickCount64();
  ASSERT_EQ(control_->Stop(), S_OK);
  EXPECT_LT(::GetTickCount64() - started, 2000u);
  queue_->release();
  // The call that hung lets go of the queue once the panel answers.
  for (int i = 0; i < 500 && queueReferences() != idle; ++i) ::Sleep(10);
  EXPECT_EQ(queueReferences(), idle);
}

}  // namespace
