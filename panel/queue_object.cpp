// The queue object of the panel's server.
#include "panel/queue_object.h"

#include <cstdlib>
#include <new>
#include <string>
#include <vector>

namespace {

// Leading blanks, an optional sign, the digits up to the first other character; 0 without.
long long lenientDecimal(const wchar_t* text) { return std::wcstoll(text, nullptr, 10); }

// The comma-separated pieces of `text`, each read leniently (an empty piece is 0).
std::vector<long long> decimalList(const std::wstring& text) {
  std::vector<long long> values;
  size_t start = 0;
  for (;;) {
    const size_t comma = text.find(L',', start);
    values.push_back(lenientDecimal(text.substr(start, comma - start).c_str()));
    if (comma == std::wstring::npos) return values;
    start = comma + 1;
  }
}

HRESULT answer(const std::wstring& text, BSTR* param) {
  *param = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return *param ? S_OK : E_OUTOFMEMORY;
}

}  // namespace

HRESULT CZelkgrabQueue::create(REFIID iid, void** object) {
  CZelkgrabQueue* queue = new (std::nothrow) CZelkgrabQueue();
  if (!queue) return E_OUTOFMEMORY;
  HRESULT hr = queue->initialise();
  if (SUCCEEDED(hr)) hr = queue->QueryInterface(iid, object);
  queue->Release();
  return hr;
}

HRESULT CZelkgrabQueue::initialise() {
  hooksServer().Register(this);
  registered_ = true;
  return frame_.create();
}

CZelkgrabQueue::~CZelkgrabQueue() {
  // Unregistered before the frame goes, so no broadcast reaches a half-destroyed queue.
  if (registered_) hooksServer().Unregister(this);
}

void CZelkgrabQueue::appendEvent(const wchar_t* name) {
  CAutoLock lock(&lock_);
  try {
    events_.emplace_back(name);
  } catch (const std::bad_alloc&) {
    // An event lost to a full memory only costs the filter one update.
  }
}

HRESULT CZelkgrabQueue::get_qparam(BSTR prop, BSTR* param) {
  if (!prop || !param) return E_POINTER;
  CAutoLock lock(&lock_);
  const std::wstring property(prop);
  if (property == L"event") {
    // Nothing queued: the out value is left as it is.
    if (events_.empty()) return S_FALSE;
    HRESULT hr = answer(events_.front(), param);
    if (SUCCEEDED(hr)) events_.pop_front();
    return hr;
  }
  if (property == L"FrameShow") return answer(frame_.visible() ? L"1" : L"0", param);
  if (property == L"FrameColor") {
    return answer(std::to_wstring(static_cast<unsigned long long>(frame_.colour())), param);
  }
  if (property == L"FrameAlpha") return answer(std::to_wstring(frame_.alpha()), param);
  if (property == L"FrameBorderCX") return answer(std::to_wstring(frame_.borderX), param);
  if (property == L"FrameBorderCY") return answer(std::to_wstring(frame_.borderY), param);
  return E_INVALIDARG;
}

HRESULT CZelkgrabQueue::put_qparam(BSTR prop, BSTR param) {
  if (!prop || !param) return E_POINTER;
  CAutoLock lock(&lock_);
  const std::wstring property(prop);
  if (property == L"event") {
    try {
      events_.emplace_back(param);
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
    return S_OK;
  }
  if (property == L"FrameShow") {
    frame_.show(lenientDecimal(param) != 0);
    return S_OK;
  }
  if (property == L"FramePos") {
    const std::vector<long long> values = decimalList(param);
    if (values.size() < 4) return E_INVALIDARG;
    const RECT hole = {static_cast<LONG>(values[0]), static_cast<LONG>(values[1]),
                       static_cast<LONG>(values[2]), static_cast<LONG>(values[3])};
    frame_.place(hole);
    return S_OK;
  }
  if (property == L"FrameColor") {
    frame_.setColour(static_cast<COLORREF>(lenientDecimal(param)));
    return S_OK;
  }
  if (property == L"FrameAlpha") {
    frame_.setAlpha(static_cast<BYTE>(lenientDecimal(param)));
    return S_OK;
  }
  if (property == L"FrameBorderCX") {
    frame_.borderX = static_cast<LONG>(lenientDecimal(param));
    return S_OK;
  }
  if (property == L"FrameBorderCY") {
    frame_.borderY = static_cast<LONG>(lenientDecimal(param));
    return S_OK;
  }
  return E_INVALIDARG;
}
