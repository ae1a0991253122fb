// `COutputQueue` hands an output pin's samples and stream notifications to the connected input
// pin, in the order they were given, either at once on the caller's thread ("direct") or through
// a delivery thread of its own that decouples the caller from a downstream pin that may block.
// The streaming thread calls Receive, ReceiveMultiple, EOS, NewSegment and SendAnyway (one
// streaming thread at a time, as pins are driven); the application thread calls BeginFlush and
// EndFlush; the delivery thread alone calls the input pin's Receive/ReceiveMultiple, EndOfStream
// and NewSegment in queued mode. Not a COM object: the output pin owns it.
//
// Errors: when the input pin answers a delivery with anything but S_OK (S_FALSE, "stop
// sending", or a failure), the queue keeps that result. From then on Receive releases the
// samples it is given and returns the kept result, and the delivery thread discards whatever
// samples are still queued, until EndFlush clears it. `LastResult()` reads it.
#pragma once

#include <windows.h>

#include <strmif.h>
#include <wrl/client.h>

#include <vector>

#include "common/win_raii.h"

class COutputQueue {
 public:
  // `inputPin` is the connected input pin; it must offer IMemInputPin. With `autoThread` the
  // queue uses a delivery thread exactly when the pin's ReceiveCanBlock answers S_OK; without
  // it, `queue` decides. Samples go downstream in batches of `batchSize` (ReceiveMultiple when
  // it is above 1); with `exactBatch` only full batches go unless SendAnyway, EOS or NewSegment
  // asks, without it a batch goes as soon as the deliverer is free. `listSize` bounds how many
  // samples and notifications wait in the queue. `*hr` is set on failure only.
  COutputQueue(IPin* inputPin, HRESULT* hr, bool autoThread = true, bool queue = true,
               LONG batchSize = 1, bool exactBatch = false, LONG listSize = 10,
               int priority = THREAD_PRIORITY_NORMAL);
  // Ends the thread without delivering anything more and releases what is still queued. The
  // owner flushes or stops the input pin first if it may be blocked in Receive.
  ~COutputQueue();
  COutputQueue(const COutputQueue&) = delete;
  COutputQueue& operator=(const COutputQueue&) = delete;

  // Takes over the caller's reference to `sample` whatever the result. Queued mode: S_OK when
  // queued (blocks while the list is full); direct mode: the input pin's answer.
  HRESULT Receive(IMediaSample* sample);
  // As Receive for each of `count` samples; `*processed` (may be null) counts those accepted.
  HRESULT ReceiveMultiple(IMediaSample** samples, long count, long* processed);
  // Passes end-of-stream after every sample given before it. Dropped while flushing.
  void EOS();
  // Passes a new segment before every sample given after it.
  void NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);
  // Discards queued samples and passes BeginFlush downstream at once; Receive refuses samples
  // (S_FALSE) until EndFlush.
  void BeginFlush();
  // Waits for a delivery in progress to return, passes EndFlush downstream and clears the kept
  // delivery error.
  void EndFlush();
  // Delivers a partial batch now.
  void SendAnyway();

  // Nothing queued and nothing being delivered.
  bool IsIdle();
  // The kept delivery result: S_OK, or the input pin's first non-S_OK answer since EndFlush.
  HRESULT LastResult();
  // An event (not owned) to signal each time a batch or notification is taken off the list.
  void SetPopEvent(HANDLE event);
  // Whether this queue delivers through its own thread.
  bool IsQueued() const { return thread_.get() != nullptr; }

 private:
  enum class Kind { Sample, EndOfStream, NewSegment };
  struct Item {
    Kind kind = Kind::Sample;
    Microsoft::WRL::ComPtr<IMediaSample> sample;
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    double rate = 1.0;
  };
  // What the deliverer took off the list in one go.
  enum class Work { None, Samples, Discard, EndOfStream, NewSegment };

  static DWORD WINAPI threadProc(void* self);
  void threadLoop();
  // Under the lock: takes the next unit of work into `batch_`/`work*_`, or returns Work::None
  // when nothing is ready. `partial` lets a short batch go.
  Work takeWork(bool partial);
  // Outside the lock: passes the taken work downstream and returns its result.
  HRESULT deliver(Work work);
  // Under the lock, after deliver: clears the delivering state and keeps a failure.
  void finishWork(Work work, HRESULT hr);
  // Direct mode: delivers every full batch (and a partial one when asked) on this thread.
  HRESULT deliverDirect(bool partial);
  // Queued mode: waits for room, then appends the sample (S_OK) or refuses it.
  HRESULT queueSample(Microsoft::WRL::ComPtr<IMediaSample>& sample);
  // Direct mode: appends the sample and delivers the batches that are ready.
  HRESULT directSample(Microsoft::WRL::ComPtr<IMediaSample>& sample, bool partial);
  // Queued mode: waits for room, then appends a notification; false when dropped.
  bool queueNotification(Item&& item);
  void push(Item&& item);
  Item pop();
  LONG leadingSamples() const;
  // Empties the list, releasing the samples outside the lock one at a time.
  void discardQueued();

  Microsoft::WRL::ComPtr<IPin> pin_;
  Microsoft::WRL::ComPtr<IMemInputPin> input_;
  LONG batchSize_;
  bool exactBatch_;

  SRWLOCK lock_ = SRWLOCK_INIT;
  CONDITION_VARIABLE wake_ = CONDITION_VARIABLE_INIT;     // the delivery thread: work, or end
  CONDITION_VARIABLE changed_ = CONDITION_VARIABLE_INIT;  // callers: room, or delivery done
  std::vector<Item> ring_;                                // the list, a fixed ring
  size_t head_ = 0;
  size_t count_ = 0;
  bool flushing_ = false;
  bool terminate_ = false;
  bool sendAnyway_ = false;
  bool delivering_ = false;
  HRESULT lastResult_ = S_OK;
  HANDLE popEvent_ = nullptr;

  // Owned by whoever delivers: the thread, or the streaming thread in direct mode.
  std::vector<Microsoft::WRL::ComPtr<IMediaSample>> batch_;
  std::vector<IMediaSample*> batchPointers_;
  LONG batchCount_ = 0;
  REFERENCE_TIME segmentStart_ = 0;
  REFERENCE_TIME segmentStop_ = 0;
  double segmentRate_ = 1.0;

  UniqueHandle thread_;
};
