// The output queue against a stand-in for a downstream input pin: the choice of thread, order
// of samples and notifications, flushing, refusals, batching, back-pressure and destruction.
// Graph tests with Wine's own renderers live with the graph tests.
#include <windows.h>

#include <gtest/gtest.h>
#include <strmif.h>
#include <vfwmsgs.h>
#include <wrl/client.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/win_raii.h"
#include "dshow/output_queue.h"
#include "dshow/unknown.h"

using Microsoft::WRL::ComPtr;

namespace {

// Every wait of these tests ends by this, so a fault fails instead of hanging.
constexpr DWORD kTimeoutMs = 5000;

ULONG referencesOf(IUnknown* object) {
  object->AddRef();
  return object->Release();
}

// A media sample that only counts its references and carries its index as its time.
class TestSample final : public IMediaSample {
 public:
  explicit TestSample(int index) : index_(index) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IMediaSample) {
      *object = static_cast<IMediaSample*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG remaining = --references_;
    if (remaining == 0) delete this;
    return remaining;
  }

  HRESULT STDMETHODCALLTYPE GetPointer(BYTE**) override { return E_NOTIMPL; }
  LONG STDMETHODCALLTYPE GetSize() override { return 0; }
  HRESULT STDMETHODCALLTYPE GetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop) override {
    *start = index_;
    *stop = index_ + 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetTime(REFERENCE_TIME*, REFERENCE_TIME*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE IsSyncPoint() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetSyncPoint(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE IsPreroll() override { return S_FALSE; }
  HRESULT STDMETHODCALLTYPE SetPreroll(BOOL) override { return S_OK; }
  LONG STDMETHODCALLTYPE GetActualDataLength() override { return 0; }
  HRESULT STDMETHODCALLTYPE SetActualDataLength(LONG) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetMediaType(AM_MEDIA_TYPE** type) override {
    *type = nullptr;
    return S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE SetMediaType(AM_MEDIA_TYPE*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE IsDiscontinuity() override { return S_FALSE; }
  HRESULT STDMETHODCALLTYPE SetDiscontinuity(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetMediaTime(LONGLONG*, LONGLONG*) override {
    return VFW_E_MEDIA_TIME_NOT_SET;
  }
  HRESULT STDMETHODCALLTYPE SetMediaTime(LONGLONG*, LONGLONG*) override { return S_OK; }

 private:
  std::atomic<ULONG> references_{0};
  int index_;
};

// Stands in for a downstream input pin: records every call in order ("S3" for Receive, "[S0 S1]"
// for ReceiveMultiple, "EOS", "NS(start,stop,rate)", "BF", "EF"), and can be told what to
// answer ReceiveCanBlock, on which sample to block until released or flushed, and on which
// sample to refuse.
class DownstreamPin final : public CUnknownImpl<IPin, IMemInputPin> {
 public:
  explicit DownstreamPin(HRESULT canBlock = S_OK, bool offerMemInputPin = true)
      : CUnknownImpl(nullptr), canBlock_(canBlock), offerMemInputPin_(offerMemInputPin) {}

  HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    if (iid == IID_IPin) return GetInterface(static_cast<IPin*>(this), object);
    if (iid == IID_IMemInputPin && offerMemInputPin_) {
      return GetInterface(static_cast<IMemInputPin*>(this), object);
    }
    return CUnknown::NonDelegatingQueryInterface(iid, object);
  }

  IPin* pin() { return static_cast<IPin*>(this); }

  // Configuration, before samples flow.
  void blockOn(int index) { blockIndex_ = index; }
  void refuseAt(int index, HRESULT result) {
    refuseIndex_ = index;
    refusal_ = result;
  }
  void release() { ::SetEvent(gate_.get()); }
  bool waitUntilBlocked() { return ::WaitForSingleObject(entered_.get(), kTimeoutMs) == 0; }

  std::string log() {
    std::lock_guard lock(mutex_);
    return log_;
  }
  // Waits until the log reads `expected`; returns the log as it stands then.
  std::string waitForLog(const std::string& expected) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, std::chrono::milliseconds(kTimeoutMs),
                      [&] { return log_ == expected; });
    return log_;
  }
  DWORD receiveThread() const { return receiveThread_; }

  // IMemInputPin
  HRESULT STDMETHODCALLTYPE GetAllocator(IMemAllocator** allocator) override {
    *allocator = nullptr;
    return VFW_E_NO_ALLOCATOR;
  }
  HRESULT STDMETHODCALLTYPE NotifyAllocator(IMemAllocator*, BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetAllocatorRequirements(ALLOCATOR_PROPERTIES*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Receive(IMediaSample* sample) override {
    int index = indexOf(sample);
    record("S" + std::to_string(index));
    return answer(&index, 1);
  }
  HRESULT STDMETHODCALLTYPE ReceiveMultiple(IMediaSample** samples, LONG count,
                                            LONG* processed) override {
    std::vector<int> indices;
    std::string entry = "[";
    for (LONG i = 0; i < count; ++i) {
      indices.push_back(indexOf(samples[i]));
      entry += (i ? " S" : "S") + std::to_string(indices.back());
    }
    record(entry + "]");
    HRESULT hr = answer(indices.data(), count);
    *processed = hr == S_OK ? count : 0;
    return hr;
  }
  HRESULT STDMETHODCALLTYPE ReceiveCanBlock() override { return canBlock_; }

  // IPin: only the stream notifications matter here.
  HRESULT STDMETHODCALLTYPE EndOfStream() override {
    record("EOS");
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE BeginFlush() override {
    flushing_ = true;
    record("BF");
    release();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE EndFlush() override {
    flushing_ = false;
    record("EF");
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop,
                                       double rate) override {
    std::ostringstream entry;
    entry << "NS(" << start << "," << stop << "," << rate << ")";
    record(entry.str());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Connect(IPin*, const AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ReceiveConnection(IPin*, const AM_MEDIA_TYPE*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Disconnect() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ConnectedTo(IPin** pin) override {
    *pin = nullptr;
    return VFW_E_NOT_CONNECTED;
  }
  HRESULT STDMETHODCALLTYPE ConnectionMediaType(AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE QueryPinInfo(PIN_INFO*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE QueryDirection(PIN_DIRECTION* direction) override {
    *direction = PINDIR_INPUT;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE QueryId(LPWSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE QueryAccept(const AM_MEDIA_TYPE*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE QueryInternalConnections(IPin**, ULONG*) override { return E_NOTIMPL; }

 private:
  static int indexOf(IMediaSample* sample) {
    REFERENCE_TIME start = -1, stop = -1;
    sample->GetTime(&start, &stop);
    return static_cast<int>(start);
  }

  void record(const std::string& entry) {
    {
      std::lock_guard lock(mutex_);
      log_ += (log_.empty() ? "" : " ") + entry;
    }
    changed_.notify_all();
  }

  HRESULT answer(const int* indices, LONG count) {
    receiveThread_ = ::GetCurrentThreadId();
    HRESULT hr = S_OK;
    for (LONG i = 0; i < count; ++i) {
      if (indices[i] == blockIndex_) {
        ::SetEvent(entered_.get());
        ::WaitForSingleObject(gate_.get(), kTimeoutMs);
      }
      if (indices[i] == refuseIndex_) hr = refusal_;
    }
    // As a real pin: whatever arrives while flushing is refused.
    return flushing_ ? S_FALSE : hr;
  }

  HRESULT canBlock_;
  bool offerMemInputPin_;
  int blockIndex_ = -1;
  int refuseIndex_ = -1;
  HRESULT refusal_ = S_OK;
  std::atomic<bool> flushing_{false};
  std::atomic<DWORD> receiveThread_{0};
  UniqueHandle gate_{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  UniqueHandle entered_{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  std::mutex mutex_;
  std::condition_variable changed_;
  std::string log_;
};

class OutputQueueTest : public ::testing::Test {
 protected:
  // Samples 0..count-1, each held once by the test.
  void makeSamples(int count) {
    for (int i = 0; i < count; ++i) samples_.emplace_back(new TestSample(i));
  }
  // A reference for the queue to take over.
  IMediaSample* hand(int index) {
    samples_[index]->AddRef();
    return samples_[index].Get();
  }
  // True when no sample is held by anyone but the test.
  bool onlyTestHoldsSamples() {
    for (auto& sample : samples_) {
      if (referencesOf(sample.Get()) != 1) return false;
    }
    return true;
  }
  static bool waitUntilIdle(COutputQueue& queue) {
    for (DWORD waited = 0; waited < kTimeoutMs; waited += 5) {
      if (queue.IsIdle()) return true;
      ::Sleep(5);
    }
    return false;
  }

  ComPtr<DownstreamPin> downstream_;
  std::vector<ComPtr<TestSample>> samples_;
};

TEST_F(OutputQueueTest, UsesAThreadExactlyWhenAskedOrWhenTheInputPinCanBlock) {
  struct Case {
    bool autoThread;
    bool queue;
    HRESULT canBlock;
    bool queued;
  };
  // Only S_OK from ReceiveCanBlock means "may block"; a failure counts as "will not".
  const Case cases[] = {{true, false, S_OK, true},
                        {true, true, S_FALSE, false},
                        {true, true, E_NOTIMPL, false},
                        {false, true, S_FALSE, true},
                        {false, false, S_OK, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "autoThread " << c.autoThread << " queue " << c.queue
                                    << " canBlock " << std::hex << c.canBlock);
    samples_.clear();
    makeSamples(1);
    downstream_ = new DownstreamPin(c.canBlock);
    HRESULT hr = S_OK;
    COutputQueue queue(downstream_->pin(), &hr, c.autoThread, c.queue);
    ASSERT_EQ(hr, S_OK);
    EXPECT_EQ(queue.IsQueued(), c.queued);

    ASSERT_EQ(queue.Receive(hand(0)), S_OK);
    if (!c.queued) {
      // Direct delivery is done by the time Receive returns.
      EXPECT_EQ(downstream_->log(), "S0");
    }
    EXPECT_EQ(downstream_->waitForLog("S0"), "S0");
    EXPECT_EQ(downstream_->receiveThread() != ::GetCurrentThreadId(), c.queued);
    ASSERT_TRUE(waitUntilIdle(queue));
    EXPECT_TRUE(onlyTestHoldsSamples());
  }
}

TEST_F(OutputQueueTest, RefusesPinsWithoutMemInputPinAndReleasesWhatItIsGiven) {
  makeSamples(1);
  HRESULT hr = S_OK;
  COutputQueue noPin(nullptr, &hr);
  EXPECT_EQ(hr, E_POINTER);

  downstream_ = new DownstreamPin(S_OK, false);
  hr = S_OK;
  {
    COutputQueue queue(downstream_->pin(), &hr);
    EXPECT_EQ(hr, E_NOINTERFACE);
    EXPECT_EQ(queue.Receive(hand(0)), VFW_E_NOT_CONNECTED);
    EXPECT_EQ(queue.Receive(nullptr), E_POINTER);
    queue.EOS();
  }
  EXPECT_TRUE(onlyTestHoldsSamples());
  EXPECT_EQ(referencesOf(downstream_->pin()), 1u);
  EXPECT_EQ(downstream_->log(), "");
}

// The cases that hold the same with and without a delivery thread.
class OutputQueueModeTest : public OutputQueueTest, public ::testing::WithParamInterface<bool> {
 protected:
  bool queued() const { return GetParam(); }
  HRESULT canBlock() const { return queued() ? S_OK : S_FALSE; }
};

INSTANTIATE_TEST_SUITE_P(Modes, OutputQueueModeTest, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Queued" : "Direct"; });

TEST_P(OutputQueueModeTest, DeliversSamplesAndNotificationsInTheOrderGiven) {
  makeSamples(20);
  downstream_ = new DownstreamPin(canBlock());
  HRESULT hr = S_OK;
  {
    // A short list, so the queued run also goes through waits for room.
    COutputQueue queue(downstream_->pin(), &hr, true, true, 1, false, 3);
    ASSERT_EQ(hr, S_OK);
    queue.NewSegment(0, 1000, 1.0);
    for (int i = 0; i < 10; ++i) ASSERT_EQ(queue.Receive(hand(i)), S_OK);
    queue.NewSegment(1000, 2000, 2.0);
    for (int i = 10; i < 20; ++i) ASSERT_EQ(queue.Receive(hand(i)), S_OK);
    queue.EOS();

    std::string expected = "NS(0,1000,1)";
    for (int i = 0; i < 10; ++i) expected += " S" + std::to_string(i);
    expected += " NS(1000,2000,2)";
    for (int i = 10; i < 20; ++i) expected += " S" + std::to_string(i);
    expected += " EOS";
    EXPECT_EQ(downstream_->waitForLog(expected), expected);
    ASSERT_TRUE(waitUntilIdle(queue));
    EXPECT_TRUE(onlyTestHoldsSamples()) << "each sample is released after delivery";
    EXPECT_EQ(queue.LastResult(), S_OK);
  }
  EXPECT_EQ(referencesOf(downstream_->pin()), 1u);
}

TEST_P(OutputQueueModeTest, FlushRefusesSamplesAndDropsEndOfStreamUntilEndFlush) {
  makeSamples(2);
  downstream_ = new DownstreamPin(canBlock());
  HRESULT hr = S_OK;
  COutputQueue queue(downstream_->pin(), &hr);
  ASSERT_EQ(hr, S_OK);

  queue.BeginFlush();
  EXPECT_EQ(downstream_->log(), "BF") << "BeginFlush goes downstream at once";
  EXPECT_EQ(queue.Receive(hand(0)), S_FALSE);
  EXPECT_TRUE(onlyTestHoldsSamples()) << "a refused sample is released";
  queue.EOS();
  // Seeking sends the new segment before the flush ends; it must come before EndFlush.
  queue.NewSegment(5, 10, 1.0);
  queue.EndFlush();
  EXPECT_EQ(downstream_->log(), "BF NS(5,10,1) EF");

  EXPECT_EQ(queue.Receive(hand(1)), S_OK);
  EXPECT_EQ(downstream_->waitForLog("BF NS(5,10,1) EF S1"), "BF NS(5,10,1) EF S1");
  ASSERT_TRUE(waitUntilIdle(queue));
  EXPECT_TRUE(onlyTestHoldsSamples());
}

// A refusal of either kind: S_FALSE (stop sending) or a failure.
class OutputQueueRefusalTest : public OutputQueueTest,
                               public ::testing::WithParamInterface<std::tuple<bool, HRESULT>> {};

INSTANTIATE_TEST_SUITE_P(ModesAndResults, OutputQueueRefusalTest,
                         ::testing::Combine(::testing::Values(true, false),
                                            ::testing::Values(S_FALSE, E_FAIL)),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param) ? "Queued" : "Direct") +
                                  (std::get<1>(info.param) == S_FALSE ? "StopSending" : "Failure");
                         });

TEST_P(OutputQueueRefusalTest, RefusalIsReturnedByLaterReceivesUntilFlush) {
  auto [queued, refusal] = GetParam();
  makeSamples(4);
  downstream_ = new DownstreamPin(queued ? S_OK : S_FALSE);
  downstream_->refuseAt(1, refusal);
  HRESULT hr = S_OK;
  COutputQueue queue(downstream_->pin(), &hr);
  ASSERT_EQ(hr, S_OK);

  EXPECT_EQ(queue.Receive(hand(0)), S_OK);
  // Direct delivery answers at once; the thread can only tell the next caller.
  EXPECT_EQ(queue.Receive(hand(1)), queued ? S_OK : refusal);
  ASSERT_TRUE(waitUntilIdle(queue));
  EXPECT_EQ(queue.LastResult(), refusal);
  EXPECT_EQ(queue.Receive(hand(2)), refusal);
  EXPECT_EQ(queue.Receive(hand(2)), refusal) << "kept, not reported once";
  EXPECT_TRUE(onlyTestHoldsSamples());
  // The upstream answer to a refusal is end of stream, which still goes (before the flush,
  // which would discard it while queued).
  queue.EOS();
  EXPECT_EQ(downstream_->waitForLog("S0 S1 EOS"), "S0 S1 EOS");

  queue.BeginFlush();
  queue.EndFlush();
  EXPECT_EQ(queue.LastResult(), S_OK);
  EXPECT_EQ(queue.Receive(hand(3)), S_OK);
  EXPECT_EQ(downstream_->waitForLog("S0 S1 EOS BF EF S3"), "S0 S1 EOS BF EF S3");
  ASSERT_TRUE(waitUntilIdle(queue));
  EXPECT_TRUE(onlyTestHoldsSamples());
}

TEST_F(OutputQueueTest, FlushDiscardsQueuedSamplesAndFreesABlockedDelivery) {
  makeSamples(6);
  downstream_ = new DownstreamPin(S_OK);
  downstream_->blockOn(0);
  HRESULT hr = S_OK;
  COutputQueue queue(downstream_->pin(), &hr);
  ASSERT_EQ(hr, S_OK);

  ASSERT_EQ(queue.Receive(hand(0)), S_OK);
  ASSERT_TRUE(downstream_->waitUntilBlocked());
  for (int i = 1; i < 5; ++i) ASSERT_EQ(queue.Receive(hand(i)), S_OK);
  queue.EOS();
  EXPECT_EQ(referencesOf(samples_[4].Get()), 2u) << "queued samples are held by the queue";
  EXPECT_FALSE(queue.IsIdle());

  queue.BeginFlush();
  for (int i = 1; i < 5; ++i) {
    EXPECT_EQ(referencesOf(samples_[i].Get()), 1u) << "sample " << i << " not released";
  }
  // EndFlush waits for the delivery that BeginFlush freed; its refusal is not kept.
  queue.EndFlush();
  EXPECT_EQ(downstream_->log(), "S0 BF EF");
  EXPECT_EQ(queue.LastResult(), S_OK);

  ASSERT_EQ(queue.Receive(hand(5)), S_OK);
  EXPECT_EQ(downstream_->waitForLog("S0 BF EF S5"), "S0 BF EF S5");
  ASSERT_TRUE(waitUntilIdle(queue));
  EXPECT_TRUE(onlyTestHoldsSamples());
}

TEST_F(OutputQueueTest, ThreadDiscardsSamplesQueuedBehindARefusal) {
  makeSamples(5);
  downstream_ = new DownstreamPin(S_OK);
  downstream_->blockOn(0);
  downstream_->refuseAt(0, E_FAIL);
  HRESULT hr = S_OK;
  COutputQueue queue(downstream_->pin(), &hr);
  ASSERT_EQ(hr, S_OK);

  ASSERT_EQ(queue.Receive(hand(0)), S_OK);
  ASSERT_TRUE(downstream_->waitUntilBlocked());
  for (int i = 1; i < 4; ++i) ASSERT_EQ(queue.Receive(hand(i)), S_OK);
  downstream_->release();
  ASSERT_TRUE(waitUntilIdle(queue));
  EXPECT_EQ(downstream_->log(), "S0");
  EXPECT_TRUE(onlyTestHoldsSamples());
  EXPECT_EQ(queue.Receive(hand(4)), E_FAIL);
  EXPECT_TRUE(onlyTestHoldsSamples());
}

TEST_F(OutputQueueTest, ExactBatchesWaitToFillUnlessToldToSend) {
  makeSamples(9);
  downstream_ = new DownstreamPin(S_OK);
  HRESULT hr = S_OK;
  COutputQueue queue(downstream_->pin(), &hr, true, true, 3, true);
  ASSERT_EQ(hr, S_OK);
  UniqueHandle popped(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  queue.SetPopEvent(popped.get());

  for (int i = 0; i < 7; ++i) ASSERT_EQ(queue.Receive(hand(i)), S_OK);
  const std::string twoBatches = "[S0 S1 S2] [S3 S4 S5]";
  EXPECT_EQ(downstream_->waitForLog(twoBatches), twoBatches);
  EXPECT_EQ(::WaitForSingleObject(popped.get(), 0), WAIT_OBJECT_0);
  ::Sleep(50);
  EXPECT_EQ(downstream_->log(), twoBatches) << "a partial exact batch went by itself";
  EXPECT_FALSE(queue.IsIdle());

  queue.SendAnyway();
  EXPECT_EQ(downstream_->waitForLog(twoBatches + " [S6]"), twoBatches + " [S6]");
  // End of stream takes the partial batch before it along.
  ASSERT_EQ(queue.Receive(hand(7)), S_OK);
  ASSERT_EQ(queue.Receive(hand(8)), S_OK);
  queue.EOS();
  const std::string all = twoBatches + " [S6] [S7 S8] EOS";
  EXPECT_EQ(downstream_->waitForLog(all), all);
  ASSERT_TRUE(waitUntilIdle(queue));
  EXPECT_TRUE(onlyTestHoldsSamples());
}

TEST_F(OutputQueueTest, LooseBatchesTakeWhatIsWaitingWhenTheThreadIsFree) {
  makeSamples(6);
  downstream_ = new DownstreamPin(S_OK);
  downstream_->blockOn(0);
  HRESULT hr = S_OK;
  COutputQueue queue(downstream_->pin(), &hr, true, true, 4, false);
  ASSERT_EQ(hr, S_OK);

  // The free thread sends the first sample alone; the rest gather while it is busy.
  ASSERT_EQ(queue.Receive(hand(0)), S_OK);
  ASSERT_TRUE(downstream_->waitUntilBlocked());
  for (int i = 1; i < 6; ++i) ASSERT_EQ(queue.Receive(hand(i)), S_OK);
  downstream_->release();
  const std::string expected = "[S0] [S1 S2 S3 S4] [S5]";
  EXPECT_EQ(downstream_->waitForLog(expected), expected);
  ASSERT_TRUE(waitUntilIdle(queue));
  EXPECT_TRUE(onlyTestHoldsSamples());
}

TEST_F(OutputQueueTest, DirectBatchesGoOnTheCallersThread) {
  makeSamples(10);
  downstream_ = new DownstreamPin(S_FALSE);
  HRESULT hr = S_OK;
  {
    COutputQueue exact(downstream_->pin(), &hr, true, true, 2, true);
    ASSERT_EQ(hr, S_OK);
    IMediaSample* given[] = {hand(0), hand(1), hand(2), hand(3), hand(4)};
    long processed = 0;
    ASSERT_EQ(exact.ReceiveMultiple(given, 5, &processed), S_OK);
    EXPECT_EQ(processed, 5);
    EXPECT_EQ(downstream_->log(), "[S0 S1] [S2 S3]");
    EXPECT_FALSE(exact.IsIdle());
    exact.EOS();
    EXPECT_EQ(downstream_->log(), "[S0 S1] [S2 S3] [S4] EOS");
  }
  EXPECT_TRUE(onlyTestHoldsSamples());

  downstream_ = new DownstreamPin(S_FALSE);
  {
    // Without exact batches a call leaves nothing behind.
    COutputQueue loose(downstream_->pin(), &hr, true, true, 3, false);
    ASSERT_EQ(hr, S_OK);
    IMediaSample* given[] = {hand(5), hand(6), hand(7), hand(8)};
    long processed = 0;
    ASSERT_EQ(loose.ReceiveMultiple(given, 4, &processed), S_OK);
    EXPECT_EQ(processed, 4);
    ASSERT_EQ(loose.Receive(hand(9)), S_OK);
    EXPECT_EQ(downstream_->log(), "[S5 S6 S7] [S8] [S9]");
    EXPECT_TRUE(loose.IsIdle());
  }
  EXPECT_TRUE(onlyTestHoldsSamples());
}

TEST_F(OutputQueueTest, FullListBlocksReceiveUntilTheThreadTakesAnItem) {
  makeSamples(4);
  downstream_ = new DownstreamPin(S_OK);
  downstream_->blockOn(0);
  HRESULT hr = S_OK;
  COutputQueue queue(downstream_->pin(), &hr, true, true, 1, false, 2);
  ASSERT_EQ(hr, S_OK);
  UniqueHandle popped(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  queue.SetPopEvent(popped.get());

  ASSERT_EQ(queue.Receive(hand(0)), S_OK);
  ASSERT_TRUE(downstream_->waitUntilBlocked());
  ASSERT_EQ(queue.Receive(hand(1)), S_OK);
  ASSERT_EQ(queue.Receive(hand(2)), S_OK);
  ::ResetEvent(popped.get());

  std::atomic<bool> returned{false};
  std::thread producer([&] {
    EXPECT_EQ(queue.Receive(hand(3)), S_OK);
    returned = true;
  });
  ::Sleep(100);
  EXPECT_FALSE(returned) << "Receive into a full list must wait";
  EXPECT_EQ(::WaitForSingleObject(popped.get(), 0), WAIT_TIMEOUT);

  downstream_->release();
  EXPECT_EQ(::WaitForSingleObject(popped.get(), kTimeoutMs), WAIT_OBJECT_0);
  EXPECT_EQ(downstream_->waitForLog("S0 S1 S2 S3"), "S0 S1 S2 S3");
  producer.join();
  EXPECT_TRUE(returned);
  ASSERT_TRUE(waitUntilIdle(queue));
  EXPECT_TRUE(onlyTestHoldsSamples());
}

TEST_F(OutputQueueTest, DestructionDeliversNothingMoreAndReleasesEverything) {
  makeSamples(6);
  downstream_ = new DownstreamPin(S_OK);
  downstream_->blockOn(0);
  HRESULT hr = S_OK;
  auto queue = std::make_unique<COutputQueue>(downstream_->pin(), &hr);
  ASSERT_EQ(hr, S_OK);
  ASSERT_EQ(queue->Receive(hand(0)), S_OK);
  ASSERT_TRUE(downstream_->waitUntilBlocked());
  for (int i = 1; i < 4; ++i) ASSERT_EQ(queue->Receive(hand(i)), S_OK);
  queue->EOS();

  // The destructor waits for the blocked delivery; let it go only once that wait has begun.
  UniqueHandle destroyed(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  std::thread destroyer([&] {
    queue.reset();
    ::SetEvent(destroyed.get());
  });
  ::Sleep(100);
  downstream_->release();
  EXPECT_EQ(::WaitForSingleObject(destroyed.get(), kTimeoutMs), WAIT_OBJECT_0);
  destroyer.join();
  EXPECT_EQ(downstream_->log(), "S0");
  EXPECT_TRUE(onlyTestHoldsSamples());
  EXPECT_EQ(referencesOf(downstream_->pin()), 1u);

  // A direct queue's partial batch goes the same way.
  downstream_ = new DownstreamPin(S_FALSE);
  {
    COutputQueue direct(downstream_->pin(), &hr, true, true, 3, true);
    ASSERT_EQ(direct.Receive(hand(4)), S_OK);
    ASSERT_EQ(direct.Receive(hand(5)), S_OK);
  }
  EXPECT_EQ(downstream_->log(), "");
  EXPECT_TRUE(onlyTestHoldsSamples());
  EXPECT_EQ(referencesOf(downstream_->pin()), 1u);
}

}  // namespace
