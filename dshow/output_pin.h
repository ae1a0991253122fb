// An output pin that delivers samples through the downstream pin's IMemInputPin. At
// connection it agrees on an allocator (`DecideAllocator`: the downstream one if it has one,
// else ours from `InitAllocator`, sized by the derived pin's `DecideBufferSize`); the allocator
// is committed while the filter is active. The streaming thread calls `GetDeliveryBuffer` and
// the `Deliver*` methods; derived pins may route them through an output queue.
#pragma once

#include "dshow/base_pin.h"

class CBaseOutputPin : public CBasePin {
 public:
  CBaseOutputPin(CBaseFilter* filter, CCritSec* lock, HRESULT* hr, const wchar_t* name);

  virtual HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) = 0;
  virtual HRESULT DecideAllocator(IMemInputPin* inputPin, IMemAllocator** allocator);
  // A new allocator of our own, returned with a reference.
  virtual HRESULT InitAllocator(IMemAllocator** allocator);

  HRESULT CheckConnect(IPin* pin) override;
  HRESULT CompleteConnect(IPin* receivePin) override;
  HRESULT BreakConnect() override;
  HRESULT Active() override;
  HRESULT Inactive() override;

  virtual HRESULT GetDeliveryBuffer(IMediaSample** sample, REFERENCE_TIME* start,
                                    REFERENCE_TIME* stop, DWORD flags);
  virtual HRESULT Deliver(IMediaSample* sample);
  virtual HRESULT DeliverEndOfStream();
  virtual HRESULT DeliverBeginFlush();
  virtual HRESULT DeliverEndFlush();
  virtual HRESULT DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);

  // Stream notifications arrive at input pins only.
  HRESULT STDMETHODCALLTYPE EndOfStream() override { return E_UNEXPECTED; }
  HRESULT STDMETHODCALLTYPE BeginFlush() override { return E_UNEXPECTED; }
  HRESULT STDMETHODCALLTYPE EndFlush() override { return E_UNEXPECTED; }

  IMemInputPin* ConnectedInputPin() const { return inputPin_.Get(); }
  IMemAllocator* Allocator() const { return allocator_.Get(); }

 protected:
  Microsoft::WRL::ComPtr<IMemAllocator> allocator_;
  Microsoft::WRL::ComPtr<IMemInputPin> inputPin_;

 private:
  HRESULT trySetUp(IMemInputPin* inputPin, IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request);
};
