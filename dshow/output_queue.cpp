// The output queue: a fixed ring of samples and notifications under one slim lock, drained
// either by the delivery thread or by the streaming thread itself in direct mode.
#include "dshow/output_queue.h"

#include <vfwmsgs.h>

#include <algorithm>
#include <new>
#include <utility>

using Microsoft::WRL::ComPtr;

namespace {

class ExclusiveLock {
 public:
  explicit ExclusiveLock(SRWLOCK* lock) : lock_(lock) { ::AcquireSRWLockExclusive(lock_); }
  ~ExclusiveLock() { ::ReleaseSRWLockExclusive(lock_); }
  ExclusiveLock(const ExclusiveLock&) = delete;
  ExclusiveLock& operator=(const ExclusiveLock&) = delete;

 private:
  SRWLOCK* lock_;
};

// Leaves a held lock for a scope: downstream calls never run under our lock.
class Unlocked {
 public:
  explicit Unlocked(SRWLOCK* lock) : lock_(lock) { ::ReleaseSRWLockExclusive(lock_); }
  ~Unlocked() { ::AcquireSRWLockExclusive(lock_); }
  Unlocked(const Unlocked&) = delete;
  Unlocked& operator=(const Unlocked&) = delete;

 private:
  SRWLOCK* lock_;
};

// Takes over the caller's reference. Not ComPtr::Attach: mingw's adds a reference of its own.
ComPtr<IMediaSample> adopt(IMediaSample* sample) {
  ComPtr<IMediaSample> owned;
  *owned.GetAddressOf() = sample;
  return owned;
}

void wait(CONDITION_VARIABLE* condition, SRWLOCK* lock) {
  ::SleepConditionVariableSRW(condition, lock, INFINITE, 0);
}

}  // namespace

COutputQueue::COutputQueue(IPin* inputPin, HRESULT* hr, bool autoThread, bool queue, LONG batchSize,
                           bool exactBatch, LONG listSize, int priority)
    : batchSize_(std::max<LONG>(batchSize, 1)), exactBatch_(exactBatch) {
  auto fail = [&](HRESULT result) {
    input_.Reset();
    pin_.Reset();
    if (hr) *hr = result;
  };
  if (!inputPin) {
    fail(E_POINTER);
    return;
  }
  HRESULT result = inputPin->QueryInterface(IID_PPV_ARGS(&input_));
  if (FAILED(result)) {
    fail(result);
    return;
  }
  pin_ = inputPin;

  try {
    // Room for at least one full batch, or an exact batch could never fill.
    ring_.resize(static_cast<size_t>(std::max(listSize, batchSize_)));
    batch_.resize(static_cast<size_t>(batchSize_));
    batchPointers_.resize(static_cast<size_t>(batchSize_));
  } catch (const std::bad_alloc&) {
    fail(E_OUTOFMEMORY);
    return;
  }

  // Only S_OK means the pin may block; S_FALSE and failures both say it will not.
  bool useThread = autoThread ? input_->ReceiveCanBlock() == S_OK : queue;
  if (!useThread) return;
  thread_.reset(
      ::CreateThread(nullptr, 0, &COutputQueue::threadProc, this, CREATE_SUSPENDED, nullptr));
  if (!thread_) {
    fail(HRESULT_FROM_WIN32(::GetLastError()));
    return;
  }
  ::SetThreadPriority(thread_.get(), priority);
  ::ResumeThread(thread_.get());
}

COutputQueue::~COutputQueue() {
  if (thread_) {
    {
      ExclusiveLock lock(&lock_);
      terminate_ = true;
      ::WakeAllConditionVariable(&wake_);
      ::WakeAllConditionVariable(&changed_);
    }
    ::WaitForSingleObject(thread_.get(), INFINITE);
  }
  // The ring's samples go with it.
}

DWORD WINAPI COutputQueue::threadProc(void* self) {
  // Downstream filters may use COM on their streaming thread.
  ComApartment apartment(COINIT_MULTITHREADED);
  static_cast<COutputQueue*>(self)->threadLoop();
  return 0;
}

void COutputQueue::threadLoop() {
  ExclusiveLock lock(&lock_);
  for (;;) {
    Work work = Work::None;
    while (!terminate_ && (work = takeWork(!exactBatch_)) == Work::None) wait(&wake_, &lock_);
    if (terminate_) return;
    delivering_ = true;
    if (popEvent_) ::SetEvent(popEvent_);
    ::WakeAllConditionVariable(&changed_);
    HRESULT hr;
    {
      Unlocked unlocked(&lock_);
      hr = deliver(work);
    }
    finishWork(work, hr);
  }
}

COutputQueue::Work COutputQueue::takeWork(bool partial) {
  if (count_ == 0) return Work::None;
  if (ring_[head_].kind != Kind::Sample) {
    Item item = pop();
    if (item.kind == Kind::EndOfStream) return Work::EndOfStream;
    segmentStart_ = item.start;
    segmentStop_ = item.stop;
    segmentRate_ = item.rate;
    return Work::NewSegment;
  }
  LONG leading = leadingSamples();
  bool discard = flushing_ || lastResult_ != S_OK;
  // A notification behind the samples must not wait for the batch to fill.
  bool ready = discard || partial || sendAnyway_ || leading >= batchSize_ ||
               static_cast<size_t>(leading) < count_;
  if (!ready) return Work::None;
  LONG taken = std::min(leading, batchSize_);
  for (LONG i = 0; i < taken; ++i) batch_[static_cast<size_t>(i)] = std::move(pop().sample);
  batchCount_ = taken;
  if (taken == leading) sendAnyway_ = false;
  return discard ? Work::Discard : Work::Samples;
}

HRESULT COutputQueue::deliver(Work work) {
  HRESULT hr = S_OK;
  switch (work) {
    case Work::Samples:
      if (batchSize_ == 1) {
        hr = input_->Receive(batch_[0].Get());
      } else {
        for (LONG i = 0; i < batchCount_; ++i) {
          batchPointers_[static_cast<size_t>(i)] = batch_[static_cast<size_t>(i)].Get();
        }
        LONG processed = 0;
        hr = input_->ReceiveMultiple(batchPointers_.data(), batchCount_, &processed);
      }
      break;
    case Work::EndOfStream:
      pin_->EndOfStream();
      break;
    case Work::NewSegment:
      pin_->NewSegment(segmentStart_, segmentStop_, segmentRate_);
      break;
    case Work::Discard:
    case Work::None:
      break;
  }
  // The samples are released here, outside the lock, as their allocator may call back.
  for (LONG i = 0; i < batchCount_; ++i) batch_[static_cast<size_t>(i)].Reset();
  batchCount_ = 0;
  return hr;
}

void COutputQueue::finishWork(Work work, HRESULT hr) {
  delivering_ = false;
  // A refusal while flushing is the flush's doing, and EndFlush starts afresh anyway.
  if (work == Work::Samples && hr != S_OK && !flushing_ && lastResult_ == S_OK) lastResult_ = hr;
  ::WakeAllConditionVariable(&changed_);
}

HRESULT COutputQueue::deliverDirect(bool partial) {
  HRESULT result = S_OK;
  ExclusiveLock lock(&lock_);
  for (;;) {
    Work work = takeWork(partial);
    if (work == Work::None) break;
    delivering_ = true;
    HRESULT hr;
    {
      Unlocked unlocked(&lock_);
      hr = deliver(work);
    }
    finishWork(work, hr);
    if (work == Work::Samples && hr != S_OK) result = hr;
  }
  return result;
}

HRESULT COutputQueue::queueSample(ComPtr<IMediaSample>& sample) {
  ExclusiveLock lock(&lock_);
  // Bounded by the thread: it takes items off or, after an error, discards them.
  while (count_ == ring_.size() && !flushing_ && !terminate_ && lastResult_ == S_OK) {
    wait(&changed_, &lock_);
  }
  if (flushing_ || terminate_) return S_FALSE;
  if (lastResult_ != S_OK) return lastResult_;
  push(Item{Kind::Sample, std::move(sample)});
  ::WakeConditionVariable(&wake_);
  return S_OK;
}

HRESULT COutputQueue::directSample(ComPtr<IMediaSample>& sample, bool partial) {
  {
    ExclusiveLock lock(&lock_);
    if (flushing_) return S_FALSE;
    if (lastResult_ != S_OK) return lastResult_;
    // Full batches leave before the next sample comes, so there is always room.
    push(Item{Kind::Sample, std::move(sample)});
  }
  return deliverDirect(partial);
}

bool COutputQueue::queueNotification(Item&& item) {
  ExclusiveLock lock(&lock_);
  while (count_ == ring_.size() && !flushing_ && !terminate_) wait(&changed_, &lock_);
  if (terminate_) return false;
  // End of stream means nothing to a flushing pin; a new segment still holds after the flush.
  if (flushing_ && item.kind == Kind::EndOfStream) return false;
  if (count_ == ring_.size()) return false;
  push(std::move(item));
  ::WakeConditionVariable(&wake_);
  return true;
}

void COutputQueue::push(Item&& item) {
  ring_[(head_ + count_) % ring_.size()] = std::move(item);
  ++count_;
}

COutputQueue::Item COutputQueue::pop() {
  Item item = std::move(ring_[head_]);
  head_ = (head_ + 1) % ring_.size();
  --count_;
  return item;
}

LONG COutputQueue::leadingSamples() const {
  LONG samples = 0;
  while (static_cast<size_t>(samples) < count_ &&
         ring_[(head_ + static_cast<size_t>(samples)) % ring_.size()].kind == Kind::Sample) {
    ++samples;
  }
  return samples;
}

void COutputQueue::discardQueued() {
  for (;;) {
    Item item;
    {
      ExclusiveLock lock(&lock_);
      if (count_ == 0) break;
      item = pop();
      ::WakeAllConditionVariable(&changed_);
    }
  }
}

HRESULT COutputQueue::Receive(IMediaSample* sample) {
  if (!sample) return E_POINTER;
  ComPtr<IMediaSample> owned = adopt(sample);
  if (!input_) return VFW_E_NOT_CONNECTED;
  return IsQueued() ? queueSample(owned) : directSample(owned, !exactBatch_);
}

HRESULT COutputQueue::ReceiveMultiple(IMediaSample** samples, long count, long* processed) {
  if (processed) *processed = 0;
  if (!samples && count > 0) return E_POINTER;
  HRESULT hr = input_ ? S_OK : VFW_E_NOT_CONNECTED;
  long accepted = 0;
  for (long i = 0; i < count; ++i) {
    ComPtr<IMediaSample> owned = adopt(samples[i]);  // ours, also those after a refusal
    if (hr != S_OK) continue;
    if (!owned) {
      hr = E_POINTER;
      continue;
    }
    hr = IsQueued() ? queueSample(owned) : directSample(owned, false);
    if (hr == S_OK) ++accepted;
  }
  if (hr == S_OK && !IsQueued() && !exactBatch_) hr = deliverDirect(true);
  if (processed) *processed = accepted;
  return hr;
}

void COutputQueue::EOS() {
  if (!input_) return;
  if (IsQueued()) {
    queueNotification(Item{Kind::EndOfStream});
    return;
  }
  deliverDirect(true);
  {
    ExclusiveLock lock(&lock_);
    if (flushing_) return;
  }
  pin_->EndOfStream();
}

void COutputQueue::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
  if (!input_) return;
  if (IsQueued()) {
    queueNotification(Item{Kind::NewSegment, nullptr, start, stop, rate});
    return;
  }
  deliverDirect(true);
  pin_->NewSegment(start, stop, rate);
}

void COutputQueue::BeginFlush() {
  if (!input_) return;
  {
    ExclusiveLock lock(&lock_);
    flushing_ = true;
    sendAnyway_ = false;
    // Callers waiting for room give up their samples now.
    ::WakeAllConditionVariable(&changed_);
  }
  discardQueued();
  // At once, not through the thread: this is what frees a delivery blocked downstream.
  pin_->BeginFlush();
}

void COutputQueue::EndFlush() {
  if (!input_) return;
  {
    ExclusiveLock lock(&lock_);
    // Queued, only new segments can be waiting by now; they still go before EndFlush.
    while (delivering_ || (IsQueued() && count_ > 0)) wait(&changed_, &lock_);
  }
  // Direct, nobody else would ever take a partial batch left by an EndFlush without BeginFlush.
  discardQueued();
  pin_->EndFlush();
  // Cleared only after the pin left its flush, so no sample reaches it while it still refuses.
  ExclusiveLock lock(&lock_);
  flushing_ = false;
  lastResult_ = S_OK;
}

void COutputQueue::SendAnyway() {
  if (!input_) return;
  if (!IsQueued()) {
    deliverDirect(true);
    return;
  }
  ExclusiveLock lock(&lock_);
  // A flag with no sample to send would split the next batch instead.
  bool anySample = false;
  for (size_t i = 0; i < count_; ++i) {
    if (ring_[(head_ + i) % ring_.size()].kind == Kind::Sample) anySample = true;
  }
  if (!anySample) return;
  sendAnyway_ = true;
  ::WakeConditionVariable(&wake_);
}

bool COutputQueue::IsIdle() {
  ExclusiveLock lock(&lock_);
  return count_ == 0 && !delivering_;
}

HRESULT COutputQueue::LastResult() {
  ExclusiveLock lock(&lock_);
  return lastResult_;
}

void COutputQueue::SetPopEvent(HANDLE event) {
  ExclusiveLock lock(&lock_);
  popEvent_ = event;
}
