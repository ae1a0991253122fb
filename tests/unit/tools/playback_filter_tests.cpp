// The player's filters in real graphs of Wine's filter graph manager: the AVI source offers
// exactly the file's type (compressed and uncompressed) and delivers every frame with its times
// and key flag, then the end of the stream, from the first frame again after a stop; the frame
// sink turns bottom-up frames into top-down pictures and refuses compressed video.
#include <windows.h>
#include <dshow.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <memory>
#include <vector>

#include "common/win_raii.h"
#include "dshow/base_filter.h"
#include "dshow/input_pin.h"
#include "tests/unit/tools/avi_test_file.h"
#include "tools/zelkrec/avi_source_filter.h"
#include "tools/zelkrec/frame_sink.h"
#include "dshow/reference_clock.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr DWORD kZlkc = 0x434B4C5A;
constexpr REFERENCE_TIME kPeriod = 1'000'000;  // the test files' 10 frames a second
// {434B4C5A-0000-0010-8000-00AA00389B71}
const GUID kZlkcSubtype = {kZlkc, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
// {B1C3E0F5-7B54-4C0A-9A59-2C7D3E6F0A18}
const CLSID kCollectingSink = {
    0xB1C3E0F5, 0x7B54, 0x4C0A, {0x9A, 0x59, 0x2C, 0x7D, 0x3E, 0x6F, 0x0A, 0x18}};

struct SeenSample {
  REFERENCE_TIME start = 0;
  REFERENCE_TIME stop = 0;
  bool sync = false;
  bool discontinuity = false;
  avi_test::Bytes bytes;
};

// Takes any type and keeps every sample; the streaming thread fills it, the test reads it
// once the graph has stopped.
class CollectingPin final : public CBaseInputPin {
 public:
  CollectingPin(CBaseFilter* filter, CCritSec* lock, HANDLE ended)
      : CBaseInputPin(filter, lock, nullptr, L"In"), ended_(ended) {}

  HRESULT CheckMediaType(const CMediaType*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Receive(IMediaSample* sample) override {
    HRESULT hr = CBaseInputPin::Receive(sample);
    if (hr != S_OK) return hr;
    SeenSample seen;
    sample->GetTime(&seen.start, &seen.stop);
    seen.sync = sample->IsSyncPoint() == S_OK;
    seen.discontinuity = sample->IsDiscontinuity() == S_OK;
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    seen.bytes.assign(data, data + sample->GetActualDataLength());
    samples.push_back(seen);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE EndOfStream() override {
    ::SetEvent(ended_);
    return S_OK;
  }

  std::vector<SeenSample> samples;

 private:
  HANDLE ended_;
};

class CollectingSink final : public CBaseFilter {
 public:
  CollectingSink()
      : CBaseFilter(L"Collecting sink", nullptr, &lock_, kCollectingSink),
        ended(::CreateEventW(nullptr, TRUE, FALSE, nullptr)),
        pin(this, &lock_, ended.get()) {}

  int GetPinCount() override { return 1; }
  CBasePin* GetPin(int index) override { return index == 0 ? &pin : nullptr; }

 private:
  CCritSec lock_;

 public:
  UniqueHandle ended;
  CollectingPin pin;
};

class PictureCollector final : public FrameConsumer {
 public:
  HRESULT consume(const RgbPicture& picture) override {
    pictures.push_back(picture);
    return S_OK;
  }
  std::string failure() const override { return {}; }

  std::vector<RgbPicture> pictures;
};

// The AVI file of `recipe` in the temporary folder, deleted with the object, and opened.
class TestRecording {
 public:
  explicit TestRecording(const avi_test::File& recipe) {
    wchar_t folder[MAX_PATH];
    wchar_t name[MAX_PATH];
    ::GetTempPathW(MAX_PATH, folder);
    ::GetTempFileNameW(folder, L"avi", 0, name);
    path_ = name;
    const avi_test::Bytes bytes = recipe.build();
    UniqueFileHandle file(::CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    EXPECT_TRUE(file && ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()),
                                    &written, nullptr));
    file.reset();
    std::string error;
    EXPECT_TRUE(recording->open(path_, &error)) << error;
  }
  ~TestRecording() {
    recording.reset();
    ::DeleteFileW(path_.c_str());
  }

  std::shared_ptr<AviRecording> recording = std::make_shared<AviRecording>();

 private:
  std::wstring path_;
};

avi_test::File compressedFile() {
  avi_test::File recipe;
  recipe.format = avi_test::bitmapHeader(2, 2, 32, kZlkc);
  recipe.frames = {
      {avi_test::Bytes(5, 1), true}, {avi_test::Bytes(), false}, {avi_test::Bytes(7, 3), false}};
  return recipe;
}

class PlaybackFilterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(apartment_.result()));
    ASSERT_TRUE(SUCCEEDED(::CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                             IID_PPV_ARGS(&graph_))));
  }

  // Adds both filters and connects the source's pin to the sink's first pin.
  void connect(IBaseFilter* source, IBaseFilter* sink, IPin* sourceOut, IPin* sinkIn) {
    ASSERT_EQ(graph_->AddFilter(source, L"Source"), S_OK);
    ASSERT_EQ(graph_->AddFilter(sink, L"Sink"), S_OK);
    ASSERT_EQ(UseBaseReferenceClock(graph_.Get()), S_OK);
    ASSERT_EQ(graph_->ConnectDirect(sourceOut, sinkIn, nullptr), S_OK);
  }

  // Runs the graph until `ended` is signalled, then stops it.
  void playOnce(HANDLE ended) {
    ComPtr<IMediaControl> control;
    ASSERT_TRUE(SUCCEEDED(graph_.As(&control)));
    ::ResetEvent(ended);
    ASSERT_TRUE(SUCCEEDED(control->Run()));
    EXPECT_EQ(::WaitForSingleObject(ended, 10000), WAIT_OBJECT_0);
    EXPECT_TRUE(SUCCEEDED(control->Stop()));
  }

  ComApartment apartment_;
  ComPtr<IGraphBuilder> graph_;
};

TEST_F(PlaybackFilterTest, OffersTheFilesCompressedTypeExactly) {
  TestRecording file(compressedFile());
  ComPtr<AviSourceFilter> source(new AviSourceFilter(file.recording));
  ASSERT_EQ(source->GetPinCount(), 1);
  CBasePin* pin = source->GetPin(0);
  EXPECT_EQ(pin->Name(), L"Output");

  ComPtr<IEnumMediaTypes> types;
  ASSERT_EQ(pin->EnumMediaTypes(&types), S_OK);
  AM_MEDIA_TYPE* offered[2] = {};
  ULONG count = 0;
  EXPECT_EQ(types->Next(2, offered, &count), S_FALSE);
  ASSERT_EQ(count, 1u);
  const CMediaType type(*offered[0]);
  DeleteMediaType(offered[0]);
  EXPECT_EQ(*type.Type(), MEDIATYPE_Video);
  EXPECT_EQ(*type.Subtype(), kZlkcSubtype);
  EXPECT_EQ(*type.FormatType(), FORMAT_VideoInfo);
  EXPECT_FALSE(type.IsFixedSize());
  EXPECT_TRUE(type.IsTemporalCompressed());
  const size_t headerOffset = offsetof(VIDEOINFOHEADER, bmiHeader);
  ASSERT_EQ(type.FormatLength(), headerOffset + 40);
  const auto* info = reinterpret_cast<const VIDEOINFOHEADER*>(type.Format());
  EXPECT_EQ(info->AvgTimePerFrame, kPeriod);
  const std::vector<std::uint8_t>& header = file.recording->video().header;
  EXPECT_EQ(std::memcmp(&info->bmiHeader, header.data(), header.size()), 0);
  EXPECT_EQ(info->bmiHeader.biCompression, kZlkc);
  EXPECT_EQ(pin->QueryAccept(&type), S_OK);
}

TEST_F(PlaybackFilterTest, OffersUncompressedFramesAsFixedSizeRgb) {
  avi_test::File recipe;
  recipe.frames = {{avi_test::Bytes(16, 9), true}};
  TestRecording file(recipe);
  ComPtr<AviSourceFilter> source(new AviSourceFilter(file.recording));
  CMediaType type;
  ASSERT_EQ(source->GetPin(0)->GetMediaType(0, &type), S_OK);
  EXPECT_EQ(*type.Subtype(), MEDIASUBTYPE_RGB32);
  EXPECT_TRUE(type.IsFixedSize());
  EXPECT_EQ(type.GetSampleSize(), 16u);
  EXPECT_FALSE(type.IsTemporalCompressed());
  EXPECT_EQ(source->GetPin(0)->GetMediaType(1, &type), VFW_S_NO_MORE_ITEMS);
}

TEST_F(PlaybackFilterTest, DeliversEveryFrameWithItsTimesAndKeyFlagThenEnds) {
  const avi_test::File recipe = compressedFile();
  TestRecording file(recipe);
  ComPtr<AviSourceFilter> source(new AviSourceFilter(file.recording));
  ComPtr<CollectingSink> sink(new CollectingSink);
  connect(source.Get(), sink.Get(), source->GetPin(0), &sink->pin);

  for (int run = 0; run < 2; ++run) {
    SCOPED_TRACE(run);
    sink->pin.samples.clear();
    playOnce(sink->ended.get());
    const std::vector<SeenSample>& samples = sink->pin.samples;
    ASSERT_EQ(samples.size(), recipe.frames.size());
    for (size_t i = 0; i < samples.size(); ++i) {
      SCOPED_TRACE(i);
      EXPECT_EQ(samples[i].bytes, recipe.frames[i].bytes);
      EXPECT_EQ(samples[i].start, static_cast<REFERENCE_TIME>(i) * kPeriod);
      EXPECT_EQ(samples[i].stop, static_cast<REFERENCE_TIME>(i + 1) * kPeriod);
      EXPECT_EQ(samples[i].sync, recipe.frames[i].key);
      EXPECT_EQ(samples[i].discontinuity, i == 0);
    }
  }
}

TEST_F(PlaybackFilterTest, FrameSinkShowsFramesTopDownAndRefusesCompressedVideo) {
  avi_test::File recipe;
  // Bottom-up: the first row in memory is the picture's bottom row.
  avi_test::Bytes bits(16, 0);
  bits[2] = 200;  // bottom left red
  bits[8] = 100;  // top left blue
  recipe.frames = {{bits, true}};
  TestRecording file(recipe);
  ComPtr<AviSourceFilter> source(new AviSourceFilter(file.recording));
  PictureCollector collector;
  ComPtr<FrameSink> sink(new FrameSink(&collector));
  connect(source.Get(), sink.Get(), source->GetPin(0), sink->GetPin(0));
  playOnce(sink->ended());
  EXPECT_EQ(sink->frames(), 1);
  ASSERT_EQ(collector.pictures.size(), 1u);
  const RgbPicture& picture = collector.pictures[0];
  ASSERT_EQ(picture.width, 2);
  ASSERT_EQ(picture.height, 2);
  EXPECT_EQ(picture.at(0, 0)[2], 100);
  EXPECT_EQ(picture.at(0, 1)[0], 200);

  TestRecording compressed(compressedFile());
  ComPtr<AviSourceFilter> compressedSource(new AviSourceFilter(compressed.recording));
  CMediaType type;
  ASSERT_EQ(compressedSource->GetPin(0)->GetMediaType(0, &type), S_OK);
  ComPtr<FrameSink> other(new FrameSink(&collector));
  EXPECT_NE(other->GetPin(0)->QueryAccept(&type), S_OK);
}

}  // namespace
