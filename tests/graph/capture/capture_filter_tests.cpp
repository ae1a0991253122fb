// The capture filter in real graphs of Wine's filter graph manager: its interfaces, the media
// type it offers and accepts, stream configuration, state changes and sample times, the way
// capture applications build graphs, captured pixels against a window on the virtual display,
// and the one-connected-pin limit.
#include <windows.h>
#include <dshow.h>
#include <ks.h>
#include <ksproxy.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cwchar>
#include <memory>
#include <thread>

#include "capture/capture_filter.h"
#include "capture/capture_pin.h"
#include "capture/screen_info.h"
#include "common/com_registration.h"
#include "common/module_proc.h"
#include "common/win_raii.h"
#include "config/filter_property_page.h"
#include "dshow/ref_counted.h"
#include "capture_graph_fixture.h"
#include "codec_test_filters.h"
#include "graph_support.h"
#include "pattern_window.h"

using Microsoft::WRL::ComPtr;
using namespace graph_support;
using namespace capture_graph;

namespace {

class CaptureFilterTest : public CaptureGraphTest {};

TEST(CaptureModuleTest, ServesTheFilterByItsClassId) {
  ComApartment apartment(COINIT_MULTITHREADED);
  forgetSavedSettings();
  std::wstring path = modulePath(nullptr);
  path = path.substr(0, path.find_last_of(L"\\/") + 1) + L"Zelkgrab.ax";
  UniqueModule module(::LoadLibraryW(path.c_str()));
  ASSERT_TRUE(module);
  using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
  using CanUnloadFn = HRESULT(STDAPICALLTYPE*)();
  auto getClassObject = moduleProc<GetClassObjectFn>(module.get(), "DllGetClassObject");
  auto canUnload = moduleProc<CanUnloadFn>(module.get(), "DllCanUnloadNow");
  ASSERT_NE(getClassObject, nullptr);
  ASSERT_NE(canUnload, nullptr);

  ComPtr<IClassFactory> factory;
  ASSERT_EQ(getClassObject(CLSID_Zelkgrab, IID_PPV_ARGS(&factory)), S_OK);
  ComPtr<IBaseFilter> filter;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_PPV_ARGS(&filter)), S_OK);
  EXPECT_EQ(canUnload(), S_FALSE);
  CLSID clsid;
  ASSERT_EQ(filter->GetClassID(&clsid), S_OK);
  EXPECT_EQ(clsid, CLSID_Zelkgrab);

  ComPtr<IEnumPins> pins;
  ASSERT_EQ(filter->EnumPins(&pins), S_OK);
  ComPtr<IPin> pin;
  ASSERT_EQ(pins->Next(1, &pin, nullptr), S_OK);
  PIN_INFO info;
  ASSERT_EQ(pin->QueryPinInfo(&info), S_OK);
  info.pFilter->Release();
  EXPECT_STREQ(info.achName, L"Capture");
  EXPECT_EQ(info.dir, PINDIR_OUTPUT);
  ComPtr<IPin> second;
  EXPECT_EQ(pins->Next(1, &second, nullptr), S_FALSE);

  // Late binding, by name, from the type library inside the module.
  ComPtr<IDispatch> automation;
  ASSERT_EQ(
      filter->QueryInterface(IID_IZelkgrab, reinterpret_cast<void**>(automation.GetAddressOf())),
      S_OK);
  UINT count = 0;
  ASSERT_EQ(automation->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 1u);
  LPOLESTR name = const_cast<LPOLESTR>(L"sc_prop");
  DISPID id = 0;
  ASSERT_EQ(automation->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id), S_OK);
  EXPECT_EQ(id, 2);
  VARIANT arguments[2];
  ::VariantInit(&arguments[0]);
  ::VariantInit(&arguments[1]);
  V_VT(&arguments[0]) = VT_I4;  // the value comes last, so first in the array
  V_I4(&arguments[0]) = 1;
  V_VT(&arguments[1]) = VT_BSTR;
  V_BSTR(&arguments[1]) = ::SysAllocString(L"params\\flags\\trackscr");
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS put = {arguments, &named, 2, 1};
  EXPECT_EQ(automation->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &put,
                               nullptr, nullptr, nullptr),
            S_OK);
  DISPPARAMS get = {&arguments[1], nullptr, 1, 0};
  VARIANT result;
  ::VariantInit(&result);
  ASSERT_EQ(automation->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &get,
                               &result, nullptr, nullptr),
            S_OK);
  EXPECT_EQ(V_VT(&result), VT_I4);
  EXPECT_EQ(V_I4(&result), 1);
  ::VariantClear(&arguments[1]);
  automation.Reset();

  pin.Reset();
  pins.Reset();
  filter.Reset();
  EXPECT_EQ(canUnload(), S_OK);
  forgetSavedSettings();
}

// Also run on a 16-bit display by its own session (see CMakeLists.txt).
TEST_F(CaptureFilterTest, DesktopDepthDecidesTheFormatAndItsMasks) {
  HDC screen = ::GetDC(nullptr);
  const int depth = ::GetDeviceCaps(screen, BITSPIXEL);
  ::ReleaseDC(nullptr, screen);
  if (const char* expected = std::getenv("ZELK_EXPECT_DEPTH")) {
    ASSERT_EQ(depth, std::atoi(expected)) << "the session runs at another depth than meant";
  }
  CMediaType offered;
  ASSERT_EQ(pin_->GetMediaType(0, &offered), S_OK);
  const auto* info = reinterpret_cast<const VIDEOINFO*>(offered.Format());
  if (depth == 16) {
    EXPECT_EQ(*offered.Subtype(), MEDIASUBTYPE_RGB565);
    EXPECT_EQ(info->bmiHeader.biBitCount, 16);
    EXPECT_EQ(info->bmiHeader.biCompression, static_cast<DWORD>(BI_BITFIELDS));
    EXPECT_EQ(info->dwBitMasks[0], 0xF800u);
    EXPECT_EQ(info->dwBitMasks[1], 0x07E0u);
    EXPECT_EQ(info->dwBitMasks[2], 0x001Fu);
  } else {
    ASSERT_EQ(depth, 32) << "the virtual display runs at depth 24, which Wine reports as 32";
    EXPECT_EQ(*offered.Subtype(), MEDIASUBTYPE_RGB32);
    EXPECT_EQ(info->bmiHeader.biCompression, static_cast<DWORD>(BI_RGB));
  }
  const DWORD imageSize = 800u * 600u * (depth == 16 ? 2u : 4u);
  EXPECT_EQ(info->bmiHeader.biSizeImage, imageSize);

  // A frame of that format arrives, every pixel inside the desktop.
  buildGraph();
  connectChain();
  ASSERT_TRUE(SUCCEEDED(control_->Run()));
  ASSERT_TRUE(recorder_->waitFor(2, kWaitMs));
  ASSERT_EQ(control_->Stop(), S_OK);
  EXPECT_EQ(recorder_->samples().back().length, static_cast<long>(imageSize));
}

UniqueBstr bstr(const wchar_t* text) { return UniqueBstr(::SysAllocString(text)); }

TEST_F(CaptureFilterTest, EachControlClientGetsItsOwnChangeEvent) {
  ComPtr<IZelkgrab> first;
  ComPtr<IZelkgrab> second;
  ASSERT_EQ(filter_->QueryInterface(IID_IZelkgrab, &first), S_OK);
  ASSERT_EQ(static_cast<IPin*>(pin_)->QueryInterface(IID_IZelkgrab, &second), S_OK);
  EXPECT_NE(first.Get(), second.Get());

  const ULONGLONG started = ::GetTickCount64();
  EXPECT_EQ(first->CheckEvent(200), S_FALSE);
  const ULONGLONG waited = ::GetTickCount64() - started;
  EXPECT_GE(waited, 150u);
  EXPECT_LT(waited, 2000u);

  ASSERT_EQ(first->put_sc_prop(bstr(L"params\\output\\cx").get(), 480), S_OK);
  for (IZelkgrab* client : {first.Get(), second.Get()}) {
    EXPECT_EQ(client->CheckEvent(0), S_OK);
    EXPECT_EQ(client->CheckEvent(0), S_FALSE) << "one change, one notification";
  }
  LONG value = 0;
  ASSERT_EQ(second->get_sc_prop(bstr(L"params\\output\\cx").get(), &value), S_OK);
  EXPECT_EQ(value, 480);
  EXPECT_EQ(second->get_sc_prop(bstr(L"params\\nothing").get(), &value), S_FALSE);
  EXPECT_EQ(second->get_sc_prop(nullptr, &value), E_POINTER);

  // A tracking update that changes the record signals too: the area is clipped to the desktop
  // when the geometry is next refreshed.
  ASSERT_EQ(first->put_sc_prop(bstr(L"params\\rect\\right").get(), 5000), S_OK);
  ASSERT_EQ(first->CheckEvent(0), S_OK);
  EXPECT_EQ(pin_->Params().area.right, 1920);
  EXPECT_EQ(first->CheckEvent(0), S_OK) << "the clipping is a change of its own";
  // And a new format through the stream configuration.
  second->CheckEvent(0);
  ASSERT_EQ(second->CheckEvent(0), S_FALSE);
  ComPtr<IAMStreamConfig> config;
  ASSERT_EQ(filter_.As(&config), S_OK);
  AM_MEDIA_TYPE* format = nullptr;
  ASSERT_EQ(config->GetFormat(&format), S_OK);
  ASSERT_EQ(config->SetFormat(format), S_OK);
  DeleteMediaType(format);
  EXPECT_EQ(second->CheckEvent(0), S_OK);

  // The whole document out and back in.
  BSTR document = nullptr;
  ASSERT_EQ(first->get_sc_props(&document), S_OK);
  UniqueBstr owned(document);
  ASSERT_EQ(first->put_sc_prop(bstr(L"params\\output\\cx").get(), 100), S_OK);
  ASSERT_EQ(first->put_sc_props(owned.get()), S_OK);
  ASSERT_EQ(first->get_sc_prop(bstr(L"params\\output\\cx").get(), &value), S_OK);
  EXPECT_EQ(value, 480);
  EXPECT_TRUE(FAILED(first->put_sc_props(bstr(L"<configuration><params").get())));
}

TEST_F(CaptureFilterTest, ARefusedDocumentSignalsNobody) {
  ComPtr<IZelkgrab> control;
  ASSERT_EQ(filter_->QueryInterface(IID_IZelkgrab, &control), S_OK);
  while (control->CheckEvent(0) == S_OK) {
  }
  EXPECT_TRUE(FAILED(control->put_sc_props(bstr(L"<configuration><params").get())));
  EXPECT_EQ(control->CheckEvent(0), S_FALSE) << "nothing changed";
  ASSERT_EQ(
      control->put_sc_props(bstr(L"<configuration><params event=\"12\"/></configuration>").get()),
      S_OK);
  EXPECT_EQ(control->CheckEvent(0), S_OK);
}

// The document names the tracked window by its title, read without a message to the window:
// its thread may be busy, or waiting for whoever asks.
TEST_F(CaptureFilterTest, TheDocumentNamesAWindowWhoseThreadDoesNotAnswer) {
  UniqueHandle created(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  UniqueHandle release(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  std::atomic<HWND> window{nullptr};
  std::thread owner([&] {
    HWND own = ::CreateWindowExW(0, L"STATIC", L"Busy owner", WS_OVERLAPPED, 10, 10, 100, 100,
                                 nullptr, nullptr, nullptr, nullptr);
    window = own;
    ::SetEvent(created.get());
    ::WaitForSingleObject(release.get(), 10000);  // never pumps meanwhile
    if (own) ::DestroyWindow(own);
  });
  ASSERT_EQ(::WaitForSingleObject(created.get(), kWaitMs), WAIT_OBJECT_0);
  ASSERT_NE(window.load(), nullptr);
  ASSERT_EQ(filter_->settings().SetParam(L"params\\window\\hwnd",
                                         static_cast<int32_t>(windowToParam(window))),
            S_OK);

  std::wstring document;
  std::atomic<bool> built{false};
  std::thread reader([&] {
    filter_->settings().GetDocument(&document);
    built = true;
  });
  for (int i = 0; i < 200 && !built; ++i) ::Sleep(10);
  const bool answered = built;
  ::SetEvent(release.get());
  owner.join();
  reader.join();
  EXPECT_TRUE(answered) << "the document waited for the window's thread";
  EXPECT_NE(document.find(L"name=\"Busy owner\""), std::wstring::npos)
      << std::string(document.begin(), document.end());
}

TEST_F(CaptureFilterTest, APeriodOfZeroIsKeptButFramesComeAtTheBuiltInPeriod) {
  ASSERT_EQ(filter_->settings().SetParam(L"params\\sampletime", 0), S_OK);
  buildGraph();
  connectChain();
  ASSERT_TRUE(SUCCEEDED(control_->Pause()));
  ASSERT_TRUE(recorder_->waitFor(1, kWaitMs));
  ::Sleep(300);
  EXPECT_EQ(recorder_->samples().size(), 1u) << "paused stays paused";
  ASSERT_TRUE(SUCCEEDED(control_->Run()));
  ASSERT_TRUE(recorder_->waitFor(5, kWaitMs));
  ASSERT_EQ(control_->Stop(), S_OK);
  expectPeriodicTimes(kDefaultPeriod);
  int32_t stored = -1;
  ASSERT_EQ(filter_->settings().GetParam(L"params\\sampletime", &stored), S_OK);
  EXPECT_EQ(stored, 0) << "the record keeps what it was given";
}

TEST_F(CaptureFilterTest, ABorderChangedWhileConnectedShowsFromTheNextFrames) {
  // A 100 x 100 area in a 200 x 200 frame: the first row in memory (the bottom one) is border.
  filter_->settings().change([](CaptureParams& params) {
    params.rect = {0, 0, 100, 100};
    params.area = params.rect;
    params.output = {200, 200};
    params.set(CaptureFlag::OutputSize, true);
    params.set(CaptureFlag::OptCapture, false);
    params.set(CaptureFlag::HideMouse, true);
  });
  buildGraph();
  connectChain();
  ASSERT_TRUE(SUCCEEDED(control_->Run()));
  ASSERT_TRUE(recorder_->waitFor(2, kWaitMs));
  EXPECT_EQ(recorder_->samples().back().firstWord & 0xFFFFFF, 0xFF00FFu);
  ASSERT_EQ(filter_->settings().SetParam(L"params\\border\\rgb", 0x0000FF), S_OK);
  recorder_->clear();
  ASSERT_TRUE(recorder_->waitFor(3, kWaitMs));
  EXPECT_EQ(recorder_->samples().back().firstWord & 0xFFFFFF, 0xFF0000u) << "red, as 0x00RRGGBB";
  ASSERT_EQ(control_->Stop(), S_OK);
}

// A downstream filter that blocks in Receive while saying it never does: the capture delivers
// to it directly, on its worker thread.
TEST_F(CaptureFilterTest, ASlowDownstreamFilterHoldsUpNoControlCall) {
  ASSERT_EQ(
      ::CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&graph_)),
      S_OK);
  ASSERT_EQ(graph_.As(&control_), S_OK);
  ComPtr<codec_graph::RecordingSink> sink = new codec_graph::RecordingSink(MEDIASUBTYPE_RGB32);
  sink->setReceiveCanBlock(false);
  ASSERT_EQ(graph_->AddFilter(filter_.Get(), L"capture"), S_OK);
  ASSERT_EQ(graph_->AddFilter(sink.Get(), L"sink"), S_OK);
  ASSERT_EQ(
      graph_->ConnectDirect(findPin(filter_.Get(), PINDIR_OUTPUT).Get(), sink->pin(), nullptr),
      S_OK);
  ASSERT_EQ(UseBaseReferenceClock(graph_.Get()), S_OK);
  ComPtr<IZelkgrab> control;
  ASSERT_EQ(filter_->QueryInterface(IID_IZelkgrab, &control), S_OK);

  sink->holdNextSample(3000);
  ASSERT_TRUE(SUCCEEDED(control_->Run()));
  for (int i = 0; i < 500 && !sink->holding(); ++i) ::Sleep(10);
  ASSERT_TRUE(sink->holding());
  const ULONGLONG started = ::GetTickCount64();
  BSTR document = nullptr;
  ASSERT_EQ(control->get_sc_props(&document), S_OK);
  UniqueBstr owned(document);
  LONG value = 0;
  ASSERT_EQ(control->get_sc_prop(bstr(L"params\\output\\cx").get(), &value), S_OK);
  EXPECT_LT(::GetTickCount64() - started, 500u);
  EXPECT_TRUE(sink->holding()) << "measured while the filter was still blocked";
  ASSERT_EQ(control_->Stop(), S_OK);
}

TEST_F(CaptureFilterTest, AnswersTheInterfacesCaptureApplicationsProbe) {
  ComPtr<IFileSourceFilter> fileSource;
  ASSERT_EQ(filter_.As(&fileSource), S_OK);
  EXPECT_EQ(fileSource->Load(nullptr, nullptr), E_POINTER);
  LPOLESTR name = nullptr;
  AM_MEDIA_TYPE type;
  std::memset(&type, 0xAB, sizeof(type));
  ASSERT_EQ(fileSource->GetCurFile(&name, &type), S_OK);
  EXPECT_EQ(name, nullptr) << "nothing loaded yet";
  EXPECT_EQ(type.majortype, GUID_NULL);
  ASSERT_EQ(fileSource->Load(L"screen", nullptr), S_OK);
  ASSERT_EQ(fileSource->GetCurFile(&name, nullptr), S_OK);
  EXPECT_STREQ(name, L"screen");
  ::CoTaskMemFree(name);

  ComPtr<IAMOpenProgress> progress;
  ASSERT_EQ(filter_->QueryInterface(IID_IAMOpenProgress, &progress), S_OK);
  LONGLONG total = 0;
  LONGLONG available = 0;
  EXPECT_EQ(progress->QueryProgress(&total, &available), VFW_S_ESTIMATED);
  EXPECT_EQ(total, 1);
  EXPECT_EQ(available, 1);
  EXPECT_EQ(progress->AbortOperation(), S_OK);

  ComPtr<IAMStreamConfig> fromFilter;
  ComPtr<IAMStreamConfig> fromPin;
  ASSERT_EQ(filter_.As(&fromFilter), S_OK);
  ASSERT_EQ(static_cast<IPin*>(pin_)->QueryInterface(IID_PPV_ARGS(&fromPin)), S_OK);
  EXPECT_EQ(fromFilter.Get(), fromPin.Get());

  ComPtr<IKsPropertySet> properties;
  ASSERT_EQ(static_cast<IPin*>(pin_)->QueryInterface(IID_PPV_ARGS(&properties)), S_OK);
  GUID category = GUID_NULL;
  DWORD returned = 0;
  ASSERT_EQ(properties->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category,
                            sizeof(category), &returned),
            S_OK);
  EXPECT_EQ(category, PIN_CATEGORY_CAPTURE);
  EXPECT_EQ(returned, sizeof(GUID));
  EXPECT_EQ(properties->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category, 8,
                            &returned),
            E_UNEXPECTED);
  EXPECT_EQ(properties->Get(PIN_CATEGORY_CAPTURE, 0, nullptr, 0, &category, 16, &returned),
            E_PROP_SET_UNSUPPORTED);
  EXPECT_EQ(properties->Get(AMPROPSETID_Pin, 1, nullptr, 0, &category, 16, &returned),
            E_PROP_ID_UNSUPPORTED);
  EXPECT_EQ(properties->Set(AMPROPSETID_Pin, 0, nullptr, 0, &category, 16), E_NOTIMPL);
  DWORD support = 0;
  ASSERT_EQ(properties->QuerySupported(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, &support), S_OK);
  EXPECT_EQ(support, static_cast<DWORD>(KSPROPERTY_SUPPORT_GET));
}

TEST_F(CaptureFilterTest, OffersTheDesktopFormatOfTheCentredArea) {
  const CaptureParams params = pin_->Params();
  EXPECT_EQ(params.area.left, kDefaultArea.left);
  EXPECT_EQ(params.area.top, kDefaultArea.top);
  EXPECT_EQ(params.area.right, kDefaultArea.right);
  EXPECT_EQ(params.area.bottom, kDefaultArea.bottom);
  EXPECT_EQ(params.sampletime, kDefaultPeriod);

  CMediaType offered;
  ASSERT_EQ(pin_->GetMediaType(0, &offered), S_OK);
  EXPECT_EQ(*offered.Type(), MEDIATYPE_Video);
  EXPECT_EQ(*offered.Subtype(), MEDIASUBTYPE_RGB32);  // Wine's 24-bit X display reads as 32
  EXPECT_EQ(*offered.FormatType(), FORMAT_VideoInfo);
  ASSERT_EQ(offered.FormatLength(), sizeof(VIDEOINFO));
  const BITMAPINFOHEADER& header = videoInfo(offered)->bmiHeader;
  EXPECT_EQ(header.biWidth, 800);
  EXPECT_EQ(header.biHeight, 600);
  EXPECT_EQ(header.biBitCount, 32);
  EXPECT_EQ(header.biCompression, static_cast<DWORD>(BI_RGB));
  EXPECT_EQ(header.biSizeImage, 800u * 600u * 4u);
  EXPECT_EQ(offered.GetSampleSize(), 800u * 600u * 4u);
  EXPECT_EQ(videoInfo(offered)->AvgTimePerFrame, 0);

  CMediaType next;
  EXPECT_EQ(pin_->GetMediaType(1, &next), VFW_S_NO_MORE_ITEMS);
  EXPECT_EQ(pin_->GetMediaType(-1, &next), E_INVALIDARG);

  // Any frame rate is accepted; anything else must match to the byte.
  CMediaType otherRate(offered);
  reinterpret_cast<VIDEOINFOHEADER*>(otherRate.Format())->AvgTimePerFrame = 666666;
  EXPECT_EQ(pin_->QueryAccept(&otherRate), S_OK);
  CMediaType bare(offered);
  bare.ReallocFormatBuffer(sizeof(VIDEOINFOHEADER));
  EXPECT_EQ(pin_->QueryAccept(&bare), S_FALSE);
  CMediaType otherWidth(offered);
  reinterpret_cast<VIDEOINFOHEADER*>(otherWidth.Format())->bmiHeader.biWidth = 640;
  EXPECT_EQ(pin_->QueryAccept(&otherWidth), S_FALSE);
}

TEST_F(CaptureFilterTest, StreamConfigReportsCapsAndOverridesTheFormat) {
  ComPtr<IAMStreamConfig> config;
  ASSERT_EQ(filter_.As(&config), S_OK);
  int count = 0;
  int size = 0;
  ASSERT_EQ(config->GetNumberOfCapabilities(&count, &size), S_OK);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(size, 128);

  AM_MEDIA_TYPE* type = nullptr;
  VIDEO_STREAM_CONFIG_CAPS caps;
  ASSERT_EQ(config->GetStreamCaps(0, &type, reinterpret_cast<BYTE*>(&caps)), S_OK);
  EXPECT_EQ(videoInfo(*type)->AvgTimePerFrame, kDefaultPeriod);
  DeleteMediaType(type);
  EXPECT_EQ(caps.guid, FORMAT_VideoInfo);
  EXPECT_EQ(caps.InputSize.cx, 800);
  EXPECT_EQ(caps.MaxOutputSize.cy, 600);
  EXPECT_EQ(caps.MinOutputSize.cx, 1);
  EXPECT_EQ(caps.MinFrameInterval, 39215);
  EXPECT_EQ(caps.MaxFrameInterval, 10000000);
  EXPECT_EQ(caps.MinBitsPerSecond, 460800);
  EXPECT_EQ(caps.MaxBitsPerSecond, 110592000);
  EXPECT_EQ(config->GetStreamCaps(1, &type, reinterpret_cast<BYTE*>(&caps)), S_FALSE);
  EXPECT_EQ(config->GetStreamCaps(-1, &type, reinterpret_cast<BYTE*>(&caps)), E_INVALIDARG);

  auto setFormat = [&](LONG width, LONG height, REFERENCE_TIME period) {
    AM_MEDIA_TYPE* format = nullptr;
    EXPECT_EQ(config->GetFormat(&format), S_OK);
    auto* info = reinterpret_cast<VIDEOINFOHEADER*>(format->pbFormat);
    info->bmiHeader.biWidth = width;
    info->bmiHeader.biHeight = height;
    info->AvgTimePerFrame = period;
    EXPECT_EQ(config->SetFormat(format), S_OK);
    DeleteMediaType(format);
  };
  auto offeredSize = [&] {
    CMediaType offered;
    EXPECT_EQ(pin_->GetMediaType(0, &offered), S_OK);
    const BITMAPINFOHEADER& header = videoInfo(offered)->bmiHeader;
    return SIZE{header.biWidth, header.biHeight};
  };

  setFormat(640, 480, 1000000);
  EXPECT_EQ(pin_->Params().sampletime, 1000000);
  EXPECT_EQ(offeredSize().cx, 640);
  EXPECT_EQ(offeredSize().cy, 480);
  AM_MEDIA_TYPE* format = nullptr;
  ASSERT_EQ(config->GetFormat(&format), S_OK);
  EXPECT_EQ(videoInfo(*format)->AvgTimePerFrame, 1000000);
  DeleteMediaType(format);

  setFormat(800, 600, 1000000);  // the frame size itself: no override
  EXPECT_EQ(offeredSize().cx, 800);
  setFormat(1, 480, 1000000);  // too narrow to mean anything: no override
  EXPECT_EQ(offeredSize().cx, 800);
  EXPECT_EQ(offeredSize().cy, 480);

  EXPECT_EQ(config->SetFormat(nullptr), E_POINTER);
}

TEST_F(CaptureFilterTest, RunsPausesAndStopsWithPeriodicTimesFromZero) {
  buildGraph();
  connectChain();
  for (int cycle = 1; cycle <= 3; ++cycle) {
    SCOPED_TRACE(cycle);
    recorder_->clear();
    ASSERT_TRUE(SUCCEEDED(control_->Run()));
    ASSERT_TRUE(recorder_->waitFor(4, kWaitMs));
    ASSERT_TRUE(SUCCEEDED(control_->Pause()));
    OAFilterState state;
    control_->GetState(kWaitMs, &state);
    EXPECT_EQ(state, State_Paused);
    ASSERT_TRUE(SUCCEEDED(control_->Run()));
    const size_t before = recorder_->samples().size();
    ASSERT_TRUE(recorder_->waitFor(before + 3, kWaitMs));
    ASSERT_EQ(control_->Stop(), S_OK);
    EXPECT_FALSE(pin_->ThreadExists());
    expectPeriodicTimes(kDefaultPeriod);
  }
}

TEST_F(CaptureFilterTest, CaptureGraphBuilderRendersTheCaptureStream) {
  buildGraph();
  ComPtr<ICaptureGraphBuilder2> builder;
  ASSERT_EQ(::CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER,
                               IID_ICaptureGraphBuilder2, &builder),
            S_OK);
  ASSERT_EQ(builder->SetFiltergraph(graph_.Get()), S_OK);
  IBaseFilter* capture = filter_.Get();
  ASSERT_EQ(builder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, capture, grabber_.Get(),
                                  renderer_.Get()),
            S_OK);
  ASSERT_TRUE(SUCCEEDED(control_->Run()));
  EXPECT_TRUE(recorder_->waitFor(3, kWaitMs));
  ASSERT_EQ(control_->Stop(), S_OK);
}

TEST_F(CaptureFilterTest, WithoutAReferenceClockOnlyTheFirstSampleGoes) {
  buildGraph();
  connectChain();
  ComPtr<IMediaFilter> timing;
  ASSERT_EQ(graph_.As(&timing), S_OK);
  ASSERT_EQ(timing->SetSyncSource(nullptr), S_OK);
  ASSERT_TRUE(SUCCEEDED(control_->Run()));
  ASSERT_TRUE(recorder_->waitFor(1, kWaitMs));
  ::Sleep(static_cast<DWORD>(3 * kDefaultPeriod / 10000));
  std::vector<SeenSample> samples = recorder_->samples();
  ASSERT_EQ(samples.size(), 1u);
  EXPECT_EQ(samples[0].start, 0);
  ASSERT_EQ(control_->Stop(), S_OK);
}

TEST_F(CaptureFilterTest, SetFormatChangesThePeriodOfTheStream) {
  constexpr REFERENCE_TIME kPeriod = 200000;
  ComPtr<IAMStreamConfig> config;
  ASSERT_EQ(filter_.As(&config), S_OK);
  AM_MEDIA_TYPE* format = nullptr;
  ASSERT_EQ(config->GetFormat(&format), S_OK);
  reinterpret_cast<VIDEOINFOHEADER*>(format->pbFormat)->AvgTimePerFrame = kPeriod;
  ASSERT_EQ(config->SetFormat(format), S_OK);
  DeleteMediaType(format);

  buildGraph();
  connectChain();
  ASSERT_TRUE(SUCCEEDED(control_->Run()));
  ASSERT_TRUE(recorder_->waitFor(5, kWaitMs));
  ASSERT_EQ(control_->Stop(), S_OK);
  expectPeriodicTimes(kPeriod);
}

TEST_F(CaptureFilterTest, CapturedPixelsAreTheWindowOnScreen) {
  // Inside the capture area, at (40, 60) from its top-left corner.
  const RECT bounds = {kDefaultArea.left + 40, kDefaultArea.top + 60, kDefaultArea.left + 240,
                       kDefaultArea.top + 160};
  PatternWindow pattern(bounds);
  ASSERT_TRUE(pattern.shown());

  buildGraph();
  connectChain();
  ASSERT_TRUE(SUCCEEDED(control_->Run()));
  ASSERT_TRUE(recorder_->waitFor(2, kWaitMs));
  std::vector<BYTE> frame = recorder_->lastData();
  ASSERT_EQ(control_->Stop(), S_OK);
  ASSERT_EQ(frame.size(), 800u * 600u * 4u);

  auto pixelAt = [&](int x, int y) {
    // Bottom-up rows of 32-bit BGRX pixels, in frame coordinates.
    const BYTE* p = &frame[((599 - y) * 800 + x) * 4];
    return RGB(p[2], p[1], p[0]);
  };
  for (int y = bounds.top + 5; y < bounds.bottom; y += 45) {
    for (int x = bounds.left + 5; x < bounds.right; x += 95) {
      SCOPED_TRACE(testing::Message() << "screen " << x << "," << y);
      EXPECT_EQ(pixelAt(x - kDefaultArea.left, y - kDefaultArea.top), pattern.colourAt(x, y));
    }
  }
  // The window's edges land exactly at their offset.
  EXPECT_EQ(pixelAt(40, 60), PatternWindow::kTopLeft);
  EXPECT_EQ(pixelAt(239, 159), PatternWindow::kBottomRight);
  EXPECT_NE(pixelAt(39, 60), PatternWindow::kTopLeft);
  EXPECT_NE(pixelAt(240, 159), PatternWindow::kBottomRight);
}

// Runs the second process of the running-object-table tests; its exit code, or -1.
int runRotClient(const std::wstring& arguments) {
  std::wstring path = modulePath(nullptr);
  path = path.substr(0, path.find_last_of(L"\\/") + 1) + L"rot_client.exe";
  std::wstring line =
      L"\"" + path + L"\" " + std::to_wstring(::GetCurrentProcessId()) + L" " + arguments;
  STARTUPINFOW startup = {sizeof(startup)};
  PROCESS_INFORMATION process = {};
  if (!::CreateProcessW(path.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
    return -1;
  }
  UniqueHandle processHandle(process.hProcess);
  UniqueHandle threadHandle(process.hThread);
  if (::WaitForSingleObject(process.hProcess, 30000) != WAIT_OBJECT_0) {
    ::TerminateProcess(process.hProcess, 99);
    return -1;
  }
  DWORD code = 0;
  ::GetExitCodeProcess(process.hProcess, &code);
  return static_cast<int>(code);
}

// Marshalling IZelkgrab to another process needs its type library registered.
class RegisteredTypeLibrary {
 public:
  RegisteredTypeLibrary() {
    std::wstring path = modulePath(nullptr);
    path = path.substr(0, path.find_last_of(L"\\/") + 1) + L"Zelkgrab.ax";
    ComPtr<ITypeLib> library;
    result_ = ::LoadTypeLib(path.c_str(), &library);
    if (SUCCEEDED(result_)) {
      result_ = ::RegisterTypeLib(library.Get(), const_cast<LPOLESTR>(path.c_str()), nullptr);
    }
  }
  ~RegisteredTypeLibrary() {
    if (SUCCEEDED(result_)) ::UnRegisterTypeLib(LIBID_ZelkgrabLib, 1, 0, 0, SYS_WIN64);
  }
  HRESULT result() const { return result_; }

 private:
  HRESULT result_;
};

TEST_F(CaptureFilterTest, AnotherProcessFindsAndDrivesTheFilterThroughItsEntry) {
  RegisteredTypeLibrary typeLibrary;
  ASSERT_EQ(typeLibrary.result(), S_OK);
  ASSERT_EQ(filter_->settings().SetParam(L"params\\output\\cx", 432), S_OK);
  EXPECT_EQ(runRotClient(L"filter 432"), 0);
  int32_t cy = 0;
  ASSERT_EQ(filter_->settings().GetParam(L"params\\output\\cy", &cy), S_OK);
  EXPECT_EQ(cy, 123) << "the other process's change arrived";

  // Wine keeps the interfaces a remote client obtained through the entry's object in that
  // object's stubs for as long as the object is listed, even after the client released them;
  // disconnecting the object lets them go, as a client's release does elsewhere.
  ComPtr<IRunningObjectTable> table;
  ASSERT_EQ(::GetRunningObjectTable(0, &table), S_OK);
  ComPtr<IEnumMoniker> entries;
  ASSERT_EQ(table->EnumRunning(&entries), S_OK);
  ComPtr<IMoniker> moniker;
  while (entries->Next(1, moniker.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
    ComPtr<IUnknown> object;
    if (SUCCEEDED(table->GetObject(moniker.Get(), &object))) ::CoDisconnectObject(object.Get(), 0);
  }
  pin_ = nullptr;
  filter_.Reset();
  EXPECT_FALSE(module_lock::inUse()) << "something still holds the filter";
  EXPECT_EQ(runRotClient(L"absent"), 0) << "the entry must go with the filter";
}

TEST_F(CaptureFilterTest, GraphIsListedOnlyWhenJoinedWithRegrot) {
  buildGraph();  // joined without regrot
  ASSERT_EQ(filter_->settings().SetParam(L"params\\flags\\regrot", 1), S_OK);
  EXPECT_NE(runRotClient(L"graph"), 0) << "setting regrot does not list the current graph";

  IBaseFilter* capture = filter_.Get();
  ASSERT_EQ(graph_->RemoveFilter(capture), S_OK);
  ASSERT_EQ(graph_->AddFilter(capture, L"capture again"), S_OK);
  EXPECT_EQ(runRotClient(L"graph"), 0);
  // Leaving the graph revokes its entry.
  ASSERT_EQ(graph_->RemoveFilter(capture), S_OK);
  EXPECT_NE(runRotClient(L"graph"), 0);
}

// The object listed under `name` in this process's running object table, or null.
ComPtr<IUnknown> listedObject(const std::wstring& name) {
  ComPtr<IRunningObjectTable> table;
  ComPtr<IEnumMoniker> entries;
  ComPtr<IBindCtx> context;
  if (FAILED(::GetRunningObjectTable(0, &table)) || FAILED(table->EnumRunning(&entries)) ||
      FAILED(::CreateBindCtx(0, &context))) {
    ADD_FAILURE() << "no running object table";
    return nullptr;
  }
  ComPtr<IMoniker> moniker;
  while (entries->Next(1, moniker.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
    LPOLESTR raw = nullptr;
    if (FAILED(moniker->GetDisplayName(context.Get(), nullptr, &raw))) continue;
    CoTaskMemPtr<wchar_t> listed(raw);
    // An item moniker's display name starts with its delimiter.
    if (name != raw + 1) continue;
    ComPtr<IUnknown> object;
    EXPECT_EQ(table->GetObject(moniker.Get(), &object), S_OK);
    return object;
  }
  return nullptr;
}

TEST_F(CaptureFilterTest, GraphEntryLetsTheGraphGoWhenItsHolderReleasesIt) {
  filter_->settings().change([](CaptureParams& params) { params.set(CaptureFlag::RegRot, true); });
  ComPtr<IFilterGraph> graph;
  ASSERT_EQ(
      ::CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&graph)),
      S_OK);
  ASSERT_EQ(graph->AddFilter(filter_.Get(), L"capture"), S_OK);
  // Looked at in-process: interfaces another process took through the entry would stay in
  // its object's stubs while it is listed (see above) and hold the graph.
  wchar_t name[64];
  std::swprintf(name, 64, L"FilterGraph %08x pid %08x",
                static_cast<unsigned>(reinterpret_cast<uintptr_t>(graph.Get())),
                static_cast<unsigned>(::GetCurrentProcessId()));
  {
    ComPtr<IUnknown> listed = listedObject(name);
    ASSERT_TRUE(listed) << "the graph is listed by its address and the process id";
    ComPtr<IFilterGraph> asked;
    ASSERT_EQ(listed.As(&asked), S_OK);
    EXPECT_EQ(asked.Get(), graph.Get()) << "the entry answers for the graph";
  }

  // The graph ends as its holder lets it go, and takes the filter out on its way.
  graph.Reset();
  FILTER_INFO info = {};
  ASSERT_EQ(filter_->QueryFilterInfo(&info), S_OK);
  EXPECT_EQ(info.pGraph, nullptr) << "the entry kept the graph alive";
  if (info.pGraph) {
    info.pGraph->RemoveFilter(filter_.Get());
    info.pGraph->Release();
  }
  EXPECT_FALSE(listedObject(name)) << "the entry went with the graph";
}

TEST_F(CaptureFilterTest, ResizeFitsTheAreaAndFillsTheRestWithTheBorder) {
  // 800 x 400 into 320 x 240, aspect kept: 320 x 160, 40 border rows above and below.
  const RECT bounds = {700, 400, 1100, 600};  // a pattern filling the area's centre
  PatternWindow pattern(bounds);
  ASSERT_TRUE(pattern.shown());
  filter_->settings().change([](CaptureParams& params) {
    params.rect = params.area = {500, 300, 1300, 700};
    params.output = {320, 240};
    for (CaptureFlag flag : {CaptureFlag::Resize, CaptureFlag::ResizeAspect,
                             CaptureFlag::ResizeType, CaptureFlag::OutputSize}) {
      params.set(flag, true);
    }
  });
  EXPECT_EQ(pin_->Params().frameSize.cx, 320);
  EXPECT_EQ(pin_->Params().frameSize.cy, 240);

  buildGraph();
  connectChain();
  ASSERT_TRUE(SUCCEEDED(control_->Run()));
  ASSERT_TRUE(recorder_->waitFor(2, kWaitMs));
  std::vector<BYTE> frame = recorder_->lastData();
  ASSERT_EQ(control_->Stop(), S_OK);
  ASSERT_EQ(frame.size(), 320u * 240u * 4u);

  auto word = [&](int column, int memoryRow) {
    return *reinterpret_cast<const DWORD*>(&frame[(memoryRow * 320 + column) * 4]);
  };
  constexpr DWORD kBorder = 0x00FF00FF;  // r 255, g 0, b 255
  for (int row : {0, 39, 200, 239}) {
    SCOPED_TRACE(row);
    for (int column : {0, 160, 319}) EXPECT_EQ(word(column, row), kBorder);
  }
  // The pattern, scaled by 0.4 about the area's centre: its red quadrant (top left on screen)
  // lands in the upper half of the picture, which is the later half of the bottom-up rows.
  const int redColumn = (750 - 500) * 2 / 5;
  const int redRow = 239 - (40 + (450 - 300) * 2 / 5);
  // Each of the two linear passes turns 255 into 254, so full red arrives as 253.
  EXPECT_EQ(word(redColumn, redRow) & 0xFFFFFF, 0xFD0000u);
  EXPECT_NE(word(160, 120), kBorder);
}

TEST_F(CaptureFilterTest, ResizingAOnePixelWideAreaEndsTheStream) {
  filter_->settings().change([](CaptureParams& params) {
    params.rect = params.area = {100, 100, 101, 400};
    params.set(CaptureFlag::Resize, true);
  });
  buildGraph();
  connectChain();
  ASSERT_TRUE(SUCCEEDED(control_->Run()));
  LONG_PTR reason = 0;
  ASSERT_TRUE(waitForEvent(graph_.Get(), EC_ERRORABORT, kWaitMs, &reason));
  EXPECT_EQ(static_cast<HRESULT>(reason), E_INVALIDARG);
  EXPECT_TRUE(recorder_->samples().empty());
  ASSERT_EQ(control_->Stop(), S_OK);
}

TEST_F(CaptureFilterTest, TrackedWindowIsFollowedOffTheEdgeAndWhileMinimised) {
  auto pattern = std::make_unique<PatternWindow>(RECT{100, 100, 300, 260});
  ASSERT_TRUE(pattern->shown());
  HWND window = pattern->window();
  filter_->settings().change([window](CaptureParams& params) {
    params.hwnd = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(window));
    params.set(CaptureFlag::TrackWnd, true);
    // A following view would pan onto the visible part; here it keeps its place.
    params.set(CaptureFlag::TrackMouse, false);
  });
  const CaptureParams tracked = pin_->Params();
  EXPECT_EQ(tracked.area.left, 100);
  EXPECT_EQ(tracked.area.bottom, 260);
  EXPECT_EQ(tracked.frameSize.cx, 200);
  EXPECT_EQ(tracked.frameSize.cy, 160);

  buildGraph();
  connectChain();
  ASSERT_TRUE(SUCCEEDED(control_->Run()));
  auto nextFrame = [&] {
    const size_t seen = recorder_->samples().size();
    EXPECT_TRUE(recorder_->waitFor(seen + 3, kWaitMs));
    return recorder_->lastData();
  };
  auto pixelAt = [](const std::vector<BYTE>& frame, int x, int y) {
    const BYTE* p = &frame[((159 - y) * 200 + x) * 4];
    return RGB(p[2], p[1], p[0]);
  };
  constexpr COLORREF kBorder = RGB(255, 0, 255);

  std::vector<BYTE> frame = nextFrame();
  ASSERT_EQ(frame.size(), 200u * 160u * 4u);
  EXPECT_EQ(pixelAt(frame, 10, 10), PatternWindow::kTopLeft);
  EXPECT_EQ(pixelAt(frame, 190, 150), PatternWindow::kBottomRight);

  // Past the desktop's top-left corner: the visible part keeps its place in the frame, the
  // rest is border.
  ASSERT_TRUE(::SetWindowPos(window, nullptr, -50, -40, 0, 0, SWP_NOSIZE | SWP_NOZORDER));
  frame = nextFrame();
  EXPECT_EQ(pin_->Params().area.left, -50);
  EXPECT_EQ(pixelAt(frame, 10, 10), kBorder);
  EXPECT_EQ(pixelAt(frame, 49, 100), kBorder);
  EXPECT_EQ(pixelAt(frame, 60, 50), PatternWindow::kTopLeft);
  EXPECT_EQ(pixelAt(frame, 190, 150), PatternWindow::kBottomRight);

  ::ShowWindow(window, SW_MINIMIZE);
  frame = nextFrame();
  EXPECT_EQ(pixelAt(frame, 60, 50), kBorder) << "a minimised window gives border frames";
  EXPECT_EQ(pixelAt(frame, 190, 150), kBorder);

  // Gone: tracking ends, the last area stays.
  const ParamRect last = pin_->Params().area;
  pattern.reset();
  const CaptureParams after = pin_->Params();
  EXPECT_FALSE(after.has(CaptureFlag::TrackWnd));
  EXPECT_EQ(after.hwnd, kNoWindow);
  EXPECT_EQ(after.area.left, std::max(last.left, 0));
  ASSERT_EQ(control_->Stop(), S_OK);
}

TEST_F(CaptureFilterTest, MaximisedWindowLeavesItsOffScreenBorderOut) {
  HWND window = ::CreateWindowExW(0, L"STATIC", L"zelk maximised", WS_OVERLAPPEDWINDOW, 100, 100,
                                  400, 300, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(window, nullptr);
  ::ShowWindow(window, SW_MAXIMIZE);
  ASSERT_TRUE(::IsZoomed(window));
  RECT bounds;
  ASSERT_TRUE(::GetWindowRect(window, &bounds));
  WINDOWINFO info = {};
  info.cbSize = sizeof(info);
  ASSERT_TRUE(::GetWindowInfo(window, &info));

  filter_->settings().change([window](CaptureParams& params) {
    params.hwnd = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(window));
    params.set(CaptureFlag::TrackWnd, true);
  });
  const CaptureParams params = pin_->Params();
  EXPECT_EQ(params.rect.left, bounds.left);
  EXPECT_EQ(params.rect.right, bounds.right);
  EXPECT_EQ(params.area.left, std::max<LONG>(bounds.left + info.cxWindowBorders, 0));
  EXPECT_EQ(params.area.right, std::min<LONG>(bounds.right - info.cxWindowBorders, 1920));
  EXPECT_EQ(params.area.bottom, std::min<LONG>(bounds.bottom - info.cyWindowBorders, 1080));
  EXPECT_EQ(params.pan.x, params.area.left - bounds.left);
  EXPECT_EQ(params.pan.y, params.area.top - bounds.top);
  if (bounds.left < 0) {
    EXPECT_EQ(params.pan.x, static_cast<int32_t>(info.cxWindowBorders))
        << "the pan is the border width when the border lies off the screen";
  }
  EXPECT_EQ(params.source.left, params.pan.x);
  EXPECT_EQ(params.source.right - params.source.left, params.area.width());
  ::DestroyWindow(window);
}

TEST_F(CaptureFilterTest, LimitInstLetsOnlyOnePinOfTheProcessConnect) {
  buildGraph();
  ComPtr<CaptureFilter> second = makeCaptureFilter();
  ComPtr<IBaseFilter> secondRenderer;
  ASSERT_EQ(::CoCreateInstance(kNullRenderer, nullptr, CLSCTX_INPROC_SERVER,
                               IID_PPV_ARGS(&secondRenderer)),
            S_OK);
  ASSERT_EQ(graph_->AddFilter(second.Get(), L"second capture"), S_OK);
  ASSERT_EQ(graph_->AddFilter(secondRenderer.Get(), L"second renderer"), S_OK);
  for (CaptureFilter* filter : {filter_.Get(), second.Get()}) {
    filter->settings().change(
        [](CaptureParams& params) { params.set(CaptureFlag::LimitInst, true); });
  }

  connectChain();
  ComPtr<IPin> secondOut = findPin(second.Get(), PINDIR_OUTPUT);
  ComPtr<IPin> secondIn = findPin(secondRenderer.Get(), PINDIR_INPUT);
  CMediaType type;
  ASSERT_EQ(second->pin()->GetMediaType(0, &type), S_OK);
  EXPECT_EQ(graph_->ConnectDirect(secondOut.Get(), secondIn.Get(), &type), E_FAIL);
  ComPtr<IPin> peer;
  EXPECT_EQ(secondOut->ConnectedTo(&peer), VFW_E_NOT_CONNECTED);

  ASSERT_EQ(graph_->Disconnect(findPin(filter_.Get(), PINDIR_OUTPUT).Get()), S_OK);
  EXPECT_EQ(graph_->ConnectDirect(secondOut.Get(), secondIn.Get(), &type), S_OK);
}

// The property page, and the pages the filter and its pin name.

ULONG referenceCount(IUnknown* object) {
  object->AddRef();
  return object->Release();
}

ComPtr<IPropertyPage> makePropertyPage() {
  HRESULT hr = S_OK;
  CUnknown* page = FilterPropertyPage::create(nullptr, &hr);
  EXPECT_EQ(hr, S_OK);
  ComPtr<IPropertyPage> result;
  if (page) {
    EXPECT_EQ(page->NonDelegatingQueryInterface(IID_PPV_ARGS(&result)), S_OK);
  }
  return result;
}

class FilterPropertyPageTest : public CaptureFilterTest {
 protected:
  IUnknown* filterObject() const { return static_cast<IBaseFilter*>(filter_.Get()); }
};

TEST_F(FilterPropertyPageTest, DescribesItselfUntilItHasAnObject) {
  ComPtr<IPropertyPage> page = makePropertyPage();
  ASSERT_TRUE(page);
  EXPECT_EQ(page->GetPageInfo(nullptr), E_POINTER);
  PROPPAGEINFO info = {};
  ASSERT_EQ(page->GetPageInfo(&info), S_OK);
  CoTaskMemPtr<OLECHAR> title(info.pszTitle);
  EXPECT_EQ(info.cb, sizeof(PROPPAGEINFO));
  ASSERT_NE(title.get(), nullptr);
  EXPECT_STREQ(title.get(), L"Screen Capture");
  EXPECT_EQ(info.size.cx, 340);
  EXPECT_EQ(info.size.cy, 150);
  EXPECT_EQ(info.pszHelpFile, nullptr);
  EXPECT_EQ(info.dwHelpContext, 0u);
  EXPECT_EQ(page->SetPageSite(nullptr), S_OK);

  IUnknown* objects[] = {filterObject()};
  EXPECT_EQ(page->SetObjects(1, objects), E_FAIL);
  PROPPAGEINFO after = {};
  EXPECT_EQ(page->GetPageInfo(&after), E_FAIL);
  EXPECT_EQ(page->SetPageSite(nullptr), E_FAIL);
}

TEST_F(FilterPropertyPageTest, KeepsTheFirstObjectItIsGivenWhileItLives) {
  ComPtr<IPropertyPage> page = makePropertyPage();
  ASSERT_TRUE(page);
  ComPtr<CaptureFilter> other = makeCaptureFilter();
  ASSERT_TRUE(other);
  const ULONG before = referenceCount(filterObject());
  const ULONG otherBefore = referenceCount(static_cast<IBaseFilter*>(other.Get()));

  IUnknown* objects[] = {filterObject()};
  EXPECT_EQ(page->SetObjects(1, objects), E_FAIL) << "refusing makes the frame give up";
  EXPECT_EQ(referenceCount(filterObject()), before + 1);
  IUnknown* replacement[] = {static_cast<IBaseFilter*>(other.Get())};
  EXPECT_EQ(page->SetObjects(1, replacement), E_FAIL);
  EXPECT_EQ(referenceCount(static_cast<IBaseFilter*>(other.Get())), otherBefore)
      << "the kept object is not replaced";
  EXPECT_EQ(referenceCount(filterObject()), before + 1);

  page.Reset();
  EXPECT_EQ(referenceCount(filterObject()), before);
}

TEST_F(FilterPropertyPageTest, TakesExactlyOneObject) {
  ComPtr<IPropertyPage> page = makePropertyPage();
  ASSERT_TRUE(page);
  const ULONG before = referenceCount(filterObject());
  IUnknown* two[] = {filterObject(), filterObject()};
  EXPECT_EQ(page->SetObjects(0, two), E_UNEXPECTED);
  EXPECT_EQ(page->SetObjects(2, two), E_UNEXPECTED);
  EXPECT_EQ(page->SetObjects(1, nullptr), E_POINTER);
  IUnknown* none[] = {nullptr};
  EXPECT_EQ(page->SetObjects(1, none), E_POINTER);
  EXPECT_EQ(referenceCount(filterObject()), before);
  // None of those counted: the page still describes itself.
  PROPPAGEINFO info = {};
  ASSERT_EQ(page->GetPageInfo(&info), S_OK);
  ::CoTaskMemFree(info.pszTitle);
}

TEST_F(FilterPropertyPageTest, OtherMethodsGiveTheirFixedResults) {
  ComPtr<IPropertyPage> page = makePropertyPage();
  ASSERT_TRUE(page);
  const RECT rect = {0, 0, 340, 150};
  EXPECT_EQ(page->Activate(nullptr, &rect, TRUE), E_UNEXPECTED);
  EXPECT_EQ(page->Activate(nullptr, nullptr, TRUE), E_POINTER);
  EXPECT_EQ(page->Deactivate(), E_UNEXPECTED);
  EXPECT_EQ(page->Show(SW_SHOW), E_UNEXPECTED);
  EXPECT_EQ(page->Move(&rect), E_UNEXPECTED);
  EXPECT_EQ(page->Move(nullptr), E_POINTER);
  EXPECT_EQ(page->IsPageDirty(), S_OK);
  EXPECT_EQ(page->Apply(), E_UNEXPECTED);
  EXPECT_EQ(page->Help(L"help"), E_NOTIMPL);
  MSG message = {};
  EXPECT_EQ(page->TranslateAccelerator(&message), E_NOTIMPL);
}

TEST_F(FilterPropertyPageTest, WithoutThePanelReleasingOpensNothing) {
  ComPtr<IUnknown> panel;
  ASSERT_TRUE(
      FAILED(::CoCreateInstance(CLSID_ZelkgrabEnum, nullptr, CLSCTX_ALL, IID_PPV_ARGS(&panel))))
      << "nothing is registered for the panel here";
  ComPtr<IPropertyPage> page = makePropertyPage();
  ASSERT_TRUE(page);
  const ULONG before = referenceCount(filterObject());
  IUnknown* objects[] = {filterObject()};
  EXPECT_EQ(page->SetObjects(1, objects), E_FAIL);
  EXPECT_EQ(page.Reset(), 0u);
  EXPECT_EQ(referenceCount(filterObject()), before);

  pin_ = nullptr;
  filter_.Reset();
  EXPECT_FALSE(module_lock::inUse());
}

TEST_F(FilterPropertyPageTest, FilterAndPinNameThePage) {
  ComPtr<IPin> pin = findPin(filter_.Get(), PINDIR_OUTPUT);
  ASSERT_TRUE(pin);
  for (IUnknown* object : {filterObject(), static_cast<IUnknown*>(pin.Get())}) {
    ComPtr<ISpecifyPropertyPages> specify;
    ASSERT_EQ(object->QueryInterface(IID_PPV_ARGS(&specify)), S_OK);
    EXPECT_EQ(specify->GetPages(nullptr), E_POINTER);
    CAUUID pages = {};
    ASSERT_EQ(specify->GetPages(&pages), S_OK);
    CoTaskMemPtr<GUID> elements(pages.pElems);
    ASSERT_EQ(pages.cElems, 1u);
    EXPECT_EQ(elements.get()[0], CLSID_ZelkgrabProp);
  }
}

TEST(FilterPropertyPageModuleTest, TheModuleServesThePage) {
  ComApartment apartment(COINIT_MULTITHREADED);
  std::wstring path = modulePath(nullptr);
  path = path.substr(0, path.find_last_of(L"\\/") + 1) + L"Zelkgrab.ax";
  UniqueModule module(::LoadLibraryW(path.c_str()));
  ASSERT_TRUE(module);
  using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
  auto getClassObject = moduleProc<GetClassObjectFn>(module.get(), "DllGetClassObject");
  ASSERT_NE(getClassObject, nullptr);
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(getClassObject(CLSID_ZelkgrabProp, IID_PPV_ARGS(&factory)), S_OK);
  ComPtr<IPropertyPage> page;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_PPV_ARGS(&page)), S_OK);
  PROPPAGEINFO info = {};
  ASSERT_EQ(page->GetPageInfo(&info), S_OK);
  CoTaskMemPtr<OLECHAR> title(info.pszTitle);
  EXPECT_STREQ(title.get(), L"Screen Capture");
}

}  // namespace
