// A filter with one input and one output pin that turns each input sample into one output
// sample. Derived filters answer `CheckInputType`, `CheckTransform`, `GetMediaType`,
// `DecideBufferSize` and `Transform`. The upstream streaming thread calls `Receive` (under the
// receive lock), `EndOfStream`, `BeginFlush`/`EndFlush` and `NewSegment` through the input
// pin; the filter passes them downstream through the output pin. The output pin connects only
// after the input pin. Pin ids are "In" and "Out"; default pin names "XForm In" and
// "XForm Out", and a derived filter may install its own pins with `SetPins`.
#pragma once

#include <memory>

#include "dshow/input_pin.h"
#include "dshow/output_pin.h"

class CTransformFilter;

class CTransformInputPin : public CBaseInputPin {
 public:
  CTransformInputPin(CTransformFilter* filter, HRESULT* hr, const wchar_t* name);

  HRESULT CheckConnect(IPin* pin) override;
  HRESULT BreakConnect() override;
  HRESULT CompleteConnect(IPin* receivePin) override;
  HRESULT CheckMediaType(const CMediaType* type) override;
  HRESULT SetMediaType(const CMediaType* type) override;

  HRESULT STDMETHODCALLTYPE Receive(IMediaSample* sample) override;
  HRESULT STDMETHODCALLTYPE EndOfStream() override;
  HRESULT STDMETHODCALLTYPE BeginFlush() override;
  HRESULT STDMETHODCALLTYPE EndFlush() override;
  HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop,
                                       double rate) override;

  // For transforms that keep a sample's media type as the pin's current type.
  HRESULT SetCurrentType(const CMediaType& type) { return mediaType_.Set(type); }

 protected:
  CTransformFilter* transform_;
};

class CTransformOutputPin : public CBaseOutputPin {
 public:
  CTransformOutputPin(CTransformFilter* filter, HRESULT* hr, const wchar_t* name);

  HRESULT CheckConnect(IPin* pin) override;
  HRESULT BreakConnect() override;
  HRESULT CompleteConnect(IPin* receivePin) override;
  HRESULT CheckMediaType(const CMediaType* type) override;
  HRESULT SetMediaType(const CMediaType* type) override;
  HRESULT GetMediaType(int position, CMediaType* type) override;
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;

  HRESULT STDMETHODCALLTYPE Notify(IBaseFilter* sender, Quality quality) override;

  HRESULT SetCurrentType(const CMediaType& type) { return mediaType_.Set(type); }

 protected:
  CTransformFilter* transform_;
};

class CTransformFilter : public CBaseFilter {
 public:
  CTransformFilter(const wchar_t* name, IUnknown* outer, const CLSID& clsid);
  ~CTransformFilter() override;

  int GetPinCount() override { return 2; }
  CBasePin* GetPin(int index) override;
  HRESULT STDMETHODCALLTYPE FindPin(LPCWSTR id, IPin** pin) override;
  HRESULT STDMETHODCALLTYPE Stop() override;
  HRESULT STDMETHODCALLTYPE Pause() override;

  // Hooks of the derived filter.
  virtual HRESULT Transform(IMediaSample* in, IMediaSample* out);
  virtual HRESULT CheckInputType(const CMediaType* in) = 0;
  virtual HRESULT CheckTransform(const CMediaType* in, const CMediaType* out) = 0;
  virtual HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) = 0;
  virtual HRESULT GetMediaType(int position, CMediaType* type) = 0;
  virtual HRESULT StartStreaming() { return S_OK; }
  virtual HRESULT StopStreaming() { return S_OK; }
  virtual HRESULT SetMediaType(PIN_DIRECTION direction, const CMediaType* type) { return S_OK; }
  virtual HRESULT CheckConnect(PIN_DIRECTION direction, IPin* pin) { return S_OK; }
  virtual HRESULT BreakConnect(PIN_DIRECTION direction) { return S_OK; }
  virtual HRESULT CompleteConnect(PIN_DIRECTION direction, IPin* receivePin) { return S_OK; }
  // S_OK when the quality message was handled here; else it goes upstream.
  virtual HRESULT AlterQuality(Quality quality) { return S_FALSE; }

  // Streaming, called through the input pin.
  virtual HRESULT Receive(IMediaSample* sample);
  virtual HRESULT EndOfStream();
  virtual HRESULT BeginFlush();
  virtual HRESULT EndFlush();
  virtual HRESULT NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);

  CTransformInputPin* InputPin() { return static_cast<CTransformInputPin*>(GetPin(0)); }
  CTransformOutputPin* OutputPin() { return static_cast<CTransformOutputPin*>(GetPin(1)); }
  CCritSec* ReceiveLock() { return &receiveLock_; }

 protected:
  // Gets an output buffer and gives it the input sample's times and flags.
  virtual HRESULT InitializeOutputSample(IMediaSample* in, IMediaSample** out);
  // Installs the derived filter's pins (call from its constructor).
  void SetPins(std::unique_ptr<CTransformInputPin> input,
               std::unique_ptr<CTransformOutputPin> output);

  CCritSec filterLock_;
  CCritSec receiveLock_;

 private:
  bool ensurePins();

  std::unique_ptr<CTransformInputPin> input_;
  std::unique_ptr<CTransformOutputPin> output_;
  bool sampleSkipped_ = false;
};
