// The encoder's output pin: its output queue and the notifications that pass through it.
#include "encoder/zelkenc_output_pin.h"

#include <new>

namespace {

// Notifications only: the queue never holds samples, so a short list does.
constexpr LONG kQueueLength = 10;

}  // namespace

ZelkencOutputPin::ZelkencOutputPin(CTransformFilter* filter, HRESULT* hr)
    : CTransformOutputPin(filter, hr, L"Output") {}

HRESULT ZelkencOutputPin::NonDelegatingQueryInterface(REFIID iid, void** object) {
  if (iid == IID_IAMVideoCompression) return transform_->QueryInterface(iid, object);
  return CTransformOutputPin::NonDelegatingQueryInterface(iid, object);
}

HRESULT ZelkencOutputPin::Active() {
  if (IsConnected()) {
    CAutoLock lock(&queueLock_);
    HRESULT hr = S_OK;
    // The queue starts a delivery thread exactly when the downstream pin may block.
    std::unique_ptr<COutputQueue> queue(new (std::nothrow) COutputQueue(
        GetConnected(), &hr, true, false, 1, false, kQueueLength, THREAD_PRIORITY_NORMAL));
    if (!queue) return E_OUTOFMEMORY;
    if (FAILED(hr)) return hr;
    queue_ = std::move(queue);
  }
  const HRESULT hr = CTransformOutputPin::Active();
  if (FAILED(hr)) {
    CAutoLock lock(&queueLock_);
    queue_.reset();
  }
  return hr;
}

HRESULT ZelkencOutputPin::Inactive() {
  {
    CAutoLock lock(&queueLock_);
    queue_.reset();
  }
  return CTransformOutputPin::Inactive();
}

HRESULT ZelkencOutputPin::DeliverEndOfStream() {
  CAutoLock lock(&queueLock_);
  if (!queue_) return CTransformOutputPin::DeliverEndOfStream();
  queue_->EOS();
  return S_OK;
}

HRESULT ZelkencOutputPin::DeliverBeginFlush() {
  CAutoLock lock(&queueLock_);
  if (!queue_) return CTransformOutputPin::DeliverBeginFlush();
  queue_->BeginFlush();
  return S_OK;
}

HRESULT ZelkencOutputPin::DeliverEndFlush() {
  CAutoLock lock(&queueLock_);
  if (!queue_) return CTransformOutputPin::DeliverEndFlush();
  queue_->EndFlush();
  return S_OK;
}

HRESULT ZelkencOutputPin::DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop,
                                            double rate) {
  CAutoLock lock(&queueLock_);
  if (!queue_) return CTransformOutputPin::DeliverNewSegment(start, stop, rate);
  queue_->NewSegment(start, stop, rate);
  return S_OK;
}
