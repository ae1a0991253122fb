// A file sink for multiplexers that write through IStream on the pin they feed, as the AVI
// Mux does: one input pin "in" that takes a byte stream (MEDIATYPE_Stream) and offers IStream
// for positioned writes, plus samples whose start time is their byte offset. Wine's File Writer
// lacks the pin's IStream, so the recorder brings this one. The file opens when the filter
// leaves the stopped state and stays open until the filter goes, since the mux writes its index
// while it stops, after downstream filters have stopped. The mux's streaming thread and the
// graph's thread both write; a lock of its own guards the file.
#pragma once

#include <windows.h>
#include <dshow.h>

#include <string>

#include "common/win_raii.h"
#include "dshow/base_filter.h"
#include "dshow/input_pin.h"

class StreamFileSink;

class StreamSinkPin final : public CUnknownWith<CBaseInputPin, IStream> {
 public:
  StreamSinkPin(StreamFileSink* filter, CCritSec* lock, HRESULT* hr);

  HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override;
  HRESULT CheckMediaType(const CMediaType* type) override;
  HRESULT STDMETHODCALLTYPE Receive(IMediaSample* sample) override;
  HRESULT STDMETHODCALLTYPE EndOfStream() override;

  // ISequentialStream, IStream: writing and seeking only.
  HRESULT STDMETHODCALLTYPE Read(void* data, ULONG size, ULONG* done) override;
  HRESULT STDMETHODCALLTYPE Write(const void* data, ULONG size, ULONG* done) override;
  HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin,
                                 ULARGE_INTEGER* position) override;
  HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER size) override;
  HRESULT STDMETHODCALLTYPE CopyTo(IStream* target, ULARGE_INTEGER size, ULARGE_INTEGER* read,
                                   ULARGE_INTEGER* written) override;
  HRESULT STDMETHODCALLTYPE Commit(DWORD flags) override;
  HRESULT STDMETHODCALLTYPE Revert() override;
  HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER size,
                                       DWORD type) override;
  HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER size,
                                         DWORD type) override;
  HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD flags) override;
  HRESULT STDMETHODCALLTYPE Clone(IStream** stream) override;

 private:
  StreamFileSink* sink_;
};

class StreamFileSink final : public CUnknownWith<CBaseFilter, IFileSinkFilter> {
 public:
  StreamFileSink();
  ~StreamFileSink() override;

  HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override;
  int GetPinCount() override { return 1; }
  CBasePin* GetPin(int index) override { return index == 0 ? &pin_ : nullptr; }

  // Opens (and empties) the file on the way out of the stopped state.
  HRESULT STDMETHODCALLTYPE Pause() override;

  // IFileSinkFilter
  HRESULT STDMETHODCALLTYPE SetFileName(LPCOLESTR fileName, const AM_MEDIA_TYPE* type) override;
  HRESULT STDMETHODCALLTYPE GetCurFile(LPOLESTR* fileName, AM_MEDIA_TYPE* type) override;

  // Positioned file access for the pin; E_UNEXPECTED while no file is open.
  HRESULT writeAt(ULONGLONG offset, const void* data, ULONG size, ULONG* done);
  HRESULT seek(LONGLONG move, DWORD origin, ULONGLONG* position);
  HRESULT setSize(ULONGLONG size);
  HRESULT flush();
  HRESULT size(ULONGLONG* bytes);

 private:
  CCritSec filterLock_;
  StreamSinkPin pin_;
  CCritSec fileLock_;
  std::wstring fileName_;
  UniqueFileHandle file_;
  ULONGLONG position_ = 0;
};
