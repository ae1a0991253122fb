// The shape every codec graph test shares: a graph of Wine's filter graph manager holding a
// push source, the filters under test and a recording sink, run without a clock so that the
// test thread's pushes go straight through; frames as pixel vectors; and a reader that takes
// a compressed sample apart into its items. Every test object must be gone at the end, and
// the encoder's settings key is removed before and after each test.
#pragma once

#include <windows.h>
#include <dshow.h>
#include <gtest/gtest.h>
#include <wrl/client.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "codec/frame_rect.h"
#include "codec_test_filters.h"
#include "common/win_raii.h"

namespace codec_graph {

using Pixels = std::vector<uint32_t>;

// A picture whose every pixel differs from its neighbours, top bytes 0.
Pixels pattern(LONG width, LONG height, uint32_t variant);

// One item of a compressed sample: a clear marker, or a record with its inflated content.
struct Item {
  uint8_t type = 0;
  codec::FrameRect rect;
  Pixels content;
  bool inflated = false;
};
std::vector<Item> itemsOf(const std::vector<uint8_t>& sample);

// The bytes of `pixels`.
std::vector<uint8_t> bytesOf(const Pixels& pixels);
Pixels pixelsOf(const std::vector<uint8_t>& bytes);

// Removes the encoder's settings keys (the machine's and the user's) with whatever a test
// stored in them.
void forgetEncoderSettings();
// Stores one encoder setting as the filter reads it at construction.
void storeEncoderSetting(const wchar_t* name, DWORD value);
// The DWORD value `name` of the encoder's settings key, if there is one.
std::optional<DWORD> storedEncoderSetting(const wchar_t* name);

class CodecGraphTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  void add(IBaseFilter* filter, const wchar_t* name);
  HRESULT connect(IBaseFilter* from, IBaseFilter* to, const AM_MEDIA_TYPE* type = nullptr);
  void pause();
  void stop();

  ComApartment apartment_{COINIT_MULTITHREADED};
  Microsoft::WRL::ComPtr<IGraphBuilder> graph_;
  Microsoft::WRL::ComPtr<IMediaControl> control_;
};

}  // namespace codec_graph
