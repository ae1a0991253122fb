// Graph-test helpers over Wine's filter graph manager and filters.
#include "graph_support.h"

#include <chrono>
#include <thread>

using Microsoft::WRL::ComPtr;

namespace graph_support {

const CLSID kNullRenderer = {
    0xC1F400A4, 0x3F08, 0x11D3, {0x9F, 0x0B, 0x00, 0x60, 0x08, 0x03, 0x9E, 0x37}};
const CLSID kSampleGrabber = {
    0xC1F400A0, 0x3F08, 0x11D3, {0x9F, 0x0B, 0x00, 0x60, 0x08, 0x03, 0x9E, 0x37}};

ComPtr<IPin> findPin(IBaseFilter* filter, PIN_DIRECTION direction) {
  ComPtr<IEnumPins> pins;
  if (FAILED(filter->EnumPins(&pins))) return nullptr;
  ComPtr<IPin> pin;
  while (pins->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
    PIN_DIRECTION actual;
    if (SUCCEEDED(pin->QueryDirection(&actual)) && actual == direction) return pin;
  }
  return nullptr;
}

bool waitForEvent(IGraphBuilder* graph, long code, DWORD timeoutMs, LONG_PTR* param1) {
  ComPtr<IMediaEvent> events;
  if (FAILED(graph->QueryInterface(IID_IMediaEvent, &events))) return false;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < deadline) {
    long received = 0;
    LONG_PTR first = 0;
    LONG_PTR second = 0;
    if (events->GetEvent(&received, &first, &second, 50) == S_OK) {
      events->FreeEventParams(received, first, second);
      if (received == code) {
        if (param1) *param1 = first;
        return true;
      }
    }
  }
  return false;
}

HRESULT SampleRecorder::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_ISampleGrabberCB) {
    *object = static_cast<ISampleGrabberCB*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

HRESULT SampleRecorder::SampleCB(double, IMediaSample* sample) {
  SeenSample seen;
  seen.timeResult = sample->GetTime(&seen.start, &seen.stop);
  seen.length = sample->GetActualDataLength();
  BYTE* data = nullptr;
  if (SUCCEEDED(sample->GetPointer(&data)) && data && seen.length >= 4) {
    seen.firstWord = *reinterpret_cast<const DWORD*>(data);
  }
  std::lock_guard<std::mutex> lock(mutex_);
  samples_.push_back(seen);
  if (data && seen.length > 0) lastData_.assign(data, data + seen.length);
  return S_OK;
}

bool SampleRecorder::waitFor(size_t count, DWORD timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (samples_.size() >= count) return true;
    }
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

std::vector<SeenSample> SampleRecorder::samples() {
  std::lock_guard<std::mutex> lock(mutex_);
  return samples_;
}

std::vector<BYTE> SampleRecorder::lastData() {
  std::lock_guard<std::mutex> lock(mutex_);
  return lastData_;
}

void SampleRecorder::clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  samples_.clear();
}

ComPtr<IBaseFilter> makeSampleGrabber(ISampleGrabberCB* callback, const GUID& major,
                                      const GUID& subtype) {
  ComPtr<IBaseFilter> filter;
  if (FAILED(::CoCreateInstance(kSampleGrabber, nullptr, CLSCTX_INPROC_SERVER,
                                IID_PPV_ARGS(&filter)))) {
    return nullptr;
  }
  ComPtr<ISampleGrabber> grabber;
  if (FAILED(filter.As(&grabber))) return nullptr;
  AM_MEDIA_TYPE type = {};
  type.majortype = major;
  type.subtype = subtype;
  if (major != GUID_NULL && FAILED(grabber->SetMediaType(&type))) return nullptr;
  grabber->SetBufferSamples(FALSE);
  if (FAILED(grabber->SetCallback(callback, 0))) return nullptr;
  return filter;
}

void askForPropertyPages(IBaseFilter* filter) {
  ComPtr<ISpecifyPropertyPages> specify;
  CAUUID pages = {};
  if (FAILED(filter->QueryInterface(IID_PPV_ARGS(&specify))) || FAILED(specify->GetPages(&pages))) {
    return;
  }
  IUnknown* objects[] = {filter};
  for (ULONG i = 0; i < pages.cElems; ++i) {
    ComPtr<IPropertyPage> page;
    if (FAILED(::CoCreateInstance(pages.pElems[i], nullptr, CLSCTX_INPROC_SERVER,
                                  IID_PPV_ARGS(&page)))) {
      continue;
    }
    PROPPAGEINFO info = {};
    if (SUCCEEDED(page->SetObjects(1, objects)) && SUCCEEDED(page->GetPageInfo(&info))) {
      ::CoTaskMemFree(info.pszTitle);
      ::CoTaskMemFree(info.pszDocString);
      ::CoTaskMemFree(info.pszHelpFile);
    }
  }
  ::CoTaskMemFree(pages.pElems);
}

}  // namespace graph_support
