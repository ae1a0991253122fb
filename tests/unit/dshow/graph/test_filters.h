// Tiny filters on the base-class layer for graph tests: a source of numbered RGB32 frames and
// an inverting transform that counts what passes through it.
#pragma once

#include <atomic>
#include <memory>

#include "dshow/output_queue.h"
#include "dshow/source.h"
#include "dshow/transform.h"

namespace test_filters {

constexpr LONG kWidth = 64;
constexpr LONG kHeight = 48;
constexpr DWORD kFrameBytes = kWidth * kHeight * 4;
constexpr REFERENCE_TIME kPeriod = 100000;  // 10 ms

extern const CLSID kTestSourceClass;
extern const CLSID kTestInvertClass;

// The RGB32 type both filters speak.
CMediaType frameType();

// How a stream hands its samples downstream: straight to the input pin, or through an output
// queue that picks its thread from the downstream pin, or one that never uses a thread.
enum class Delivery { Direct, AutoQueue, UnthreadedQueue };

// Frame n is filled with the word n and stamped [n * kPeriod, (n + 1) * kPeriod); numbering
// restarts whenever the worker thread starts. With a limit, the stream ends after that many.
class NumberedStream final : public CSourceStream {
 public:
  NumberedStream(HRESULT* hr, CSource* filter, LONG frameLimit, Delivery delivery);

  HRESULT GetMediaType(CMediaType* type) override;
  using CSourceStream::GetMediaType;
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
  HRESULT FillBuffer(IMediaSample* sample) override;
  HRESULT OnThreadCreate() override;
  HRESULT OnThreadDestroy() override;
  HRESULT Active() override;
  HRESULT Inactive() override;
  HRESULT Deliver(IMediaSample* sample) override;
  HRESULT DeliverEndOfStream() override;

  // Whether the last activation delivered through a queue thread.
  std::atomic<bool> queueThreaded{false};
  std::atomic<int> threadsCreated{0};
  std::atomic<int> threadsDestroyed{0};
  std::atomic<LONG> framesFilled{0};
  // Deliveries that downstream answered with anything but S_OK (flushing, stopping).
  std::atomic<int> deliveriesRefused{0};

 private:
  LONG frameLimit_;
  Delivery delivery_;
  LONG next_ = 0;
  CCritSec queueLock_;
  std::unique_ptr<COutputQueue> queue_;
};

class NumberedSource final : public CSource {
 public:
  explicit NumberedSource(LONG frameLimit = -1, Delivery delivery = Delivery::Direct);
  NumberedStream* stream() { return stream_; }

 private:
  NumberedStream* stream_ = nullptr;
};

// Inverts every byte; accepts RGB32 only and outputs the input type.
class InvertFilter final : public CTransformFilter {
 public:
  InvertFilter();

  HRESULT CheckInputType(const CMediaType* in) override;
  HRESULT CheckTransform(const CMediaType* in, const CMediaType* out) override;
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
  HRESULT GetMediaType(int position, CMediaType* type) override;
  HRESULT Transform(IMediaSample* in, IMediaSample* out) override;
  HRESULT EndOfStream() override;
  HRESULT BeginFlush() override;
  HRESULT EndFlush() override;

  std::atomic<int> transformed{0};
  std::atomic<int> endsOfStream{0};
  std::atomic<int> transformedBeforeEnd{-1};
  std::atomic<int> beginFlushes{0};
  std::atomic<int> endFlushes{0};
};

}  // namespace test_filters
