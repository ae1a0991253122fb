// Source filter and the worker-thread streaming loop of its pins.
#include "dshow/source.h"

#include <algorithm>

CSource::CSource(const wchar_t* name, IUnknown* outer, const CLSID& clsid)
    : CBaseFilter(name, outer, &stateLock_, clsid) {}

CSource::~CSource() = default;

int CSource::GetPinCount() {
  CAutoLock lock(&stateLock_);
  return static_cast<int>(streams_.size());
}

CBasePin* CSource::GetPin(int index) {
  CAutoLock lock(&stateLock_);
  if (index < 0 || index >= static_cast<int>(streams_.size())) return nullptr;
  return streams_[index].get();
}

HRESULT CSource::AddPin(std::unique_ptr<CSourceStream> stream) {
  if (!stream) return E_POINTER;
  CAutoLock lock(&stateLock_);
  streams_.push_back(std::move(stream));
  return S_OK;
}

CSourceStream::CSourceStream(HRESULT* hr, CSource* filter, const wchar_t* name)
    : CBaseOutputPin(filter, filter->pStateLock(), hr, name), source_(filter) {}

CSourceStream::~CSourceStream() = default;

HRESULT CSourceStream::GetMediaType(CMediaType*) { return E_UNEXPECTED; }

HRESULT CSourceStream::GetMediaType(int position, CMediaType* type) {
  if (!type) return E_POINTER;
  if (position < 0) return E_INVALIDARG;
  if (position > 0) return VFW_S_NO_MORE_ITEMS;
  return GetMediaType(type);
}

HRESULT CSourceStream::CheckMediaType(const CMediaType* type) {
  if (!type) return E_POINTER;
  CMediaType preferred;
  HRESULT hr = GetMediaType(&preferred);
  if (FAILED(hr)) return E_FAIL;
  return preferred == *type ? S_OK : E_FAIL;
}

HRESULT CSourceStream::Active() {
  CAutoLock lock(lock_);
  if (ThreadExists()) return S_FALSE;
  HRESULT hr = CBaseOutputPin::Active();
  if (FAILED(hr)) return hr;
  if (!Create()) return E_FAIL;
  hr = Init();
  if (FAILED(hr)) {
    Exit();
    Close();
    return hr;
  }
  return Pause();
}

HRESULT CSourceStream::Inactive() {
  // Decommitting first wakes a worker blocked in GetDeliveryBuffer.
  HRESULT hr = CBaseOutputPin::Inactive();
  if (ThreadExists()) {
    Stop();
    Exit();
    Close();
  }
  return hr;
}

bool CSourceStream::CheckRequest(Command* command) {
  DWORD request = 0;
  if (!CAMThread::CheckRequest(&request)) return false;
  if (command) *command = static_cast<Command>(request);
  return true;
}

DWORD CSourceStream::ThreadProc() {
  Command command;
  while ((command = GetRequest()) != CMD_INIT) {
    Reply(static_cast<DWORD>(command == CMD_EXIT ? S_OK : E_UNEXPECTED));
    if (command == CMD_EXIT) return 0;
  }
  HRESULT hr = OnThreadCreate();
  if (FAILED(hr)) {
    OnThreadDestroy();
    Reply(static_cast<DWORD>(hr));
    return 1;
  }
  Reply(S_OK);

  for (;;) {
    command = GetRequest();
    switch (command) {
      case CMD_EXIT:
        Reply(S_OK);
        OnThreadDestroy();
        return 0;
      case CMD_RUN:
      case CMD_PAUSE:
        Reply(S_OK);
        hr = OnThreadStartPlay();
        if (SUCCEEDED(hr)) DoBufferProcessing();
        break;
      case CMD_STOP:
        Reply(S_OK);
        break;
      default:
        Reply(static_cast<DWORD>(E_NOTIMPL));
        break;
    }
  }
}

HRESULT CSourceStream::DoBufferProcessing() {
  Command command;
  for (;;) {
    while (!CheckRequest(&command)) {
      IMediaSample* sample = nullptr;
      HRESULT hr = GetDeliveryBuffer(&sample, nullptr, nullptr, 0);
      if (FAILED(hr)) {
        // Decommitted while stopping: the stop command follows.
        ::Sleep(1);
        continue;
      }
      hr = FillBuffer(sample);
      if (hr == S_OK) {
        hr = Deliver(sample);
        sample->Release();
        if (hr != S_OK) return S_OK;  // downstream refused: stop delivering, quietly
      } else if (hr == S_FALSE) {
        sample->Release();
        DeliverEndOfStream();
        return S_OK;
      } else {
        sample->Release();
        DeliverEndOfStream();
        filter_->NotifyEvent(EC_ERRORABORT, hr, 0);
        return hr;
      }
    }
    // Run and pause keep the loop going; stop and exit are left for ThreadProc.
    if (command == CMD_RUN || command == CMD_PAUSE) {
      Reply(S_OK);
    } else if (command == CMD_STOP || command == CMD_EXIT) {
      return S_OK;
    } else {
      Reply(static_cast<DWORD>(E_UNEXPECTED));
    }
  }
}
