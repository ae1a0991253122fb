// The fixture of the capture filter's graph tests: a fresh filter with no saved settings,
// and a graph capture -> Sample Grabber (recording) -> Null Renderer built on request. Every
// test must leave no object of the capture code alive.
#pragma once

#include <windows.h>
#include <dshow.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <vector>

#include "capture/capture_filter.h"
#include "capture/capture_pin.h"
#include "common/module_proc.h"
#include "common/win_raii.h"
#include "dshow/reference_clock.h"
#include "graph_support.h"

namespace capture_graph {

using Microsoft::WRL::ComPtr;
using namespace graph_support;

constexpr DWORD kWaitMs = 5000;
constexpr REFERENCE_TIME kDefaultPeriod = 400000;
// 800 x 600 centred on the 1920 x 1080 virtual display.
constexpr ParamRect kDefaultArea = {560, 240, 1360, 840};

// Each filter saves its settings for the next one: tests start from none.
inline void forgetSavedSettings() {
  ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\MorvainLabs\\Zelkgrab");
  ::RegDeleteTreeW(HKEY_CURRENT_USER, L"SOFTWARE\\MorvainLabs\\Zelkgrab");
}

inline ComPtr<CaptureFilter> makeCaptureFilter() {
  HRESULT hr = S_OK;
  ComPtr<CaptureFilter> filter = static_cast<CaptureFilter*>(CaptureFilter::create(nullptr, &hr));
  EXPECT_EQ(hr, S_OK);
  return filter;
}

inline const VIDEOINFOHEADER* videoInfo(const AM_MEDIA_TYPE& type) {
  return reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat);
}

class CaptureGraphTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(apartment_.result()));
    forgetSavedSettings();
    filter_ = makeCaptureFilter();
    ASSERT_TRUE(filter_);
    pin_ = filter_->pin();
    ASSERT_NE(pin_, nullptr);
  }

  void TearDown() override {
    if (control_) control_->Stop();
    control_.Reset();
    graph_.Reset();
    grabber_.Reset();
    renderer_.Reset();
    recorder_.Reset();
    pin_ = nullptr;
    filter_.Reset();
    EXPECT_FALSE(module_lock::inUse()) << "an object of the capture code outlived its graph";
    forgetSavedSettings();
  }

  // capture -> Sample Grabber (recording) -> Null Renderer
  void buildGraph() {
    ASSERT_EQ(
        ::CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&graph_)),
        S_OK);
    ASSERT_EQ(graph_.As(&control_), S_OK);
    recorder_ = new SampleRecorder();
    grabber_ = makeSampleGrabber(recorder_.Get(), MEDIATYPE_Video, GUID_NULL);
    ASSERT_TRUE(grabber_);
    ASSERT_EQ(
        ::CoCreateInstance(kNullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&renderer_)),
        S_OK);
    ASSERT_EQ(graph_->AddFilter(filter_.Get(), L"capture"), S_OK);
    ASSERT_EQ(graph_->AddFilter(grabber_.Get(), L"grabber"), S_OK);
    ASSERT_EQ(graph_->AddFilter(renderer_.Get(), L"renderer"), S_OK);
    ASSERT_EQ(UseBaseReferenceClock(graph_.Get()), S_OK);
  }

  void connectChain() {
    ASSERT_EQ(graph_->ConnectDirect(findPin(filter_.Get(), PINDIR_OUTPUT).Get(),
                                    findPin(grabber_.Get(), PINDIR_INPUT).Get(), nullptr),
              S_OK);
    ASSERT_EQ(graph_->ConnectDirect(findPin(grabber_.Get(), PINDIR_OUTPUT).Get(),
                                    findPin(renderer_.Get(), PINDIR_INPUT).Get(), nullptr),
              S_OK);
  }

  // Builds and runs the chain and waits for the first frame.
  void startStreaming() {
    buildGraph();
    connectChain();
    ASSERT_TRUE(SUCCEEDED(control_->Run()));
    ASSERT_TRUE(recorder_->waitFor(1, kWaitMs));
  }

  // Whether a frame arrives within `ms` beyond those seen so far.
  bool anotherFrameWithin(DWORD ms) {
    return recorder_->waitFor(recorder_->samples().size() + 1, ms);
  }

  void expectPeriodicTimes(REFERENCE_TIME period) {
    std::vector<SeenSample> samples = recorder_->samples();
    ASSERT_FALSE(samples.empty());
    EXPECT_EQ(samples.front().start, 0);
    for (size_t i = 0; i < samples.size(); ++i) {
      SCOPED_TRACE(i);
      EXPECT_EQ(samples[i].timeResult, S_OK);
      EXPECT_EQ(samples[i].start % period, 0) << "starts fall on period boundaries";
      EXPECT_EQ(samples[i].stop - samples[i].start, period);
      if (i > 0) {
        EXPECT_GT(samples[i].start, samples[i - 1].start);
      }
    }
  }

  ComApartment apartment_{COINIT_MULTITHREADED};
  ComPtr<CaptureFilter> filter_;
  CapturePin* pin_ = nullptr;
  ComPtr<IGraphBuilder> graph_;
  ComPtr<IMediaControl> control_;
  ComPtr<SampleRecorder> recorder_;
  ComPtr<IBaseFilter> grabber_;
  ComPtr<IBaseFilter> renderer_;
};

}  // namespace capture_graph
