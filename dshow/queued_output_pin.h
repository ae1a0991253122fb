// An output pin that owns an output queue towards its connected pin while it is active, so
// that a downstream pin that may block holds up the queue's thread rather than the caller.
// End of stream, flushes and new segments always go through the queue when there is one;
// samples too unless the pin delivers them itself (`QueuedDelivery::Notifications`). Without
// a queue (not connected, or between activations) everything goes straight downstream.
// `Base` is any pin derived from CBaseOutputPin. The graph's thread activates and deactivates
// the pin; streaming threads deliver. The queue is handed out under a short lock of its own
// and used outside it, so no lock of the pin is held while the downstream pin works.
#pragma once

#include <memory>
#include <new>
#include <utility>

#include "dshow/critsec.h"
#include "dshow/output_queue.h"

enum class QueuedDelivery { SamplesAndNotifications, Notifications };

template <class Base>
class CQueuedOutputPin : public Base {
 public:
  template <class... Args>
  explicit CQueuedOutputPin(QueuedDelivery delivery, Args&&... args)
      : Base(std::forward<Args>(args)...), delivery_(delivery) {}

  HRESULT Active() override {
    if (Base::IsConnected()) {
      HRESULT hr = S_OK;
      // Automatic thread choice: a thread exactly when the downstream pin says it may block.
      std::shared_ptr<COutputQueue> queue(new (std::nothrow) COutputQueue(
          Base::GetConnected(), &hr, true, false, 1, false, kListSize, THREAD_PRIORITY_NORMAL));
      if (!queue) return E_OUTOFMEMORY;
      if (FAILED(hr)) return hr;
      CAutoLock lock(&queueLock_);
      queue_ = std::move(queue);
    }
    const HRESULT hr = Base::Active();
    if (FAILED(hr)) takeQueue();
    return hr;
  }

  HRESULT Inactive() override {
    // Destroyed here unless a delivery still uses it; then by that delivery, when it returns.
    takeQueue();
    return Base::Inactive();
  }

  HRESULT Deliver(IMediaSample* sample) override {
    std::shared_ptr<COutputQueue> queue = currentQueue();
    if (!queue || delivery_ == QueuedDelivery::Notifications) return Base::Deliver(sample);
    if (!sample) return E_POINTER;
    sample->AddRef();  // the queue takes over a reference
    return queue->Receive(sample);
  }

  HRESULT DeliverEndOfStream() override {
    std::shared_ptr<COutputQueue> queue = currentQueue();
    if (!queue) return Base::DeliverEndOfStream();
    queue->EOS();
    return S_OK;
  }

  HRESULT DeliverBeginFlush() override {
    std::shared_ptr<COutputQueue> queue = currentQueue();
    if (!queue) return Base::DeliverBeginFlush();
    queue->BeginFlush();
    return S_OK;
  }

  HRESULT DeliverEndFlush() override {
    std::shared_ptr<COutputQueue> queue = currentQueue();
    if (!queue) return Base::DeliverEndFlush();
    queue->EndFlush();
    return S_OK;
  }

  HRESULT DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override {
    std::shared_ptr<COutputQueue> queue = currentQueue();
    if (!queue) return Base::DeliverNewSegment(start, stop, rate);
    queue->NewSegment(start, stop, rate);
    return S_OK;
  }

 private:
  static constexpr LONG kListSize = 10;

  std::shared_ptr<COutputQueue> currentQueue() {
    CAutoLock lock(&queueLock_);
    return queue_;
  }
  void takeQueue() {
    std::shared_ptr<COutputQueue> queue;
    {
      CAutoLock lock(&queueLock_);
      queue = std::move(queue_);
    }
  }

  const QueuedDelivery delivery_;
  CCritSec queueLock_;
  std::shared_ptr<COutputQueue> queue_;
};
