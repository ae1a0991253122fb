// The codec graph tests' fixture and sample reader.
#include "codec_graph_test.h"

#include <zlib.h>

#include <cstring>

#include "codec/frame_format.h"
#include "codec/record_header.h"
#include "dshow/unknown.h"
#include "graph_support.h"

using Microsoft::WRL::ComPtr;

namespace codec_graph {

namespace {

constexpr wchar_t kEncoderSettings[] = L"SOFTWARE\\MorvainLabs\\Zelkenc";

}  // namespace

Pixels pattern(LONG width, LONG height, uint32_t variant) {
  Pixels pixels(static_cast<size_t>(width) * height);
  uint32_t state = variant * 2654435761u + 1;
  for (uint32_t& pixel : pixels) {
    state = state * 1664525u + 1013904223u;
    pixel = state >> 8;
  }
  return pixels;
}

std::vector<Item> itemsOf(const std::vector<uint8_t>& sample) {
  std::vector<Item> items;
  size_t offset = 0;
  while (offset < sample.size()) {
    Item item;
    item.type = sample[offset];
    if (item.type != codec::kRawRectangle && item.type != codec::kDifferenceRectangle) {
      items.push_back(item);
      ++offset;
      continue;
    }
    if (sample.size() - offset < codec::kRecordHeaderBytes) break;
    const codec::RecordHeader header = codec::loadRecordHeader(sample.data() + offset);
    item.rect = header.rect;
    const size_t start = offset + codec::kRecordHeaderBytes;
    if (header.compressedBytes < 0 ||
        static_cast<size_t>(header.compressedBytes) > sample.size() - start) {
      break;
    }
    if (header.rect.hasArea()) {
      item.content.resize(header.rect.contentBytes() / 4);
      uLongf length = static_cast<uLongf>(header.rect.contentBytes());
      item.inflated =
          uncompress(reinterpret_cast<Bytef*>(item.content.data()), &length, sample.data() + start,
                     static_cast<uLong>(header.compressedBytes)) == Z_OK &&
          length == header.rect.contentBytes();
    }
    items.push_back(item);
    offset = start + static_cast<size_t>(header.compressedBytes);
  }
  return items;
}

std::vector<uint8_t> bytesOf(const Pixels& pixels) {
  std::vector<uint8_t> bytes(pixels.size() * 4);
  std::memcpy(bytes.data(), pixels.data(), bytes.size());
  return bytes;
}

Pixels pixelsOf(const std::vector<uint8_t>& bytes) {
  Pixels pixels(bytes.size() / 4);
  std::memcpy(pixels.data(), bytes.data(), pixels.size() * 4);
  return pixels;
}

void forgetEncoderSettings() {
  ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kEncoderSettings);
  ::RegDeleteTreeW(HKEY_CURRENT_USER, kEncoderSettings);
}

void storeEncoderSetting(const wchar_t* name, DWORD value) {
  UniqueRegKey key;
  ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kEncoderSettings, 0, nullptr, 0, KEY_SET_VALUE,
                              nullptr, key.put(), nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(::RegSetValueExW(key.get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                             sizeof(value)),
            ERROR_SUCCESS);
}

std::optional<DWORD> storedEncoderSetting(const wchar_t* name) {
  DWORD value = 0;
  DWORD bytes = sizeof(value);
  if (::RegGetValueW(HKEY_LOCAL_MACHINE, kEncoderSettings, name, RRF_RT_REG_DWORD, nullptr, &value,
                     &bytes) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  return value;
}

void CodecGraphTest::SetUp() {
  forgetEncoderSettings();
  ASSERT_TRUE(SUCCEEDED(apartment_.result()));
  ASSERT_EQ(
      ::CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&graph_)),
      S_OK);
  ASSERT_EQ(graph_.As(&control_), S_OK);
  ComPtr<IMediaFilter> timing;
  ASSERT_EQ(graph_.As(&timing), S_OK);
  ASSERT_EQ(timing->SetSyncSource(nullptr), S_OK);
}

void CodecGraphTest::TearDown() {
  if (control_) control_->Stop();
  control_.Reset();
  graph_.Reset();
  forgetEncoderSettings();
  // Every filter, pin, allocator and sample of the test is gone with the graph.
  EXPECT_FALSE(module_lock::inUse());
}

void CodecGraphTest::add(IBaseFilter* filter, const wchar_t* name) {
  ASSERT_NE(filter, nullptr);
  ASSERT_EQ(graph_->AddFilter(filter, name), S_OK);
}

HRESULT CodecGraphTest::connect(IBaseFilter* from, IBaseFilter* to, const AM_MEDIA_TYPE* type) {
  ComPtr<IPin> out = graph_support::findPin(from, PINDIR_OUTPUT);
  ComPtr<IPin> in = graph_support::findPin(to, PINDIR_INPUT);
  if (!out || !in) return E_UNEXPECTED;
  return graph_->ConnectDirect(out.Get(), in.Get(), type);
}

void CodecGraphTest::pause() {
  ASSERT_TRUE(SUCCEEDED(control_->Pause()));
  OAFilterState state = State_Stopped;
  ASSERT_EQ(control_->GetState(5000, &state), S_OK);
  ASSERT_EQ(state, State_Paused);
}

void CodecGraphTest::stop() { ASSERT_EQ(control_->Stop(), S_OK); }

}  // namespace codec_graph
