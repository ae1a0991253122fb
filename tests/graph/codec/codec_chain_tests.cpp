// The two codec filters back to back: frames pushed into Zelkenc and decoded by Zelkdec come
// out exactly as they went in, with the top byte of every pixel 0, whatever mix of key,
// difference and empty samples the encoder chose for them.
#include <windows.h>
#include <dshow.h>
#include <gtest/gtest.h>
#include <wrl/client.h>

#include "codec/zlkc_media_type.h"
#include "codec_graph_test.h"
#include "decoder/zelkdec_filter.h"
#include "encoder/zelkenc_filter.h"

using Microsoft::WRL::ComPtr;
using namespace codec_graph;

namespace {

constexpr LONG kWidth = 64;
constexpr LONG kHeight = 48;

// A screen-like sequence: a still background with a block that moves, a frame that repeats,
// a pixel turned black, and a frame that changes everywhere.
std::vector<Pixels> screenFrames(size_t count) {
  std::vector<Pixels> frames;
  Pixels screen = pattern(kWidth, kHeight, 30);
  for (size_t i = 0; i < count; ++i) {
    if (i % 7 == 3) {
      screen[(i % kHeight) * kWidth + (i * 5) % kWidth] = 0;
    } else if (i % 11 == 5) {
      screen = pattern(kWidth, kHeight, static_cast<uint32_t>(31 + i));
    } else if (i % 5 != 4) {
      const LONG left = static_cast<LONG>(i * 3) % (kWidth - 8);
      const LONG top = static_cast<LONG>(i * 2) % (kHeight - 6);
      for (LONG y = top; y < top + 6; ++y) {
        for (LONG x = left; x < left + 8; ++x) screen[y * kWidth + x] += 0x010203u * (i + 1);
      }
    }
    // Sources may leave anything in the top byte; the codec keeps 0 there.
    Pixels input = screen;
    for (uint32_t& pixel : input) pixel = (pixel & 0x00FFFFFFu) | (static_cast<uint32_t>(i) << 24);
    frames.push_back(input);
  }
  return frames;
}

TEST_F(CodecGraphTest, EncodedFramesDecodeToTheSameFrames) {
  ComPtr<PushSource> source =
      new PushSource(videoType(MEDIASUBTYPE_RGB32, kWidth, kHeight), 1, kWidth * kHeight * 4);
  HRESULT hr = E_FAIL;
  ComPtr<ZelkencFilter> encoder(static_cast<ZelkencFilter*>(ZelkencFilter::create(nullptr, &hr)));
  ASSERT_EQ(hr, S_OK);
  ComPtr<ZelkdecFilter> decoder(static_cast<ZelkdecFilter*>(ZelkdecFilter::create(nullptr, &hr)));
  ASSERT_EQ(hr, S_OK);
  ComPtr<RecordingSink> sink = new RecordingSink(MEDIASUBTYPE_RGB32);
  ASSERT_NO_FATAL_FAILURE(add(source.Get(), L"source"));
  ASSERT_NO_FATAL_FAILURE(add(encoder.Get(), L"Zelkenc"));
  ASSERT_NO_FATAL_FAILURE(add(decoder.Get(), L"Zelkdec"));
  ASSERT_NO_FATAL_FAILURE(add(sink.Get(), L"sink"));
  ASSERT_EQ(connect(source.Get(), encoder.Get()), S_OK);
  ASSERT_EQ(connect(encoder.Get(), decoder.Get()), S_OK);
  ASSERT_EQ(connect(decoder.Get(), sink.Get()), S_OK);
  ASSERT_NO_FATAL_FAILURE(pause());

  const std::vector<Pixels> frames = screenFrames(45);
  for (size_t i = 0; i < frames.size(); ++i) {
    SampleFlags flags;
    flags.start = static_cast<REFERENCE_TIME>(i) * 400000;
    flags.stop = flags.start + 400000;
    ASSERT_EQ(source->pin()->push(frames[i].data(), frames[i].size() * 4, flags), S_OK) << i;
  }
  const std::vector<ReceivedSample> samples = sink->samples();
  ASSERT_EQ(samples.size(), frames.size());
  for (size_t i = 0; i < frames.size(); ++i) {
    SCOPED_TRACE(i);
    Pixels expected = frames[i];
    for (uint32_t& pixel : expected) pixel &= 0x00FFFFFFu;
    EXPECT_EQ(pixelsOf(samples[i].data), expected);
    EXPECT_EQ(samples[i].start, static_cast<REFERENCE_TIME>(i) * 400000);
  }

  ASSERT_NO_FATAL_FAILURE(stop());
  source.Reset();
  encoder.Reset();
  decoder.Reset();
  sink.Reset();
}

}  // namespace
