// An input pin that receives samples through IMemInputPin. The upstream pin's streaming thread
// calls `Receive`, `EndOfStream`, `BeginFlush`/`EndFlush` and `NewSegment`; `Receive` refuses
// samples while the filter is stopped (VFW_E_WRONG_STATE), while flushing (S_FALSE) and after
// a runtime error (VFW_E_RUNTIME_ERROR), and checks a media type carried by the sample. The
// allocator in use is the one the upstream pin announced with `NotifyAllocator`.
#pragma once

#include "dshow/base_pin.h"

class CBaseInputPin : public CUnknownWith<CBasePin, IMemInputPin> {
 public:
  CBaseInputPin(CBaseFilter* filter, CCritSec* lock, HRESULT* hr, const wchar_t* name);

  HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override;

  HRESULT BreakConnect() override;
  HRESULT Inactive() override;

  // IMemInputPin
  HRESULT STDMETHODCALLTYPE GetAllocator(IMemAllocator** allocator) override;
  HRESULT STDMETHODCALLTYPE NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) override;
  HRESULT STDMETHODCALLTYPE GetAllocatorRequirements(ALLOCATOR_PROPERTIES* props) override;
  HRESULT STDMETHODCALLTYPE Receive(IMediaSample* sample) override;
  HRESULT STDMETHODCALLTYPE ReceiveMultiple(IMediaSample** samples, LONG count,
                                            LONG* processed) override;
  // S_OK when a connected downstream pin of the filter may block, or when there is none.
  HRESULT STDMETHODCALLTYPE ReceiveCanBlock() override;

  // IPin stream notifications.
  HRESULT STDMETHODCALLTYPE BeginFlush() override;
  HRESULT STDMETHODCALLTYPE EndFlush() override;
  HRESULT STDMETHODCALLTYPE EndOfStream() override;

  bool IsFlushing() const { return flushing_; }
  bool IsReadOnly() const { return readOnly_; }
  IMemAllocator* Allocator() const { return allocator_.Get(); }

 protected:
  // S_OK when a sample or notification may be processed now, else the reason not to.
  HRESULT CheckStreaming();

  Microsoft::WRL::ComPtr<IMemAllocator> allocator_;
  bool readOnly_ = false;
  std::atomic<bool> flushing_{false};
  std::atomic<bool> runtimeError_{false};
};
