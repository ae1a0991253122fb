// The recorder's file sink: positioned writes to one file, for the mux's IStream calls and
// for samples stamped with their byte offset.
#include "tools/zelkrec/stream_file_sink.h"

namespace {

// {418ECCE9-0C13-4E19-B98B-05A21EF13C45}
const CLSID kStreamFileSink = {
    0x418ECCE9, 0x0C13, 0x4E19, {0xB9, 0x8B, 0x05, 0xA2, 0x1E, 0xF1, 0x3C, 0x45}};

}  // namespace

StreamSinkPin::StreamSinkPin(StreamFileSink* filter, CCritSec* lock, HRESULT* hr)
    : CUnknownWith(filter, lock, hr, L"in"), sink_(filter) {}

HRESULT StreamSinkPin::NonDelegatingQueryInterface(REFIID iid, void** object) {
  if (iid == IID_IStream || iid == IID_ISequentialStream) {
    return GetInterface(static_cast<IStream*>(this), object);
  }
  return CBaseInputPin::NonDelegatingQueryInterface(iid, object);
}

HRESULT StreamSinkPin::CheckMediaType(const CMediaType* type) {
  return *type->Type() == MEDIATYPE_Stream ? S_OK : S_FALSE;
}

HRESULT StreamSinkPin::Receive(IMediaSample* sample) {
  HRESULT hr = CBaseInputPin::Receive(sample);
  if (hr != S_OK) return hr;
  REFERENCE_TIME start = 0;
  REFERENCE_TIME stop = 0;
  // A byte stream's sample says where it goes by its start time.
  if (FAILED(sample->GetTime(&start, &stop)) || start < 0) return VFW_E_SAMPLE_TIME_NOT_SET;
  BYTE* data = nullptr;
  hr = sample->GetPointer(&data);
  if (FAILED(hr)) return hr;
  ULONG done = 0;
  const ULONG length = static_cast<ULONG>(sample->GetActualDataLength());
  hr = sink_->writeAt(static_cast<ULONGLONG>(start), data, length, &done);
  if (SUCCEEDED(hr) && done != length) hr = STG_E_MEDIUMFULL;
  if (FAILED(hr)) sink_->NotifyEvent(EC_ERRORABORT, hr, 0);
  return hr;
}

HRESULT StreamSinkPin::EndOfStream() {
  HRESULT hr = CheckStreaming();
  if (hr != S_OK) return hr;
  // The last stop of the stream: this filter is the graph's renderer.
  return sink_->NotifyEvent(EC_COMPLETE, S_OK, 0);
}

HRESULT StreamSinkPin::Read(void*, ULONG, ULONG*) { return E_NOTIMPL; }

HRESULT StreamSinkPin::Write(const void* data, ULONG size, ULONG* done) {
  if (!data && size) return STG_E_INVALIDPOINTER;
  ULONG written = 0;
  HRESULT hr = sink_->writeAt(MAXULONGLONG, data, size, &written);
  if (done) *done = written;
  return hr;
}

HRESULT StreamSinkPin::Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) {
  ULONGLONG now = 0;
  HRESULT hr = sink_->seek(move.QuadPart, origin, &now);
  if (position) position->QuadPart = now;
  return hr;
}

HRESULT StreamSinkPin::SetSize(ULARGE_INTEGER size) { return sink_->setSize(size.QuadPart); }

HRESULT StreamSinkPin::CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) {
  return E_NOTIMPL;
}

HRESULT StreamSinkPin::Commit(DWORD) { return sink_->flush(); }

HRESULT StreamSinkPin::Revert() { return E_NOTIMPL; }

HRESULT StreamSinkPin::LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) {
  return STG_E_INVALIDFUNCTION;
}

HRESULT StreamSinkPin::UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) {
  return STG_E_INVALIDFUNCTION;
}

HRESULT StreamSinkPin::Stat(STATSTG* stat, DWORD) {
  if (!stat) return STG_E_INVALIDPOINTER;
  *stat = {};
  stat->type = STGTY_STREAM;
  ULONGLONG bytes = 0;
  HRESULT hr = sink_->size(&bytes);
  stat->cbSize.QuadPart = bytes;
  return hr;
}

HRESULT StreamSinkPin::Clone(IStream**) { return E_NOTIMPL; }

StreamFileSink::StreamFileSink()
    : CUnknownWith(L"Stream file sink", nullptr, &filterLock_, kStreamFileSink),
      pin_(this, &filterLock_, nullptr) {}

StreamFileSink::~StreamFileSink() = default;

HRESULT StreamFileSink::NonDelegatingQueryInterface(REFIID iid, void** object) {
  if (iid == IID_IFileSinkFilter) return GetInterface(static_cast<IFileSinkFilter*>(this), object);
  return CBaseFilter::NonDelegatingQueryInterface(iid, object);
}

HRESULT StreamFileSink::Pause() {
  {
    CAutoLock lock(&filterLock_);
    if (state_ == State_Stopped) {
      if (fileName_.empty()) return E_UNEXPECTED;
      CAutoLock fileLock(&fileLock_);
      file_.reset(::CreateFileW(fileName_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
      if (!file_) return HRESULT_FROM_WIN32(::GetLastError());
      position_ = 0;
    }
  }
  return CBaseFilter::Pause();
}

HRESULT StreamFileSink::SetFileName(LPCOLESTR fileName, const AM_MEDIA_TYPE*) {
  if (!fileName) return E_POINTER;
  CAutoLock lock(&filterLock_);
  if (!IsStopped()) return VFW_E_WRONG_STATE;
  fileName_ = fileName;
  return S_OK;
}

HRESULT StreamFileSink::GetCurFile(LPOLESTR* fileName, AM_MEDIA_TYPE* type) {
  if (!fileName) return E_POINTER;
  CAutoLock lock(&filterLock_);
  *fileName = nullptr;
  if (type) *type = {};
  if (fileName_.empty()) return E_FAIL;
  const size_t bytes = (fileName_.size() + 1) * sizeof(wchar_t);
  *fileName = static_cast<LPOLESTR>(::CoTaskMemAlloc(bytes));
  if (!*fileName) return E_OUTOFMEMORY;
  memcpy(*fileName, fileName_.c_str(), bytes);
  if (type) type->majortype = MEDIATYPE_Stream;
  return S_OK;
}

// `offset` MAXULONGLONG: at the current position.
HRESULT StreamFileSink::writeAt(ULONGLONG offset, const void* data, ULONG size, ULONG* done) {
  CAutoLock lock(&fileLock_);
  *done = 0;
  if (!file_) return E_UNEXPECTED;
  if (offset != MAXULONGLONG) position_ = offset;
  LARGE_INTEGER at;
  at.QuadPart = static_cast<LONGLONG>(position_);
  if (!::SetFilePointerEx(file_.get(), at, nullptr, FILE_BEGIN)) {
    return HRESULT_FROM_WIN32(::GetLastError());
  }
  DWORD written = 0;
  if (!::WriteFile(file_.get(), data, size, &written, nullptr)) {
    return HRESULT_FROM_WIN32(::GetLastError());
  }
  position_ += written;
  *done = written;
  return S_OK;
}

HRESULT StreamFileSink::seek(LONGLONG move, DWORD origin, ULONGLONG* position) {
  CAutoLock lock(&fileLock_);
  if (!file_) return E_UNEXPECTED;
  LONGLONG base = 0;
  if (origin == STREAM_SEEK_CUR) {
    base = static_cast<LONGLONG>(position_);
  } else if (origin == STREAM_SEEK_END) {
    LARGE_INTEGER end;
    if (!::GetFileSizeEx(file_.get(), &end)) return HRESULT_FROM_WIN32(::GetLastError());
    base = end.QuadPart;
  } else if (origin != STREAM_SEEK_SET) {
    return STG_E_INVALIDFUNCTION;
  }
  if (base + move < 0) return STG_E_INVALIDFUNCTION;
  position_ = static_cast<ULONGLONG>(base + move);
  *position = position_;
  return S_OK;
}

HRESULT StreamFileSink::setSize(ULONGLONG size) {
  CAutoLock lock(&fileLock_);
  if (!file_) return E_UNEXPECTED;
  LARGE_INTEGER at;
  at.QuadPart = static_cast<LONGLONG>(size);
  if (!::SetFilePointerEx(file_.get(), at, nullptr, FILE_BEGIN) || !::SetEndOfFile(file_.get())) {
    return HRESULT_FROM_WIN32(::GetLastError());
  }
  return S_OK;
}

HRESULT StreamFileSink::flush() {
  CAutoLock lock(&fileLock_);
  if (!file_) return E_UNEXPECTED;
  return ::FlushFileBuffers(file_.get()) ? S_OK : HRESULT_FROM_WIN32(::GetLastError());
}

HRESULT StreamFileSink::size(ULONGLONG* bytes) {
  CAutoLock lock(&fileLock_);
  *bytes = 0;
  if (!file_) return E_UNEXPECTED;
  LARGE_INTEGER end;
  if (!::GetFileSizeEx(file_.get(), &end)) return HRESULT_FROM_WIN32(::GetLastError());
  *bytes = static_cast<ULONGLONG>(end.QuadPart);
  return S_OK;
}
