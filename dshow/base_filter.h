// The filter object: IBaseFilter with its state (stopped, paused, running), reference clock,
// stream start time, graph membership and pin enumeration. Derived filters supply their pins
// through `GetPinCount`/`GetPin` and share `lock` with them for state and connection changes.
// The graph calls the state methods from its control thread; streaming threads read the state
// and the stream time. A filter does not hold a reference on the graph it joined (the graph
// holds the filter), nor on the graph's event sink.
#pragma once

#include <windows.h>
// Also declares the media types, result codes and event codes.
#include <dshow.h>
#include <wrl/client.h>

#include <atomic>
#include <string>

#include "dshow/critsec.h"
#include "dshow/unknown.h"

class CBasePin;

class CBaseFilter : public CUnknownImpl<IBaseFilter> {
 public:
  CBaseFilter(const wchar_t* name, IUnknown* outer, CCritSec* lock, const CLSID& clsid);
  ~CBaseFilter() override;

  virtual int GetPinCount() = 0;
  // The pin at `index` (no reference added), or null.
  virtual CBasePin* GetPin(int index) = 0;

  HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override;

  // IPersist
  HRESULT STDMETHODCALLTYPE GetClassID(CLSID* clsid) override;
  // IMediaFilter
  HRESULT STDMETHODCALLTYPE Stop() override;
  HRESULT STDMETHODCALLTYPE Pause() override;
  HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME start) override;
  HRESULT STDMETHODCALLTYPE GetState(DWORD timeout, FILTER_STATE* state) override;
  HRESULT STDMETHODCALLTYPE SetSyncSource(IReferenceClock* clock) override;
  HRESULT STDMETHODCALLTYPE GetSyncSource(IReferenceClock** clock) override;
  // IBaseFilter
  HRESULT STDMETHODCALLTYPE EnumPins(IEnumPins** pins) override;
  HRESULT STDMETHODCALLTYPE FindPin(LPCWSTR id, IPin** pin) override;
  HRESULT STDMETHODCALLTYPE QueryFilterInfo(FILTER_INFO* info) override;
  HRESULT STDMETHODCALLTYPE JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;
  HRESULT STDMETHODCALLTYPE QueryVendorInfo(LPWSTR* info) override;

  // Sends an event to the graph's event sink; E_NOTIMPL outside a graph. EC_COMPLETE carries
  // this filter as its second parameter, as the graph expects.
  HRESULT NotifyEvent(long code, LONG_PTR param1, LONG_PTR param2);
  // Clock time minus the stream start time; VFW_E_NO_CLOCK without a clock.
  HRESULT StreamTime(REFERENCE_TIME* time);

  bool IsStopped() const { return state_ == State_Stopped; }
  bool IsActive() const { return state_ != State_Stopped; }
  FILTER_STATE state() const { return state_; }
  CCritSec* filterLock() const { return lock_; }
  IFilterGraph* filterGraph() const { return graph_; }
  REFERENCE_TIME startTime() const { return start_; }

 protected:
  CCritSec* lock_;
  // Written under `lock_`, read by streaming threads without it.
  std::atomic<FILTER_STATE> state_{State_Stopped};
  // Guards the clock and the start time, which streaming threads read.
  CCritSec clockLock_;
  Microsoft::WRL::ComPtr<IReferenceClock> clock_;
  REFERENCE_TIME start_ = 0;

 private:
  CLSID clsid_;
  std::wstring name_;
  IFilterGraph* graph_ = nullptr;
  IMediaEventSink* eventSink_ = nullptr;
};
