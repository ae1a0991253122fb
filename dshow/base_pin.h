// A pin: IPin (connection, media-type negotiation and enumeration, pin information, segment)
// and IQualityControl. A pin is a member of its filter and forwards its reference count to it,
// so pin references keep the filter alive and there are no cycles. Derived pins answer the
// hooks `CheckMediaType`, `GetMediaType(position)`, `SetMediaType`, `CheckConnect`,
// `CompleteConnect` and `BreakConnect`; the filter calls `Active`/`Inactive`/`Run` on its
// connected pins when its state changes. Connection calls come from the graph's thread under
// the filter lock.
#pragma once

#include <windows.h>
#include <strmif.h>
#include <wrl/client.h>

#include <string>

#include "dshow/base_filter.h"
#include "dshow/media_type.h"
#include "dshow/unknown.h"

class CBasePin : public CUnknownImpl<IPin, IQualityControl> {
 public:
  CBasePin(CBaseFilter* filter, CCritSec* lock, HRESULT* hr, const wchar_t* name,
           PIN_DIRECTION direction);
  ~CBasePin() override;

  HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override;
  ULONG NonDelegatingAddRef() override;
  ULONG NonDelegatingRelease() override;

  // Hooks.
  virtual HRESULT CheckMediaType(const CMediaType* type) = 0;
  // The preferred type at `position`: S_OK, VFW_S_NO_MORE_ITEMS past the end, E_INVALIDARG
  // for a negative position. The default offers none.
  virtual HRESULT GetMediaType(int position, CMediaType* type);
  virtual HRESULT SetMediaType(const CMediaType* type);
  virtual HRESULT CheckConnect(IPin* pin);
  virtual HRESULT CompleteConnect(IPin* receivePin);
  virtual HRESULT BreakConnect();
  virtual HRESULT Active();
  virtual HRESULT Inactive();
  virtual HRESULT Run(REFERENCE_TIME start);

  // IPin
  HRESULT STDMETHODCALLTYPE Connect(IPin* receivePin, const AM_MEDIA_TYPE* type) override;
  HRESULT STDMETHODCALLTYPE ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) override;
  HRESULT STDMETHODCALLTYPE Disconnect() override;
  HRESULT STDMETHODCALLTYPE ConnectedTo(IPin** pin) override;
  HRESULT STDMETHODCALLTYPE ConnectionMediaType(AM_MEDIA_TYPE* type) override;
  HRESULT STDMETHODCALLTYPE QueryPinInfo(PIN_INFO* info) override;
  HRESULT STDMETHODCALLTYPE QueryDirection(PIN_DIRECTION* direction) override;
  HRESULT STDMETHODCALLTYPE QueryId(LPWSTR* id) override;
  HRESULT STDMETHODCALLTYPE QueryAccept(const AM_MEDIA_TYPE* type) override;
  HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes** types) override;
  HRESULT STDMETHODCALLTYPE QueryInternalConnections(IPin** pins, ULONG* count) override;
  HRESULT STDMETHODCALLTYPE EndOfStream() override;
  HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop,
                                       double rate) override;
  // IQualityControl: passes quality messages on to a sink set with SetSink, else E_NOTIMPL.
  HRESULT STDMETHODCALLTYPE Notify(IBaseFilter* sender, Quality quality) override;
  HRESULT STDMETHODCALLTYPE SetSink(IQualityControl* sink) override;

  bool IsConnected() const { return static_cast<bool>(connected_); }
  IPin* GetConnected() const { return connected_.Get(); }
  bool IsStopped() const { return filter_->IsStopped(); }
  const std::wstring& Name() const { return name_; }
  const CMediaType& CurrentMediaType() const { return mediaType_; }
  CBaseFilter* Filter() const { return filter_; }

 protected:
  // Tries a fully specified type, or else the receiver's types and then ours.
  HRESULT AgreeMediaType(IPin* receivePin, const CMediaType* type);
  // `late` (optional) tells whether it failed after both pins accepted the type.
  HRESULT AttemptConnection(IPin* receivePin, const CMediaType* type, bool* late = nullptr);

  CBaseFilter* filter_;
  CCritSec* lock_;
  std::wstring name_;
  PIN_DIRECTION direction_;
  Microsoft::WRL::ComPtr<IPin> connected_;
  CMediaType mediaType_;
  REFERENCE_TIME segmentStart_ = 0;
  REFERENCE_TIME segmentStop_ = MAXLONGLONG;
  double segmentRate_ = 1.0;
  IQualityControl* qualitySink_ = nullptr;  // not referenced, as the interface says

 private:
  HRESULT tryTypes(IPin* receivePin, const CMediaType* partial, IEnumMediaTypes* types,
                   HRESULT* lateFailure);
};
