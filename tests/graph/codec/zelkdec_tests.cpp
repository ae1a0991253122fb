// The decoder filter in graphs of Wine's filter graph manager, between a push source of
// compressed samples and a recording sink: the types it takes and offers, the output geometry
// (row flip for a top-down output, a wider output written in its first columns), and the
// picture it keeps (over stop and flush, restarted from black by a new size), with preroll
// samples that update it without output.
#include <windows.h>
#include <dshow.h>
#include <gtest/gtest.h>
#include <wrl/client.h>

#include <cstring>

#include "codec/frame_format.h"
#include "codec/frame_writer.h"
#include "codec/zlkc_media_type.h"
#include "codec_graph_test.h"
#include "decoder/zelkdec_filter.h"

using Microsoft::WRL::ComPtr;
using namespace codec_graph;

namespace {

constexpr LONG kWidth = 16;
constexpr LONG kHeight = 8;
constexpr LONG kSampleBytes = 64 * 1024;

ComPtr<ZelkdecFilter> makeDecoder() {
  HRESULT hr = E_FAIL;
  CUnknown* created = ZelkdecFilter::create(nullptr, &hr);
  EXPECT_EQ(hr, S_OK);
  return ComPtr<ZelkdecFilter>(static_cast<ZelkdecFilter*>(created));
}

// The compressed type the encoder makes of an RGB32 type.
CMediaType compressedType(LONG width, LONG height) {
  CMediaType type = videoType(MEDIASUBTYPE_ZLKC, width, height);
  auto* info = reinterpret_cast<VIDEOINFOHEADER*>(type.Format());
  info->bmiHeader.biCompression = codec::kFourCC;
  info->bmiHeader.biSizeImage = 0;
  type.SetVariableSize();
  type.SetTemporalCompression(true);
  return type;
}

// An RGB32 output type of `width` x `height` (negative: top-down) showing `source`.
CMediaType outputType(LONG width, LONG height, RECT source = {}) {
  CMediaType type = videoType(MEDIASUBTYPE_RGB32, width, height);
  reinterpret_cast<VIDEOINFOHEADER*>(type.Format())->rcSource = source;
  return type;
}

std::vector<uint8_t> sampleOf(bool clear, uint8_t type, const codec::FrameRect& rect,
                              const Pixels& content) {
  std::vector<uint8_t> bytes(kSampleBytes);
  codec::FrameWriter writer(bytes.data(), bytes.size());
  if (clear) {
    EXPECT_EQ(writer.addClearMarker(), S_OK);
  }
  if (rect.hasArea()) {
    EXPECT_EQ(writer.addRectangle(type, rect, reinterpret_cast<const uint8_t*>(content.data()), 6),
              S_OK);
  }
  bytes.resize(writer.length());
  return bytes;
}

std::vector<uint8_t> keySample(const Pixels& frame, LONG width = kWidth, LONG height = kHeight) {
  return sampleOf(true, codec::kRawRectangle, {0, 0, width, height}, frame);
}

// One changed pixel as a difference record.
std::vector<uint8_t> pixelChange(LONG x, LONG y, uint32_t colour) {
  return sampleOf(false, codec::kDifferenceRectangle, {x, y, x + 1, y + 1},
                  {colour | codec::kChangedMark});
}

class DecoderGraph : public CodecGraphTest {
 protected:
  void TearDown() override {
    if (control_) control_->Stop();
    source_.Reset();
    decoder_.Reset();
    sink_.Reset();
    marking_.Reset();
    CodecGraphTest::TearDown();
  }

  // push source -> Zelkdec -> recording sink (with `output`, or the decoder's own type),
  // paused. The sink's buffers are filled with 0xEE when handed out, so unwritten bytes show.
  void build(const CMediaType* output = nullptr,
             const CMediaType& input = compressedType(kWidth, kHeight)) {
    source_ = new PushSource(input, 2, kSampleBytes);
    decoder_ = makeDecoder();
    sink_ = new RecordingSink(MEDIASUBTYPE_RGB32);
    marking_ = new TestAllocator(0, 0, 0xEE);
    sink_->offerAllocator(marking_.Get(), true);
    ASSERT_NO_FATAL_FAILURE(add(source_.Get(), L"source"));
    ASSERT_NO_FATAL_FAILURE(add(decoder_.Get(), L"Zelkdec"));
    ASSERT_NO_FATAL_FAILURE(add(sink_.Get(), L"sink"));
    ASSERT_EQ(connect(source_.Get(), decoder_.Get()), S_OK);
    ASSERT_EQ(connect(decoder_.Get(), sink_.Get(), output), S_OK);
    ASSERT_NO_FATAL_FAILURE(pause());
  }

  HRESULT push(const std::vector<uint8_t>& sample, bool sync, const SampleFlags& base = {}) {
    SampleFlags flags = base;
    flags.syncPoint = sync;
    return source_->pin()->push(sample.data(), sample.size(), flags);
  }

  // The picture of the latest output sample, rows as the output holds them.
  Pixels lastPicture() {
    const std::vector<ReceivedSample> samples = sink_->samples();
    if (samples.empty()) return {};
    return pixelsOf(samples.back().data);
  }

  ComPtr<PushSource> source_;
  ComPtr<ZelkdecFilter> decoder_;
  ComPtr<RecordingSink> sink_;
  ComPtr<TestAllocator> marking_;
};

TEST_F(DecoderGraph, AcceptsCompressedVideoWithAPositiveSize) {
  ComPtr<ZelkdecFilter> decoder = makeDecoder();
  const CMediaType good = compressedType(kWidth, kHeight);
  EXPECT_EQ(decoder->CheckInputType(&good), S_OK);
  EXPECT_EQ(decoder->CheckInputType(nullptr), E_POINTER);
  const CMediaType rgb = videoType(MEDIASUBTYPE_RGB32, kWidth, kHeight);
  EXPECT_EQ(decoder->CheckInputType(&rgb), VFW_E_TYPE_NOT_ACCEPTED);
  const CMediaType flipped = compressedType(kWidth, -kHeight);
  EXPECT_EQ(decoder->CheckInputType(&flipped), VFW_E_TYPE_NOT_ACCEPTED);
  CMediaType noFormat = good;
  noFormat.ResetFormatBuffer();
  EXPECT_EQ(decoder->CheckInputType(&noFormat), VFW_E_TYPE_NOT_ACCEPTED);
}

TEST_F(DecoderGraph, OffersBottomUpRgb32OfTheEncodedSize) {
  ComPtr<ZelkdecFilter> unconnected = makeDecoder();
  CMediaType type;
  EXPECT_EQ(unconnected->GetMediaType(0, &type), E_UNEXPECTED);
  unconnected.Reset();

  ASSERT_NO_FATAL_FAILURE(build());
  EXPECT_EQ(decoder_->GetMediaType(-1, &type), E_INVALIDARG);
  EXPECT_EQ(decoder_->GetMediaType(1, &type), VFW_S_NO_MORE_ITEMS);
  EXPECT_EQ(decoder_->GetMediaType(0, nullptr), E_POINTER);
  ASSERT_EQ(decoder_->GetMediaType(0, &type), S_OK);
  EXPECT_EQ(*type.Subtype(), MEDIASUBTYPE_RGB32);
  EXPECT_TRUE(type.IsFixedSize());
  EXPECT_FALSE(type.IsTemporalCompressed());
  EXPECT_EQ(type.lSampleSize, static_cast<ULONG>(kWidth * kHeight * 4));
  const auto* info = reinterpret_cast<const VIDEOINFOHEADER*>(type.Format());
  EXPECT_EQ(info->bmiHeader.biCompression, static_cast<DWORD>(BI_RGB));
  EXPECT_EQ(info->bmiHeader.biBitCount, 32);
  EXPECT_EQ(info->bmiHeader.biWidth, kWidth);
  EXPECT_EQ(info->bmiHeader.biHeight, kHeight);
  EXPECT_EQ(info->bmiHeader.biSizeImage, static_cast<DWORD>(kWidth * kHeight * 4));
  EXPECT_EQ(info->AvgTimePerFrame, 400000);
}

TEST_F(DecoderGraph, TakesEqualSizesEitherWayUpOrALargerPictureThatShowsOurs) {
  ComPtr<ZelkdecFilter> decoder = makeDecoder();
  const CMediaType in = compressedType(kWidth, kHeight);
  const RECT ours = {0, 0, kWidth, kHeight};
  const CMediaType bottomUp = outputType(kWidth, kHeight);
  const CMediaType topDown = outputType(kWidth, -kHeight);
  const CMediaType wider = outputType(kWidth + 8, kHeight, ours);
  const CMediaType larger = outputType(kWidth + 8, -(kHeight + 2), ours);
  EXPECT_EQ(decoder->CheckTransform(&in, &bottomUp), S_OK);
  EXPECT_EQ(decoder->CheckTransform(&in, &topDown), S_OK);
  EXPECT_EQ(decoder->CheckTransform(&in, &wider), S_OK);
  EXPECT_EQ(decoder->CheckTransform(&in, &larger), S_OK);

  const CMediaType widerWithoutSource = outputType(kWidth + 8, kHeight);
  const CMediaType widerShowingLess = outputType(kWidth + 8, kHeight, {0, 0, kWidth - 1, kHeight});
  const CMediaType narrower = outputType(kWidth - 1, kHeight, ours);
  CMediaType rgb24 = outputType(kWidth, kHeight);
  rgb24.SetSubtype(&MEDIASUBTYPE_RGB24);
  CMediaType bits24 = outputType(kWidth, kHeight);
  reinterpret_cast<VIDEOINFOHEADER*>(bits24.Format())->bmiHeader.biBitCount = 24;
  for (const CMediaType* refused : std::initializer_list<const CMediaType*>{
           &widerWithoutSource, &widerShowingLess, &narrower, &rgb24, &bits24}) {
    EXPECT_EQ(decoder->CheckTransform(&in, refused), VFW_E_TYPE_NOT_ACCEPTED);
  }
  EXPECT_EQ(decoder->CheckTransform(&in, nullptr), E_POINTER);
}

TEST_F(DecoderGraph, BottomUpOutputKeepsTheRowOrder) {
  ASSERT_NO_FATAL_FAILURE(build());
  const Pixels frame = pattern(kWidth, kHeight, 20);
  ASSERT_EQ(push(keySample(frame), true), S_OK);
  ASSERT_EQ(sink_->samples().size(), 1u);
  EXPECT_TRUE(sink_->samples()[0].syncPoint);
  EXPECT_EQ(lastPicture(), frame);
}

TEST_F(DecoderGraph, TopDownOutputGetsTheRowsFlipped) {
  const CMediaType topDown = outputType(kWidth, -kHeight);
  ASSERT_NO_FATAL_FAILURE(build(&topDown));
  const Pixels frame = pattern(kWidth, kHeight, 21);
  ASSERT_EQ(push(keySample(frame), true), S_OK);
  const Pixels picture = lastPicture();
  ASSERT_EQ(picture.size(), frame.size());
  for (LONG row = 0; row < kHeight; ++row) {
    SCOPED_TRACE(row);
    EXPECT_EQ(std::memcmp(&picture[(kHeight - 1 - row) * kWidth], &frame[row * kWidth], kWidth * 4),
              0);
  }
}

TEST_F(DecoderGraph, WiderOutputIsWrittenInTheFirstColumnsOfEachRow) {
  constexpr LONG kWider = kWidth + 8;
  const CMediaType wider = outputType(kWider, kHeight, {0, 0, kWidth, kHeight});
  ASSERT_NO_FATAL_FAILURE(build(&wider));
  const Pixels frame = pattern(kWidth, kHeight, 22);
  ASSERT_EQ(push(keySample(frame), true), S_OK);
  ASSERT_EQ(sink_->samples().size(), 1u);
  const std::vector<uint8_t> data = sink_->samples()[0].data;
  ASSERT_EQ(data.size(), static_cast<size_t>(kWider * 4 * kHeight));
  for (LONG row = 0; row < kHeight; ++row) {
    SCOPED_TRACE(row);
    const uint8_t* line = data.data() + row * kWider * 4;
    EXPECT_EQ(std::memcmp(line, &frame[row * kWidth], kWidth * 4), 0);
    EXPECT_EQ(std::vector<uint8_t>(line + kWidth * 4, line + kWider * 4),
              std::vector<uint8_t>(8 * 4, 0xEE));
  }
}

TEST_F(DecoderGraph, SizeChangeOnASampleRestartsFromBlack) {
  // A larger output can take both the first size and then its own.
  constexpr LONG kLargerWidth = kWidth + 4;
  constexpr LONG kLargerHeight = kHeight + 2;
  const CMediaType output = outputType(kLargerWidth, kLargerHeight, {0, 0, kWidth, kHeight});
  ASSERT_NO_FATAL_FAILURE(build(&output));
  ASSERT_EQ(push(keySample(pattern(kWidth, kHeight, 23)), true), S_OK);

  const CMediaType larger = compressedType(kLargerWidth, kLargerHeight);
  SampleFlags flags;
  flags.mediaType = &larger;
  ASSERT_EQ(push(pixelChange(3, 2, 0x00ABCDEF), false, flags), S_OK);
  ASSERT_EQ(sink_->samples().size(), 2u);
  Pixels expected(kLargerWidth * kLargerHeight, 0);
  expected[2 * kLargerWidth + 3] = 0x00ABCDEF;
  EXPECT_EQ(lastPicture(), expected);
}

TEST_F(DecoderGraph, PrerollSamplesUpdateThePictureWithoutOutput) {
  ASSERT_NO_FATAL_FAILURE(build());
  const Pixels frame = pattern(kWidth, kHeight, 24);
  SampleFlags preroll;
  preroll.preroll = true;
  ASSERT_EQ(push(keySample(frame), true, preroll), S_OK);
  ASSERT_EQ(push(pixelChange(1, 1, 0x000000), false, preroll), S_OK);
  EXPECT_TRUE(sink_->samples().empty());

  ASSERT_EQ(push({}, false), S_OK);
  Pixels expected = frame;
  expected[1 * kWidth + 1] = 0;
  EXPECT_EQ(lastPicture(), expected);
}

TEST_F(DecoderGraph, EmptySamplesRepeatThePictureOrClearItWhenSync) {
  ASSERT_NO_FATAL_FAILURE(build());
  // After construction a difference sample draws over black.
  ASSERT_EQ(push(pixelChange(0, 0, 0x00FF00), false), S_OK);
  Pixels expected(kWidth * kHeight, 0);
  expected[0] = 0x00FF00;
  EXPECT_EQ(lastPicture(), expected);

  const Pixels frame = pattern(kWidth, kHeight, 25);
  ASSERT_EQ(push(keySample(frame), true), S_OK);
  ASSERT_EQ(push({}, false), S_OK);
  ASSERT_EQ(sink_->samples().size(), 3u);
  EXPECT_EQ(lastPicture(), frame);
  EXPECT_TRUE(sink_->samples().back().syncPoint);

  ASSERT_EQ(push({}, true), S_OK);
  EXPECT_EQ(lastPicture(), Pixels(kWidth * kHeight, 0));
}

TEST_F(DecoderGraph, PictureSurvivesStopAndFlush) {
  ASSERT_NO_FATAL_FAILURE(build());
  const Pixels frame = pattern(kWidth, kHeight, 26);
  ASSERT_EQ(push(keySample(frame), true), S_OK);

  ASSERT_NO_FATAL_FAILURE(stop());
  ASSERT_NO_FATAL_FAILURE(pause());
  sink_->clear();
  ASSERT_EQ(push({}, false), S_OK);
  EXPECT_EQ(lastPicture(), frame);

  IPin* input = source_->pin()->GetConnected();
  ASSERT_EQ(input->BeginFlush(), S_OK);
  ASSERT_EQ(input->EndFlush(), S_OK);
  sink_->clear();
  ASSERT_EQ(push({}, false), S_OK);
  EXPECT_EQ(lastPicture(), frame);
}

TEST_F(DecoderGraph, OutputBuffersHoldTheWholePicture) {
  const CMediaType variable = [] {
    CMediaType type = outputType(kWidth + 8, -kHeight, {0, 0, kWidth, kHeight});
    type.SetVariableSize();
    return type;
  }();
  ASSERT_NO_FATAL_FAILURE(build(&variable));
  ALLOCATOR_PROPERTIES properties = {};
  ASSERT_EQ(marking_->GetProperties(&properties), S_OK);
  EXPECT_EQ(properties.cBuffers, 2);
  EXPECT_EQ(properties.cbBuffer, (kWidth + 8) * 4 * kHeight);

  ALLOCATOR_PROPERTIES request = {};
  request.cbAlign = 1;
  ComPtr<TestAllocator> fewer = new TestAllocator(1, 0, -1);
  EXPECT_EQ(decoder_->DecideBufferSize(fewer.Get(), &request), E_FAIL);
  ComPtr<TestAllocator> smaller = new TestAllocator(0, 16, -1);
  EXPECT_EQ(decoder_->DecideBufferSize(smaller.Get(), &request), E_FAIL);
}

}  // namespace
