// The base-class layer in real graphs of Wine's filter graph manager, against Wine's Null
// Renderer and Sample Grabber: connection, state changes, streaming, time stamps, end of
// stream, flushing and refused types, with every test object accounted for at the end.
#include <windows.h>
#include <dshow.h>
#include <gtest/gtest.h>
#include <wrl/client.h>

#include "common/win_raii.h"
#include "dshow/unknown.h"
#include "graph_support.h"
#include "test_filters.h"
#include "dshow/reference_clock.h"

using Microsoft::WRL::ComPtr;
using namespace graph_support;
using namespace test_filters;

namespace {

constexpr DWORD kWaitMs = 5000;

class GraphTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(apartment_.result()));
    ASSERT_EQ(
        ::CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&graph_)),
        S_OK);
    ASSERT_EQ(graph_.As(&control_), S_OK);
  }

  void TearDown() override {
    if (control_) control_->Stop();
    control_.Reset();
    graph_.Reset();
    grabber_.Reset();
    renderer_.Reset();
    recorder_.Reset();
    // Every filter, pin, allocator and sample of the test module is gone with the graph.
    EXPECT_FALSE(module_lock::inUse());
  }

  void add(IBaseFilter* filter, const wchar_t* name) {
    ASSERT_NE(filter, nullptr);
    ASSERT_EQ(graph_->AddFilter(filter, name), S_OK);
  }

  ComPtr<IBaseFilter> addWine(const CLSID& clsid, const wchar_t* name) {
    ComPtr<IBaseFilter> filter;
    EXPECT_EQ(::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&filter)),
              S_OK);
    if (filter) add(filter.Get(), name);
    return filter;
  }

  HRESULT connect(IBaseFilter* from, IBaseFilter* to, const AM_MEDIA_TYPE* type = nullptr) {
    ComPtr<IPin> out = findPin(from, PINDIR_OUTPUT);
    ComPtr<IPin> in = findPin(to, PINDIR_INPUT);
    if (!out || !in) return E_UNEXPECTED;
    return graph_->ConnectDirect(out.Get(), in.Get(), type);
  }

  // source -> [transform ->] Sample Grabber (recording into recorder_) -> Null Renderer
  void buildRecordingChain(IBaseFilter* source, IBaseFilter* transform) {
    recorder_ = new SampleRecorder();
    grabber_ = makeSampleGrabber(recorder_.Get(), MEDIATYPE_Video, GUID_NULL);
    add(source, L"source");
    IBaseFilter* upstream = source;
    if (transform) {
      add(transform, L"transform");
      ASSERT_EQ(connect(source, transform), S_OK);
      upstream = transform;
    }
    add(grabber_.Get(), L"grabber");
    renderer_ = addWine(kNullRenderer, L"renderer");
    ASSERT_EQ(connect(upstream, grabber_.Get()), S_OK);
    ASSERT_EQ(connect(grabber_.Get(), renderer_.Get()), S_OK);
    ASSERT_EQ(UseBaseReferenceClock(graph_.Get()), S_OK);
  }

  void runWithoutClock() {
    ComPtr<IMediaFilter> timing;
    ASSERT_EQ(graph_.As(&timing), S_OK);
    ASSERT_EQ(timing->SetSyncSource(nullptr), S_OK);
  }

  FILTER_STATE waitForState() {
    OAFilterState state = State_Stopped;
    EXPECT_EQ(control_->GetState(kWaitMs, &state), S_OK);
    return static_cast<FILTER_STATE>(state);
  }

  ComApartment apartment_{COINIT_MULTITHREADED};
  ComPtr<IGraphBuilder> graph_;
  ComPtr<IMediaControl> control_;
  ComPtr<SampleRecorder> recorder_;
  ComPtr<IBaseFilter> grabber_;
  ComPtr<IBaseFilter> renderer_;
};

void expectNumberedRun(const std::vector<SeenSample>& samples, bool inverted) {
  for (size_t i = 0; i < samples.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(samples[i].timeResult, S_OK);
    EXPECT_EQ(samples[i].start, static_cast<REFERENCE_TIME>(i) * kPeriod);
    EXPECT_EQ(samples[i].stop, static_cast<REFERENCE_TIME>(i + 1) * kPeriod);
    EXPECT_EQ(samples[i].length, static_cast<long>(kFrameBytes));
    const DWORD number = static_cast<DWORD>(i);
    EXPECT_EQ(samples[i].firstWord, inverted ? ~number : number);
  }
}

TEST_F(GraphTest, SourceRunsPausesAndStopsRepeatedlyIntoNullRenderer) {
  ComPtr<NumberedSource> source = new NumberedSource();
  ASSERT_NO_FATAL_FAILURE(buildRecordingChain(source.Get(), nullptr));

  NumberedStream* stream = source->stream();
  for (int cycle = 1; cycle <= 3; ++cycle) {
    SCOPED_TRACE(cycle);
    recorder_->clear();
    ASSERT_TRUE(SUCCEEDED(control_->Run()));
    EXPECT_EQ(waitForState(), State_Running);
    ASSERT_TRUE(recorder_->waitFor(5, kWaitMs));

    ASSERT_TRUE(SUCCEEDED(control_->Pause()));
    EXPECT_EQ(waitForState(), State_Paused);
    EXPECT_TRUE(stream->ThreadExists());
    ASSERT_TRUE(SUCCEEDED(control_->Run()));
    const size_t before = recorder_->samples().size();
    ASSERT_TRUE(recorder_->waitFor(before + 5, kWaitMs));

    ASSERT_EQ(control_->Stop(), S_OK);
    EXPECT_FALSE(stream->ThreadExists()) << "stop must end the worker thread";
    EXPECT_EQ(stream->threadsCreated, cycle);
    EXPECT_EQ(stream->threadsDestroyed, cycle);
    // Numbering restarts with each thread; pausing in between keeps the sequence unbroken.
    expectNumberedRun(recorder_->samples(), false);
  }
}

TEST_F(GraphTest, TransformSeesEverySampleAndPassesEndOfStreamToTheRenderer) {
  constexpr LONG kFrames = 20;
  ComPtr<NumberedSource> source = new NumberedSource(kFrames);
  ComPtr<InvertFilter> invert = new InvertFilter();
  ASSERT_NO_FATAL_FAILURE(buildRecordingChain(source.Get(), invert.Get()));
  runWithoutClock();

  ASSERT_TRUE(SUCCEEDED(control_->Run()));
  ASSERT_TRUE(waitForEvent(graph_.Get(), EC_COMPLETE, kWaitMs)) << "end of stream never arrived";
  EXPECT_EQ(invert->transformed, kFrames);
  EXPECT_EQ(invert->endsOfStream, 1);
  EXPECT_EQ(invert->transformedBeforeEnd, kFrames) << "end of stream overtook a sample";
  std::vector<SeenSample> samples = recorder_->samples();
  ASSERT_EQ(samples.size(), static_cast<size_t>(kFrames));
  expectNumberedRun(samples, true);
  ASSERT_EQ(control_->Stop(), S_OK);
}

TEST_F(GraphTest, WithoutAClockTheSourceRunsAheadUnpaced) {
  ComPtr<NumberedSource> source = new NumberedSource(200);
  ASSERT_NO_FATAL_FAILURE(buildRecordingChain(source.Get(), nullptr));
  runWithoutClock();

  const ULONGLONG started = ::GetTickCount64();
  ASSERT_TRUE(SUCCEEDED(control_->Run()));
  ASSERT_TRUE(waitForEvent(graph_.Get(), EC_COMPLETE, kWaitMs));
  // 200 frames of 10 ms would take 2 s at their time stamps.
  EXPECT_LT(::GetTickCount64() - started, 1500u);
  EXPECT_EQ(recorder_->samples().size(), 200u);
}

class QueuedDeliveryTest : public GraphTest, public ::testing::WithParamInterface<Delivery> {};

TEST_P(QueuedDeliveryTest, DeliversInOrderAndEndOfStreamComesLast) {
  constexpr LONG kFrames = 30;
  ComPtr<NumberedSource> source = new NumberedSource(kFrames, GetParam());
  ASSERT_NO_FATAL_FAILURE(buildRecordingChain(source.Get(), nullptr));
  runWithoutClock();

  ComPtr<IMemInputPin> downstream;
  ASSERT_EQ(findPin(grabber_.Get(), PINDIR_INPUT).As(&downstream), S_OK);
  const bool blocking = downstream->ReceiveCanBlock() == S_OK;

  ASSERT_TRUE(SUCCEEDED(control_->Run()));
  ASSERT_TRUE(waitForEvent(graph_.Get(), EC_COMPLETE, kWaitMs));
  EXPECT_EQ(source->stream()->queueThreaded.load(), GetParam() == Delivery::AutoQueue && blocking);
  // The renderer reports completion only after end of stream, so every sample came first.
  std::vector<SeenSample> samples = recorder_->samples();
  ASSERT_EQ(samples.size(), static_cast<size_t>(kFrames));
  expectNumberedRun(samples, false);
  ASSERT_EQ(control_->Stop(), S_OK);
}

INSTANTIATE_TEST_SUITE_P(OutputQueue, QueuedDeliveryTest,
                         ::testing::Values(Delivery::AutoQueue, Delivery::UnthreadedQueue));

TEST_F(GraphTest, FlushPassesThroughTheTransformToTheRenderer) {
  ComPtr<NumberedSource> source = new NumberedSource();
  ComPtr<InvertFilter> invert = new InvertFilter();
  ASSERT_NO_FATAL_FAILURE(buildRecordingChain(source.Get(), invert.Get()));

  // Paused, the renderer holds on to the first frame and the source's worker waits in Deliver.
  ASSERT_TRUE(SUCCEEDED(control_->Pause()));
  ASSERT_TRUE(recorder_->waitFor(1, kWaitMs));
  NumberedStream* stream = source->stream();
  EXPECT_EQ(stream->deliveriesRefused, 0);

  // As a source does when it seeks: flush from the application's thread. The renderer lets go
  // of the waiting delivery only if the flush reached it.
  EXPECT_EQ(stream->DeliverBeginFlush(), S_OK);
  const ULONGLONG deadline = ::GetTickCount64() + kWaitMs;
  while (stream->deliveriesRefused == 0 && ::GetTickCount64() < deadline) ::Sleep(5);
  EXPECT_EQ(stream->deliveriesRefused, 1);
  EXPECT_EQ(stream->DeliverEndFlush(), S_OK);
  EXPECT_EQ(invert->beginFlushes, 1);
  EXPECT_EQ(invert->endFlushes, 1);
  ASSERT_EQ(control_->Stop(), S_OK);

  // The chain streams again after the flush.
  recorder_->clear();
  ASSERT_TRUE(SUCCEEDED(control_->Run()));
  EXPECT_TRUE(recorder_->waitFor(3, kWaitMs));
  ASSERT_EQ(control_->Stop(), S_OK);
}

TEST_F(GraphTest, RefusedTypesFailTheConnectionWithTheirCodes) {
  ComPtr<NumberedSource> source = new NumberedSource();
  ComPtr<InvertFilter> invert = new InvertFilter();
  ComPtr<SampleRecorder> recorder = new SampleRecorder();
  ComPtr<IBaseFilter> audioOnly = makeSampleGrabber(recorder.Get(), MEDIATYPE_Audio, GUID_NULL);
  add(source.Get(), L"source");
  add(invert.Get(), L"invert");
  add(audioOnly.Get(), L"audio grabber");
  // Wine's decompressor takes compressed video only.
  ComPtr<IBaseFilter> decompressor = addWine(CLSID_AVIDec, L"decompressor");

  CMediaType exact = frameType();
  EXPECT_EQ(connect(source.Get(), audioOnly.Get(), &exact), VFW_E_TYPE_NOT_ACCEPTED);
  EXPECT_EQ(connect(source.Get(), audioOnly.Get()), VFW_E_NO_ACCEPTABLE_TYPES);

  // The transform's output follows its input, so it cannot connect first.
  EXPECT_EQ(connect(invert.Get(), decompressor.Get(), &exact), E_UNEXPECTED);
  EXPECT_EQ(connect(invert.Get(), decompressor.Get()), VFW_E_NO_ACCEPTABLE_TYPES);

  ASSERT_EQ(connect(source.Get(), invert.Get()), S_OK);
  EXPECT_EQ(connect(invert.Get(), decompressor.Get()), VFW_E_NO_ACCEPTABLE_TYPES);
  ComPtr<IPin> invertOut = findPin(invert.Get(), PINDIR_OUTPUT);
  ComPtr<IPin> peer;
  EXPECT_EQ(invertOut->ConnectedTo(&peer), VFW_E_NOT_CONNECTED);
  EXPECT_EQ(peer.Get(), nullptr);
}

}  // namespace
