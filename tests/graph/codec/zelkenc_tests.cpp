// The encoder filter in graphs of Wine's filter graph manager, between a push source and a
// recording sink: the compressed type it offers and the inputs it takes, the allocator demands
// on both sides, and the samples it makes (key, difference and empty samples, the keyframe
// rate from the registry, short input samples, restarts after flush and stop, a new type on a
// sample), with the notifications passing through its output queue; and its settings through
// IAMVideoCompression, stored as they change and used from the next sample.
#include <windows.h>
#include <dshow.h>
#include <gtest/gtest.h>
#include <wrl/client.h>

#include <zlib.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "codec/frame_format.h"
#include "codec/frame_reader.h"
#include "codec/zlkc_media_type.h"
#include "codec_graph_test.h"
#include "graph_support.h"
#include "encoder/zelkenc_filter.h"
#include "encoder/zelkenc_ids.h"

using Microsoft::WRL::ComPtr;
using namespace codec_graph;

namespace {

constexpr LONG kWidth = 16;
constexpr LONG kHeight = 8;
constexpr LONG kPitch = kWidth * 4;
constexpr LONG kFrameBytes = kPitch * kHeight;

ComPtr<ZelkencFilter> makeEncoder() {
  HRESULT hr = E_FAIL;
  CUnknown* created = ZelkencFilter::create(nullptr, &hr);
  EXPECT_EQ(hr, S_OK);
  return ComPtr<ZelkencFilter>(static_cast<ZelkencFilter*>(created));
}

// Pixels [0, rows x width) of `frame`.
Pixels firstRows(const Pixels& frame, LONG rows) {
  return Pixels(frame.begin(), frame.begin() + rows * kWidth);
}

void expectKeySample(const ReceivedSample& sample, const Pixels& frame, LONG rows = kHeight) {
  EXPECT_TRUE(sample.syncPoint);
  const std::vector<Item> items = itemsOf(sample.data);
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0].type, codec::kClearMarker);
  EXPECT_EQ(items[1].type, codec::kRawRectangle);
  EXPECT_EQ(items[1].rect, (codec::FrameRect{0, 0, kWidth, rows}));
  ASSERT_TRUE(items[1].inflated);
  EXPECT_EQ(items[1].content, firstRows(frame, rows));
}

void expectEmptyDifference(const ReceivedSample& sample) {
  EXPECT_FALSE(sample.syncPoint);
  EXPECT_TRUE(sample.data.empty());
}

// While it lives, every request below registry root `root` in this process fails, as the
// machine's keys do for a user who may not write them: the root is pointed at a deleted key.
class RefusedRoot {
 public:
  explicit RefusedRoot(HKEY root) : root_(root) {
    constexpr wchar_t kScratch[] = L"Software\\ZelkTestRefusedRoot";
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, kScratch, 0, nullptr, REG_OPTION_VOLATILE,
                          KEY_ALL_ACCESS, nullptr, deleted_.put(), nullptr) != ERROR_SUCCESS ||
        ::RegDeleteKeyW(HKEY_CURRENT_USER, kScratch) != ERROR_SUCCESS) {
      return;
    }
    overridden_ = ::RegOverridePredefKey(root_, deleted_.get()) == ERROR_SUCCESS;
  }
  ~RefusedRoot() {
    if (overridden_) ::RegOverridePredefKey(root_, nullptr);
  }
  bool overridden() const { return overridden_; }

 private:
  HKEY root_;
  UniqueRegKey deleted_;
  bool overridden_ = false;
};

class EncoderGraph : public CodecGraphTest {
 protected:
  void TearDown() override {
    if (control_) control_->Stop();
    source_.Reset();
    encoder_.Reset();
    sink_.Reset();
    CodecGraphTest::TearDown();
  }

  // push source -> Zelkenc -> recording sink, connected but stopped. The source asks for a
  // single buffer: the encoder must raise that itself.
  void build(const CMediaType& input = videoType(MEDIASUBTYPE_RGB32, kWidth, kHeight)) {
    source_ = new PushSource(input, 1, kFrameBytes);
    encoder_ = makeEncoder();
    sink_ = new RecordingSink(MEDIASUBTYPE_ZLKC);
    ASSERT_NO_FATAL_FAILURE(add(source_.Get(), L"source"));
    ASSERT_NO_FATAL_FAILURE(add(encoder_.Get(), L"Zelkenc"));
    ASSERT_NO_FATAL_FAILURE(add(sink_.Get(), L"sink"));
    ASSERT_EQ(connect(source_.Get(), encoder_.Get()), S_OK);
    ASSERT_EQ(connect(encoder_.Get(), sink_.Get()), S_OK);
  }

  void buildAndPause() {
    ASSERT_NO_FATAL_FAILURE(build());
    ASSERT_NO_FATAL_FAILURE(pause());
  }

  HRESULT push(const Pixels& frame, const SampleFlags& flags = {}) {
    return source_->pin()->push(frame.data(), frame.size() * 4, flags);
  }

  // Pushes every frame and expects as many samples out.
  std::vector<ReceivedSample> encode(const std::vector<Pixels>& frames) {
    sink_->clear();
    for (const Pixels& frame : frames) EXPECT_EQ(push(frame), S_OK);
    std::vector<ReceivedSample> samples = sink_->samples();
    EXPECT_EQ(samples.size(), frames.size());
    return samples;
  }

  IPin* encoderInput() { return source_->pin()->GetConnected(); }

  ComPtr<PushSource> source_;
  ComPtr<ZelkencFilter> encoder_;
  ComPtr<RecordingSink> sink_;
};

TEST_F(EncoderGraph, AcceptsOnlyRgb32VideoWithAPositiveSize) {
  ComPtr<ZelkencFilter> encoder = makeEncoder();
  const CMediaType good = videoType(MEDIASUBTYPE_RGB32, kWidth, kHeight);
  EXPECT_EQ(encoder->CheckInputType(&good), S_OK);
  EXPECT_EQ(encoder->CheckInputType(nullptr), E_POINTER);

  CMediaType rgb24 = videoType(MEDIASUBTYPE_RGB24, kWidth, kHeight);
  EXPECT_EQ(encoder->CheckInputType(&rgb24), VFW_E_TYPE_NOT_ACCEPTED);
  CMediaType topDown = videoType(MEDIASUBTYPE_RGB32, kWidth, -kHeight);
  EXPECT_EQ(encoder->CheckInputType(&topDown), VFW_E_TYPE_NOT_ACCEPTED);
  CMediaType noWidth = videoType(MEDIASUBTYPE_RGB32, 0, kHeight);
  EXPECT_EQ(encoder->CheckInputType(&noWidth), VFW_E_TYPE_NOT_ACCEPTED);
  CMediaType shortFormat = good;
  shortFormat.ReallocFormatBuffer(sizeof(VIDEOINFOHEADER) - 4);
  EXPECT_EQ(encoder->CheckInputType(&shortFormat), VFW_E_TYPE_NOT_ACCEPTED);
  CMediaType audio = good;
  audio.SetType(&MEDIATYPE_Audio);
  EXPECT_EQ(encoder->CheckInputType(&audio), VFW_E_TYPE_NOT_ACCEPTED);
}

TEST_F(EncoderGraph, OffersTheCompressedTypeOfItsInput) {
  ComPtr<ZelkencFilter> unconnected = makeEncoder();
  CMediaType type;
  EXPECT_EQ(unconnected->GetMediaType(0, &type), E_UNEXPECTED);
  unconnected.Reset();

  CMediaType input = videoType(MEDIASUBTYPE_RGB32, kWidth, kHeight);
  auto* inputInfo = reinterpret_cast<VIDEOINFOHEADER*>(input.Format());
  inputInfo->rcSource = {1, 2, 3, 4};
  inputInfo->dwBitRate = 12345;
  ASSERT_NO_FATAL_FAILURE(build(input));

  EXPECT_EQ(encoder_->GetMediaType(-1, &type), E_INVALIDARG);
  EXPECT_EQ(encoder_->GetMediaType(1, &type), VFW_S_NO_MORE_ITEMS);
  EXPECT_EQ(encoder_->GetMediaType(0, nullptr), E_POINTER);
  ASSERT_EQ(encoder_->GetMediaType(0, &type), S_OK);
  EXPECT_EQ(*type.Type(), MEDIATYPE_Video);
  EXPECT_EQ(*type.Subtype(), MEDIASUBTYPE_ZLKC);
  EXPECT_EQ(type.Subtype()->Data1, 0x434B4C5Au);
  EXPECT_FALSE(type.IsFixedSize());
  EXPECT_TRUE(type.IsTemporalCompressed());
  EXPECT_EQ(type.lSampleSize, input.lSampleSize);
  EXPECT_EQ(*type.FormatType(), FORMAT_VideoInfo);
  ASSERT_EQ(type.FormatLength(), input.FormatLength());
  VIDEOINFOHEADER expected = *inputInfo;
  expected.bmiHeader.biCompression = 0x434B4C5A;
  // The largest sample it may write: a key sample of the whole frame.
  expected.bmiHeader.biSizeImage =
      static_cast<DWORD>(input.lSampleSize + input.lSampleSize / 1000 + 268);
  EXPECT_EQ(std::memcmp(type.Format(), &expected, sizeof(expected)), 0);

  // The connection the sink got is that type.
  AM_MEDIA_TYPE connected = {};
  ASSERT_EQ(sink_->pin()->ConnectionMediaType(&connected), S_OK);
  EXPECT_TRUE(CMediaType(connected) == type);
  FreeMediaType(connected);

  CMediaType otherSize = type;
  reinterpret_cast<VIDEOINFOHEADER*>(otherSize.Format())->bmiHeader.biHeight = kHeight + 1;
  EXPECT_EQ(encoder_->CheckTransform(&input, &otherSize), VFW_E_TYPE_NOT_ACCEPTED);
  CMediaType uncompressed = input;
  EXPECT_EQ(encoder_->CheckTransform(&input, &uncompressed), VFW_E_TYPE_NOT_ACCEPTED);
  EXPECT_EQ(encoder_->CheckTransform(&input, &type), S_OK);
}

TEST_F(EncoderGraph, RaisesTheUpstreamAllocatorToFourBuffers) {
  // Raised as soon as upstream announces it, before the output is connected.
  source_ = new PushSource(videoType(MEDIASUBTYPE_RGB32, kWidth, kHeight), 1, kFrameBytes);
  encoder_ = makeEncoder();
  sink_ = new RecordingSink(MEDIASUBTYPE_ZLKC);
  ASSERT_NO_FATAL_FAILURE(add(source_.Get(), L"source"));
  ASSERT_NO_FATAL_FAILURE(add(encoder_.Get(), L"Zelkenc"));
  ASSERT_NO_FATAL_FAILURE(add(sink_.Get(), L"sink"));
  ASSERT_EQ(connect(source_.Get(), encoder_.Get()), S_OK);
  ComPtr<IMemInputPin> input;
  ASSERT_EQ(encoderInput()->QueryInterface(IID_IMemInputPin, &input), S_OK);
  ComPtr<IMemAllocator> allocator;
  ASSERT_EQ(input->GetAllocator(&allocator), S_OK);
  ALLOCATOR_PROPERTIES properties = {};
  ASSERT_EQ(allocator->GetProperties(&properties), S_OK);
  EXPECT_EQ(properties.cBuffers, 4);
  EXPECT_EQ(properties.cbBuffer, kFrameBytes);
  EXPECT_EQ(input->ReceiveCanBlock(), S_OK);
  ASSERT_EQ(connect(encoder_.Get(), sink_.Get()), S_OK);

  // The encoder holds one input sample as its reference; with one buffer the source would
  // have nothing to fill.
  ASSERT_NO_FATAL_FAILURE(pause());
  for (uint32_t i = 0; i < 6; ++i) EXPECT_EQ(push(pattern(kWidth, kHeight, i)), S_OK) << i;
}

TEST_F(EncoderGraph, AsksDownstreamForFourBuffersThatHoldAKeySample) {
  ASSERT_NO_FATAL_FAILURE(build());
  const LONG wanted = static_cast<LONG>(codec::sampleCapacity(kFrameBytes));
  ALLOCATOR_PROPERTIES properties = {};
  ASSERT_NE(sink_->notifiedAllocator(), nullptr);
  ASSERT_EQ(sink_->notifiedAllocator()->GetProperties(&properties), S_OK);
  EXPECT_EQ(properties.cBuffers, 4);
  EXPECT_EQ(properties.cbBuffer, wanted);

  ALLOCATOR_PROPERTIES request = {};
  request.cbAlign = 1;
  ComPtr<TestAllocator> fewer = new TestAllocator(3, 0, -1);
  EXPECT_EQ(encoder_->DecideBufferSize(fewer.Get(), &request), E_FAIL);
  ComPtr<TestAllocator> smaller = new TestAllocator(0, wanted - 1, -1);
  EXPECT_EQ(encoder_->DecideBufferSize(smaller.Get(), &request), E_FAIL);
  EXPECT_EQ(encoder_->DecideBufferSize(smaller.Get(), nullptr), E_POINTER);
}

TEST_F(EncoderGraph, ConnectionFailsWhenDownstreamInsistsOnTooFewBuffers) {
  source_ = new PushSource(videoType(MEDIASUBTYPE_RGB32, kWidth, kHeight), 1, kFrameBytes);
  encoder_ = makeEncoder();
  sink_ = new RecordingSink(MEDIASUBTYPE_ZLKC);
  ComPtr<TestAllocator> fewer = new TestAllocator(2, 0, -1);
  sink_->offerAllocator(fewer.Get(), true);
  ASSERT_NO_FATAL_FAILURE(add(source_.Get(), L"source"));
  ASSERT_NO_FATAL_FAILURE(add(encoder_.Get(), L"Zelkenc"));
  ASSERT_NO_FATAL_FAILURE(add(sink_.Get(), L"sink"));
  ASSERT_EQ(connect(source_.Get(), encoder_.Get()), S_OK);
  EXPECT_TRUE(FAILED(connect(encoder_.Get(), sink_.Get())));
  EXPECT_EQ(sink_->notifiedAllocator(), nullptr);

  // Offered but not insisted on, the short allocator is passed over for one of our own.
  sink_->offerAllocator(fewer.Get(), false);
  ASSERT_EQ(connect(encoder_.Get(), sink_.Get()), S_OK);
  ASSERT_NE(sink_->notifiedAllocator(), nullptr);
  EXPECT_NE(sink_->notifiedAllocator(), fewer.Get());
}

TEST_F(EncoderGraph, FirstSampleIsKeyThenIdenticalFramesGiveEmptyDifferences) {
  ASSERT_NO_FATAL_FAILURE(buildAndPause());
  const Pixels frame = pattern(kWidth, kHeight, 1);
  const std::vector<ReceivedSample> samples = encode({frame, frame, frame});
  ASSERT_EQ(samples.size(), 3u);
  expectKeySample(samples[0], frame);
  expectEmptyDifference(samples[1]);
  expectEmptyDifference(samples[2]);
}

TEST_F(EncoderGraph, OnePixelChangeGivesAOneByOneDifference) {
  ASSERT_NO_FATAL_FAILURE(buildAndPause());
  const Pixels frame = pattern(kWidth, kHeight, 2);
  Pixels blackPixel = frame;
  blackPixel[3 * kWidth + 5] = 0;
  Pixels colouredPixel = blackPixel;
  colouredPixel[7 * kWidth + 15] = 0x123456;

  const std::vector<ReceivedSample> samples = encode({frame, blackPixel, colouredPixel});
  ASSERT_EQ(samples.size(), 3u);
  for (size_t i = 1; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_FALSE(samples[i].syncPoint);
    const std::vector<Item> items = itemsOf(samples[i].data);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].type, codec::kDifferenceRectangle);
    ASSERT_TRUE(items[0].inflated);
  }
  EXPECT_EQ(itemsOf(samples[1].data)[0].rect, (codec::FrameRect{5, 3, 6, 4}));
  // Black is carried with the change mark, so it does not read as "unchanged".
  EXPECT_EQ(itemsOf(samples[1].data)[0].content, Pixels{0xFF000000u});
  EXPECT_EQ(itemsOf(samples[2].data)[0].rect, (codec::FrameRect{15, 7, 16, 8}));
  EXPECT_EQ(itemsOf(samples[2].data)[0].content, Pixels{0xFF123456u});
}

TEST_F(EncoderGraph, ChangesOnAllFourEdgesGiveAKeySampleAndTheCountGoesOn) {
  storeEncoderSetting(L"keyframe", 3);
  ASSERT_NO_FATAL_FAILURE(buildAndPause());
  const Pixels first = pattern(kWidth, kHeight, 3);
  Pixels edges = first;
  edges[0] ^= 1;                           // first row, first column
  edges[(kHeight - 1) * kWidth + 7] ^= 1;  // last row
  edges[4 * kWidth + kWidth - 1] ^= 1;     // last column
  Pixels fourth = edges;
  fourth[2 * kWidth + 2] ^= 1;

  // Samples 0 and 3 are key by the count; sample 1 by its changes, which does not restart it.
  const std::vector<ReceivedSample> samples = encode({first, edges, edges, fourth, fourth});
  ASSERT_EQ(samples.size(), 5u);
  expectKeySample(samples[0], first);
  expectKeySample(samples[1], edges);
  expectEmptyDifference(samples[2]);
  expectKeySample(samples[3], fourth);
  expectEmptyDifference(samples[4]);
}

TEST_F(EncoderGraph, KeyframeRateOneMakesEverySampleKey) {
  storeEncoderSetting(L"keyframe", 1);
  ASSERT_NO_FATAL_FAILURE(buildAndPause());
  const Pixels frame = pattern(kWidth, kHeight, 4);
  const std::vector<ReceivedSample> samples = encode({frame, frame, frame});
  ASSERT_EQ(samples.size(), 3u);
  for (const ReceivedSample& sample : samples) expectKeySample(sample, frame);
}

TEST_F(EncoderGraph, KeyframeRateZeroForcesOnlyTheFirstSampleAfterARestart) {
  storeEncoderSetting(L"keyframe", 0);
  ASSERT_NO_FATAL_FAILURE(buildAndPause());
  const Pixels frame = pattern(kWidth, kHeight, 5);
  // Past the default rate of 30.
  const std::vector<ReceivedSample> samples = encode(std::vector<Pixels>(40, frame));
  ASSERT_EQ(samples.size(), 40u);
  expectKeySample(samples[0], frame);
  for (size_t i = 1; i < samples.size(); ++i) {
    SCOPED_TRACE(i);
    expectEmptyDifference(samples[i]);
  }
}

TEST_F(EncoderGraph, AStoredQualityBeyondZlibsLevelsCodesAtTheNearestOne) {
  // zlib takes no level 10; 10 reads back as quality 1.0, which is level 9.
  storeEncoderSetting(L"quality", 10);
  ASSERT_NO_FATAL_FAILURE(buildAndPause());
  const Pixels frame = pattern(kWidth, kHeight, 6);
  ASSERT_EQ(push(frame), S_OK);
  ASSERT_EQ(sink_->samples().size(), 1u);
  expectKeySample(sink_->samples()[0], frame);
  double quality = 0;
  EXPECT_EQ(encoder_->get_Quality(&quality), S_OK);
  EXPECT_DOUBLE_EQ(quality, 1.0);
}

TEST_F(EncoderGraph, ConnectsToTheAviMuxBehindAPassThroughTapAndCodesExactly) {
  // A pass-through filter upstream hands on the allocator of its own input, which nobody has
  // set up when the encoder's output connects.
  source_ = new PushSource(videoType(MEDIASUBTYPE_RGB32, kWidth, kHeight), 1, kFrameBytes);
  encoder_ = makeEncoder();
  sink_ = new RecordingSink(MEDIASUBTYPE_ZLKC);
  ComPtr<IBaseFilter> tap;
  ComPtr<IBaseFilter> mux;
  ASSERT_EQ(::CoCreateInstance(graph_support::kSampleGrabber, nullptr, CLSCTX_INPROC_SERVER,
                               IID_PPV_ARGS(&tap)),
            S_OK);
  ASSERT_EQ(::CoCreateInstance(CLSID_AviDest, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&mux)),
            S_OK);
  ASSERT_NO_FATAL_FAILURE(add(source_.Get(), L"source"));
  ASSERT_NO_FATAL_FAILURE(add(tap.Get(), L"tap"));
  ASSERT_NO_FATAL_FAILURE(add(encoder_.Get(), L"Zelkenc"));
  ASSERT_NO_FATAL_FAILURE(add(mux.Get(), L"AVI Mux"));
  ASSERT_NO_FATAL_FAILURE(add(sink_.Get(), L"sink"));
  ASSERT_EQ(connect(source_.Get(), tap.Get()), S_OK);
  ASSERT_EQ(connect(tap.Get(), encoder_.Get()), S_OK);
  ASSERT_EQ(connect(encoder_.Get(), mux.Get()), S_OK);

  // The same chain into a sink of ours, so the samples can be read back.
  ComPtr<IPin> encoderOut = graph_support::findPin(encoder_.Get(), PINDIR_OUTPUT);
  ComPtr<IPin> muxIn;
  ASSERT_EQ(encoderOut->ConnectedTo(&muxIn), S_OK);
  ASSERT_EQ(graph_->Disconnect(encoderOut.Get()), S_OK);
  ASSERT_EQ(graph_->Disconnect(muxIn.Get()), S_OK);
  ASSERT_EQ(graph_->RemoveFilter(mux.Get()), S_OK);
  ASSERT_EQ(connect(encoder_.Get(), sink_.Get()), S_OK);
  ASSERT_NO_FATAL_FAILURE(pause());
  std::vector<Pixels> frames;
  for (uint32_t i = 0; i < 4; ++i) {
    Pixels frame = pattern(kWidth, kHeight, 50);
    frame[i * 5] = 0x00102030 * (i + 1);  // a key sample, then small differences
    frames.push_back(frame);
  }
  const std::vector<ReceivedSample> samples = encode(frames);
  ASSERT_EQ(samples.size(), frames.size());
  codec::FrameReader reader;
  ASSERT_EQ(reader.setSize(kWidth, kHeight), S_OK);
  for (size_t i = 0; i < samples.size(); ++i) {
    reader.applySample(samples[i].data.data(), samples[i].data.size(), samples[i].syncPoint);
    EXPECT_EQ(Pixels(reader.pixels(), reader.pixels() + kWidth * kHeight), frames[i]) << i;
  }
  EXPECT_TRUE(samples[0].syncPoint);
  EXPECT_FALSE(samples[3].syncPoint);
}

TEST_F(EncoderGraph, TheInputSampleIsNeverWritten) {
  ASSERT_NO_FATAL_FAILURE(buildAndPause());
  Pixels frame = pattern(kWidth, kHeight, 40);
  for (uint32_t& pixel : frame) pixel |= 0x7F000000;
  for (int i = 0; i < 3; ++i) {
    frame[static_cast<size_t>(i) * 9] ^= 0x00010101;  // a key sample, then differences
    ASSERT_EQ(push(frame), S_OK);
    EXPECT_EQ(source_->pin()->lastDelivered(), bytesOf(frame)) << "sample " << i;
  }
}

TEST_F(EncoderGraph, ASampleCodedDuringAFlushIsNoReferenceAfterIt) {
  // A sample already inside Receive when the flush began is coded while downstream throws
  // its output away: the decoder never sees it, so nothing after the flush may build on it.
  ASSERT_NO_FATAL_FAILURE(buildAndPause());
  const Pixels before = pattern(kWidth, kHeight, 41);
  const Pixels during = pattern(kWidth, kHeight, 42);
  ASSERT_EQ(push(before), S_OK);
  ASSERT_EQ(encoder_->BeginFlush(), S_OK);  // the filter's part, with the input pin still open
  // Coded; the flushing sink throws the output away.
  EXPECT_TRUE(SUCCEEDED(push(during)));
  ASSERT_EQ(encoder_->EndFlush(), S_OK);
  sink_->clear();
  ASSERT_EQ(push(during), S_OK);
  ASSERT_EQ(sink_->samples().size(), 1u);
  expectKeySample(sink_->samples()[0], during);
}

TEST_F(EncoderGraph, AFixedSampleSizeBelowThePictureStillGetsRoomForAKeySample) {
  CMediaType input = videoType(MEDIASUBTYPE_RGB32, kWidth, kHeight);
  input.SetSampleSize(16);
  ASSERT_NO_FATAL_FAILURE(build(input));
  ALLOCATOR_PROPERTIES properties = {};
  ASSERT_NE(sink_->notifiedAllocator(), nullptr);
  ASSERT_EQ(sink_->notifiedAllocator()->GetProperties(&properties), S_OK);
  EXPECT_GE(properties.cbBuffer, static_cast<LONG>(codec::sampleCapacity(kFrameBytes)));
  ASSERT_NO_FATAL_FAILURE(pause());
  const Pixels frame = pattern(kWidth, kHeight, 43);
  ASSERT_EQ(push(frame), S_OK);
  ASSERT_EQ(sink_->samples().size(), 1u);
  expectKeySample(sink_->samples()[0], frame);
}

TEST_F(EncoderGraph, ShortInputSampleCodesOnlyItsCompleteRows) {
  ASSERT_NO_FATAL_FAILURE(buildAndPause());
  const Pixels frame = pattern(kWidth, kHeight, 7);
  ASSERT_EQ(source_->pin()->push(frame.data(), 3 * kPitch + 10, {}), S_OK);
  ASSERT_EQ(sink_->samples().size(), 1u);
  expectKeySample(sink_->samples()[0], frame, 3);

  // A reference of three rows compares only three.
  Pixels changed = frame;
  changed[6 * kWidth] ^= 1;
  changed[1 * kWidth + 4] ^= 1;
  sink_->clear();
  ASSERT_EQ(push(changed), S_OK);
  const std::vector<Item> items = itemsOf(sink_->samples().at(0).data);
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].rect, (codec::FrameRect{4, 1, 5, 2}));
}

TEST_F(EncoderGraph, FlushAndStopRestartWithAKeySample) {
  ASSERT_NO_FATAL_FAILURE(buildAndPause());
  const Pixels frame = pattern(kWidth, kHeight, 8);
  ASSERT_EQ(encode({frame, frame}).size(), 2u);

  ASSERT_EQ(encoderInput()->BeginFlush(), S_OK);
  ASSERT_EQ(encoderInput()->EndFlush(), S_OK);
  EXPECT_EQ(sink_->beginFlushes(), 1);
  EXPECT_EQ(sink_->endFlushes(), 1);
  std::vector<ReceivedSample> samples = encode({frame, frame});
  ASSERT_EQ(samples.size(), 2u);
  expectKeySample(samples[0], frame);
  expectEmptyDifference(samples[1]);

  ASSERT_NO_FATAL_FAILURE(stop());
  ASSERT_NO_FATAL_FAILURE(pause());
  samples = encode({frame, frame});
  ASSERT_EQ(samples.size(), 2u);
  expectKeySample(samples[0], frame);
  expectEmptyDifference(samples[1]);
}

TEST_F(EncoderGraph, NewMediaTypeOnASampleRestartsWithAKeySample) {
  ASSERT_NO_FATAL_FAILURE(buildAndPause());
  const Pixels frame = pattern(kWidth, kHeight, 9);
  ASSERT_EQ(encode({frame, frame}).size(), 2u);

  CMediaType slower = videoType(MEDIASUBTYPE_RGB32, kWidth, kHeight);
  reinterpret_cast<VIDEOINFOHEADER*>(slower.Format())->AvgTimePerFrame = 800000;
  SampleFlags flags;
  flags.mediaType = &slower;
  sink_->clear();
  ASSERT_EQ(push(frame, flags), S_OK);
  ASSERT_EQ(push(frame), S_OK);
  const std::vector<ReceivedSample> samples = sink_->samples();
  ASSERT_EQ(samples.size(), 2u);
  expectKeySample(samples[0], frame);
  expectEmptyDifference(samples[1]);
  AM_MEDIA_TYPE current = {};
  ASSERT_EQ(encoderInput()->ConnectionMediaType(&current), S_OK);
  EXPECT_EQ(reinterpret_cast<VIDEOINFOHEADER*>(current.pbFormat)->AvgTimePerFrame, 800000);
  FreeMediaType(current);
}

TEST_F(EncoderGraph, OutputSamplesKeepTheInputTimesAndFlags) {
  ASSERT_NO_FATAL_FAILURE(buildAndPause());
  const Pixels frame = pattern(kWidth, kHeight, 10);
  SampleFlags flags;
  flags.start = 1000;
  flags.stop = 2000;
  flags.discontinuity = true;
  flags.preroll = true;
  // The codec decides the sync point, not the source.
  flags.syncPoint = false;
  ASSERT_EQ(push(frame, flags), S_OK);
  flags.start = 2000;
  flags.stop = 3000;
  flags.discontinuity = false;
  flags.preroll = false;
  flags.syncPoint = true;
  ASSERT_EQ(push(frame, flags), S_OK);
  const std::vector<ReceivedSample> samples = sink_->samples();
  ASSERT_EQ(samples.size(), 2u);
  EXPECT_EQ(samples[0].timeResult, S_OK);
  EXPECT_EQ(samples[0].start, 1000);
  EXPECT_EQ(samples[0].stop, 2000);
  EXPECT_TRUE(samples[0].discontinuity);
  EXPECT_TRUE(samples[0].preroll);
  EXPECT_TRUE(samples[0].syncPoint);
  EXPECT_EQ(samples[1].start, 2000);
  EXPECT_EQ(samples[1].stop, 3000);
  EXPECT_FALSE(samples[1].discontinuity);
  EXPECT_FALSE(samples[1].preroll);
  EXPECT_FALSE(samples[1].syncPoint);
}

TEST_F(EncoderGraph, VariableSizeInputGetsBuffersForAWholeFrame) {
  CMediaType variable = videoType(MEDIASUBTYPE_RGB32, kWidth, kHeight);
  variable.SetVariableSize();
  ASSERT_NO_FATAL_FAILURE(build(variable));
  ALLOCATOR_PROPERTIES properties = {};
  ASSERT_EQ(sink_->notifiedAllocator()->GetProperties(&properties), S_OK);
  EXPECT_EQ(properties.cbBuffer, static_cast<LONG>(codec::sampleCapacity(kFrameBytes)));

  // Noise does not compress: the key sample needs nearly the whole frame.
  ASSERT_NO_FATAL_FAILURE(pause());
  const Pixels noise = pattern(kWidth, kHeight, 11);
  ASSERT_EQ(push(noise), S_OK);
  ASSERT_EQ(sink_->samples().size(), 1u);
  EXPECT_GT(sink_->samples()[0].data.size(), static_cast<size_t>(kFrameBytes));
  expectKeySample(sink_->samples()[0], noise);
}

TEST_F(EncoderGraph, NotificationsPassThroughTheOutputQueue) {
  ASSERT_NO_FATAL_FAILURE(buildAndPause());
  // The sink says its Receive may block: the queue delivers on a thread of its own.
  ASSERT_EQ(encoderInput()->EndOfStream(), S_OK);
  ASSERT_TRUE(sink_->waitForEndsOfStream(1, 5000));
  EXPECT_NE(sink_->endOfStreamThread(), ::GetCurrentThreadId());

  ASSERT_NO_FATAL_FAILURE(stop());
  sink_->setReceiveCanBlock(false);
  ASSERT_NO_FATAL_FAILURE(pause());
  ASSERT_EQ(encoderInput()->EndOfStream(), S_OK);
  ASSERT_TRUE(sink_->waitForEndsOfStream(2, 5000));
  EXPECT_EQ(sink_->endOfStreamThread(), ::GetCurrentThreadId());
}

TEST_F(EncoderGraph, NamesItsPropertyPage) {
  ComPtr<ZelkencFilter> encoder = makeEncoder();
  ComPtr<ISpecifyPropertyPages> pages;
  ASSERT_EQ(encoder->QueryInterface(IID_ISpecifyPropertyPages, &pages), S_OK);
  CAUUID list = {};
  ASSERT_EQ(pages->GetPages(&list), S_OK);
  ASSERT_EQ(list.cElems, 1u);
  EXPECT_EQ(list.pElems[0], CLSID_ZelkencProp);
  ::CoTaskMemFree(list.pElems);
  EXPECT_EQ(pages->GetPages(nullptr), E_POINTER);
}

ComPtr<IAMVideoCompression> compressionOf(IUnknown* object) {
  ComPtr<IAMVideoCompression> compression;
  EXPECT_EQ(object->QueryInterface(IID_IAMVideoCompression,
                                   reinterpret_cast<void**>(compression.GetAddressOf())),
            S_OK);
  return compression;
}

ComPtr<IAMVideoCompression> compressionOf(ZelkencFilter* encoder) {
  return compressionOf(static_cast<IBaseFilter*>(encoder));
}

TEST_F(EncoderGraph, LoadsWhereTheMachinesSettingsCannotBeWritten) {
  storeEncoderSetting(L"keyframe", 7);
  LONG rate = 0;
  {
    RefusedRoot machine(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(machine.overridden());
    // The user's own settings take the changes.
    ComPtr<IAMVideoCompression> compression = compressionOf(makeEncoder().Get());
    ASSERT_TRUE(compression);
    ASSERT_EQ(compression->put_KeyFrameRate(12), S_OK);
    ComPtr<IAMVideoCompression> next = compressionOf(makeEncoder().Get());
    ASSERT_TRUE(next);
    ASSERT_EQ(next->get_KeyFrameRate(&rate), S_OK);
    EXPECT_EQ(rate, 12);
    {
      // Nothing to read or write at all: the built-in values.
      RefusedRoot user(HKEY_CURRENT_USER);
      ASSERT_TRUE(user.overridden());
      ComPtr<IAMVideoCompression> bare = compressionOf(makeEncoder().Get());
      ASSERT_TRUE(bare);
      ASSERT_EQ(bare->get_KeyFrameRate(&rate), S_OK);
      EXPECT_EQ(rate, codec::FrameEncoder::kDefaultKeyframeRate);
    }
  }
  EXPECT_EQ(storedEncoderSetting(L"keyframe"), 7u) << "the machine's value untouched";
}

// How long zlib makes `bytes` at `level`.
size_t zlibLength(const std::vector<uint8_t>& bytes, int level) {
  std::vector<uint8_t> packed(::compressBound(static_cast<uLong>(bytes.size())));
  uLongf length = static_cast<uLongf>(packed.size());
  EXPECT_EQ(
      ::compress2(packed.data(), &length, bytes.data(), static_cast<uLong>(bytes.size()), level),
      Z_OK);
  return length;
}

TEST_F(EncoderGraph, QualityIsStoredAsALevelAndReadBackInTenths) {
  ComPtr<IAMVideoCompression> compression = compressionOf(makeEncoder().Get());
  ASSERT_TRUE(compression);
  struct Case {
    double quality;
    DWORD level;
    double reported;
  };
  const Case cases[] = {{-1.0, 9, 1.0}, {0.0, 0, 0.1},
                        {0.55, 4, 0.5}, {0.19, 0, 0.1},
                        {0.2, 1, 0.2},  {1.0, 9, 1.0},
                        {1.5, 9, 1.0},  {std::numeric_limits<double>::quiet_NaN(), 9, 1.0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.quality);
    // Start elsewhere each time, so that every case shows its own write.
    ASSERT_EQ(compression->put_Quality(c.level == 4 ? 0.3 : 0.55), S_OK);
    ASSERT_EQ(compression->put_Quality(c.quality), S_OK);
    EXPECT_EQ(storedEncoderSetting(L"quality"), c.level);
    double reported = -1.0;
    ASSERT_EQ(compression->get_Quality(&reported), S_OK);
    EXPECT_NEAR(reported, c.reported, 1e-12);
  }
  EXPECT_EQ(compression->get_Quality(nullptr), E_POINTER);
}

TEST_F(EncoderGraph, KeyframeRateIsKeptToAByteAndStored) {
  ComPtr<IAMVideoCompression> compression = compressionOf(makeEncoder().Get());
  ASSERT_TRUE(compression);
  for (const auto& [asked, kept] : {std::pair{1000L, 255L}, std::pair{-1L, 30L}, std::pair{0L, 0L},
                                    std::pair{255L, 255L}, std::pair{7L, 7L}}) {
    SCOPED_TRACE(asked);
    ASSERT_EQ(compression->put_KeyFrameRate(asked), S_OK);
    LONG rate = -5;
    ASSERT_EQ(compression->get_KeyFrameRate(&rate), S_OK);
    EXPECT_EQ(rate, kept);
    EXPECT_EQ(storedEncoderSetting(L"keyframe"), static_cast<DWORD>(kept));
  }
  EXPECT_EQ(compression->get_KeyFrameRate(nullptr), E_POINTER);

  // A later encoder starts from what this one stored.
  ComPtr<IAMVideoCompression> next = compressionOf(makeEncoder().Get());
  ASSERT_TRUE(next);
  LONG rate = 0;
  ASSERT_EQ(next->get_KeyFrameRate(&rate), S_OK);
  EXPECT_EQ(rate, 7);
}

TEST_F(EncoderGraph, StoredValuesAreTakenAsTheyAre) {
  storeEncoderSetting(L"quality", 20);
  storeEncoderSetting(L"keyframe", 1000);
  ComPtr<ZelkencFilter> encoder = makeEncoder();
  ComPtr<IAMVideoCompression> compression = compressionOf(encoder.Get());
  ASSERT_TRUE(compression);
  double quality = 0.0;
  ASSERT_EQ(compression->get_Quality(&quality), S_OK);
  EXPECT_EQ(quality, 1.0) << "level 20 reads as the most there is";
  LONG rate = 0;
  ASSERT_EQ(compression->get_KeyFrameRate(&rate), S_OK);
  EXPECT_EQ(rate, 1000);
  EXPECT_EQ(storedEncoderSetting(L"quality"), 20u) << "reading rewrites nothing";
}

TEST_F(EncoderGraph, GetInfoDescribesTheCompressorAndCutsItsTexts) {
  ComPtr<IAMVideoCompression> compression = compressionOf(makeEncoder().Get());
  ASSERT_TRUE(compression);
  int versionBytes = -1;
  int descriptionBytes = -1;
  ASSERT_EQ(compression->GetInfo(nullptr, &versionBytes, nullptr, &descriptionBytes, nullptr,
                                 nullptr, nullptr, nullptr),
            S_OK);
  EXPECT_EQ(versionBytes, 26);
  EXPECT_EQ(descriptionBytes, 42);

  wchar_t version[32];
  wchar_t description[32];
  versionBytes = sizeof version;
  descriptionBytes = sizeof description;
  LONG keyframeRate = -1;
  LONG framesPerKey = -1;
  double quality = -1.0;
  LONG capabilities = -1;
  ASSERT_EQ(compression->GetInfo(version, &versionBytes, description, &descriptionBytes,
                                 &keyframeRate, &framesPerKey, &quality, &capabilities),
            S_OK);
  EXPECT_STREQ(version, L"Version 0.99");
  EXPECT_EQ(versionBytes, 26);
  EXPECT_STREQ(description, L"ZelkScreenCompressor");
  EXPECT_EQ(descriptionBytes, 42);
  EXPECT_EQ(keyframeRate, 30);
  EXPECT_EQ(framesPerKey, 0);
  EXPECT_EQ(quality, 1.0);
  EXPECT_EQ(capabilities, CompressionCaps_CanQuality | CompressionCaps_CanKeyFrame);

  // A short buffer gets what fits, terminated; an odd size holds its whole characters only.
  wchar_t shortText[8];
  std::fill(std::begin(shortText), std::end(shortText), L'#');
  versionBytes = 9;
  ASSERT_EQ(compression->GetInfo(shortText, &versionBytes, nullptr, nullptr, nullptr, nullptr,
                                 nullptr, nullptr),
            S_OK);
  EXPECT_STREQ(shortText, L"Ver");
  EXPECT_EQ(versionBytes, 8);
  EXPECT_EQ(shortText[4], L'#') << "nothing written past the buffer";
  versionBytes = 1;
  shortText[0] = L'#';
  ASSERT_EQ(compression->GetInfo(shortText, &versionBytes, nullptr, nullptr, nullptr, nullptr,
                                 nullptr, nullptr),
            S_OK);
  EXPECT_EQ(versionBytes, 0);
  EXPECT_EQ(shortText[0], L'#') << "no room even for the terminator";

  EXPECT_EQ(compression->put_PFramesPerKeyFrame(1), E_NOTIMPL);
  EXPECT_EQ(compression->get_PFramesPerKeyFrame(&framesPerKey), E_NOTIMPL);
  DWORDLONG window = 0;
  EXPECT_EQ(compression->put_WindowSize(1), E_NOTIMPL);
  EXPECT_EQ(compression->get_WindowSize(&window), E_NOTIMPL);
  EXPECT_EQ(compression->OverrideKeyFrame(1), E_NOTIMPL);
  EXPECT_EQ(compression->OverrideFrameSize(1, 100), E_NOTIMPL);
}

TEST_F(EncoderGraph, OutputPinHandsOutTheFiltersSettings) {
  ComPtr<ZelkencFilter> encoder = makeEncoder();
  ComPtr<IAMVideoCompression> fromFilter = compressionOf(encoder.Get());
  ComPtr<IPin> output;
  ASSERT_EQ(encoder->FindPin(L"Out", &output), S_OK);
  ComPtr<IAMVideoCompression> fromPin = compressionOf(output.Get());
  ASSERT_TRUE(fromPin);
  EXPECT_EQ(fromPin.Get(), fromFilter.Get());
  ComPtr<IPin> input;
  ASSERT_EQ(encoder->FindPin(L"In", &input), S_OK);
  ComPtr<IAMVideoCompression> fromInput;
  EXPECT_EQ(input->QueryInterface(IID_IAMVideoCompression,
                                  reinterpret_cast<void**>(fromInput.GetAddressOf())),
            E_NOINTERFACE);
}

TEST_F(EncoderGraph, ChangesWhileStreamingApplyFromTheNextSample) {
  ASSERT_NO_FATAL_FAILURE(buildAndPause());
  ComPtr<IAMVideoCompression> compression = compressionOf(encoder_.Get());
  ASSERT_TRUE(compression);
  const Pixels frame(kWidth * kHeight, 0x00336699);
  const std::vector<uint8_t> content = bytesOf(frame);
  constexpr size_t kKeyOverhead = 1 + 21;  // clear marker and record header

  ASSERT_EQ(compression->put_KeyFrameRate(1), S_OK);
  std::vector<ReceivedSample> samples = encode({frame});
  ASSERT_EQ(samples.size(), 1u);
  expectKeySample(samples[0], frame);
  EXPECT_EQ(samples[0].data.size(), kKeyOverhead + zlibLength(content, 9));

  // Level 0 stores the frame; the same picture is a key sample again at keyframe rate 1.
  ASSERT_EQ(compression->put_Quality(0.1), S_OK);
  samples = encode({frame});
  ASSERT_EQ(samples.size(), 1u);
  expectKeySample(samples[0], frame);
  EXPECT_EQ(samples[0].data.size(), kKeyOverhead + zlibLength(content, 0));
  EXPECT_GT(zlibLength(content, 0), content.size());

  // Back to counting: rate 1 left the count at 0, so one more key sample, then differences.
  ASSERT_EQ(compression->put_KeyFrameRate(30), S_OK);
  samples = encode({frame, frame, frame});
  ASSERT_EQ(samples.size(), 3u);
  expectKeySample(samples[0], frame);
  expectEmptyDifference(samples[1]);
  expectEmptyDifference(samples[2]);
}

TEST_F(EncoderGraph, PinsAreInputAndOutput) {
  ComPtr<ZelkencFilter> encoder = makeEncoder();
  for (const auto& [id, name] : {std::pair{L"In", L"Input"}, std::pair{L"Out", L"Output"}}) {
    ComPtr<IPin> pin;
    ASSERT_EQ(encoder->FindPin(id, &pin), S_OK);
    PIN_INFO info = {};
    ASSERT_EQ(pin->QueryPinInfo(&info), S_OK);
    EXPECT_STREQ(info.achName, name);
    info.pFilter->Release();
  }
}

}  // namespace
