// A source filter whose output pins each produce samples on their own worker thread.
// `CSource` owns its `CSourceStream` pins. A stream's thread starts when the filter leaves the
// stopped state (`Active`) and ends when it stops (`Inactive`); the graph's thread drives it
// with the commands init, pause, run, stop and exit. On the worker thread: `OnThreadCreate`,
// then for each run or pause command `OnThreadStartPlay` and `DoBufferProcessing`, which gets
// buffers, has `FillBuffer` fill them and delivers them until a command arrives; finally
// `OnThreadDestroy`.
#pragma once

#include <memory>
#include <vector>

#include "dshow/am_thread.h"
#include "dshow/output_pin.h"

class CSourceStream;

class CSource : public CBaseFilter {
 public:
  CSource(const wchar_t* name, IUnknown* outer, const CLSID& clsid);
  ~CSource() override;

  int GetPinCount() override;
  CBasePin* GetPin(int index) override;
  // Takes ownership of a stream created with this filter.
  HRESULT AddPin(std::unique_ptr<CSourceStream> stream);

  CCritSec* pStateLock() { return &stateLock_; }

 private:
  CCritSec stateLock_;
  std::vector<std::unique_ptr<CSourceStream>> streams_;
};

class CSourceStream : public CAMThread, public CBaseOutputPin {
 public:
  enum Command : DWORD { CMD_INIT, CMD_PAUSE, CMD_RUN, CMD_STOP, CMD_EXIT };

  CSourceStream(HRESULT* hr, CSource* filter, const wchar_t* name);
  ~CSourceStream() override;

  // Fills one sample: S_OK to deliver it, S_FALSE to end the stream, an error to abort.
  virtual HRESULT FillBuffer(IMediaSample* sample) = 0;
  virtual HRESULT OnThreadCreate() { return S_OK; }
  virtual HRESULT OnThreadDestroy() { return S_OK; }
  virtual HRESULT OnThreadStartPlay() { return S_OK; }
  // The streaming loop; returns when a stop or exit command is pending (S_OK), or when the
  // stream ended or failed.
  virtual HRESULT DoBufferProcessing();

  // The single preferred type; `GetMediaType(position)` offers it at position 0.
  virtual HRESULT GetMediaType(CMediaType* type);
  HRESULT GetMediaType(int position, CMediaType* type) override;
  // Accepts exactly the preferred type.
  HRESULT CheckMediaType(const CMediaType* type) override;

  HRESULT Active() override;
  HRESULT Inactive() override;

 protected:
  HRESULT Init() { return static_cast<HRESULT>(CallWorker(CMD_INIT)); }
  HRESULT Exit() { return static_cast<HRESULT>(CallWorker(CMD_EXIT)); }
  HRESULT Run() { return static_cast<HRESULT>(CallWorker(CMD_RUN)); }
  HRESULT Pause() { return static_cast<HRESULT>(CallWorker(CMD_PAUSE)); }
  HRESULT Stop() { return static_cast<HRESULT>(CallWorker(CMD_STOP)); }
  Command GetRequest() { return static_cast<Command>(CAMThread::GetRequest()); }
  bool CheckRequest(Command* command);

  DWORD ThreadProc() override;

  CSource* source_;
};
