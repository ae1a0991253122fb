// Test peers for the codec filters, on our base-class layer: a source the test thread pushes
// chosen samples through, a sink that records every sample and notification it gets, and an
// allocator that can give less than asked or mark its buffers. The test thread pushes; the
// encoder's output queue may deliver notifications on a thread of its own.
#pragma once

#include <windows.h>
#include <dshow.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "dshow/allocator.h"
#include "dshow/base_filter.h"
#include "dshow/input_pin.h"
#include "dshow/output_pin.h"

namespace codec_graph {

// An RGB32 (or other subtype) video-info type of `width` x `height`, fixed-size samples.
CMediaType videoType(const GUID& subtype, LONG width, LONG height);

// Gives at most `maxBuffers` buffers of at most `maxBytes` (0: no limit), and fills each
// buffer with `fill` when it is handed out (-1: leaves it).
class TestAllocator final : public CMemAllocator {
 public:
  TestAllocator(LONG maxBuffers, LONG maxBytes, int fill)
      : CMemAllocator(nullptr), maxBuffers_(maxBuffers), maxBytes_(maxBytes), fill_(fill) {}

  HRESULT STDMETHODCALLTYPE SetProperties(ALLOCATOR_PROPERTIES* request,
                                          ALLOCATOR_PROPERTIES* actual) override;
  HRESULT STDMETHODCALLTYPE GetBuffer(IMediaSample** sample, REFERENCE_TIME* start,
                                      REFERENCE_TIME* end, DWORD flags) override;

 private:
  LONG maxBuffers_;
  LONG maxBytes_;
  int fill_;
};

// What a pushed sample carries besides its bytes.
struct SampleFlags {
  bool syncPoint = true;
  bool preroll = false;
  bool discontinuity = false;
  REFERENCE_TIME start = 0;
  REFERENCE_TIME stop = 0;
  const AM_MEDIA_TYPE* mediaType = nullptr;  // attached to the sample when set
};

class PushSource;

class PushPin final : public CBaseOutputPin {
 public:
  PushPin(PushSource* filter, HRESULT* hr, const CMediaType& type, LONG buffers, LONG bytes);

  HRESULT CheckMediaType(const CMediaType* type) override;
  HRESULT GetMediaType(int position, CMediaType* type) override;
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;

  // Delivers `length` bytes of `data` (length may be below the buffer size) with `flags`.
  // Never waits for a buffer: VFW_E_TIMEOUT when none is free.
  HRESULT push(const void* data, size_t length, const SampleFlags& flags);
  // The bytes of the last pushed sample's buffer as the receiver left them.
  const std::vector<uint8_t>& lastDelivered() const { return lastDelivered_; }

 private:
  std::vector<uint8_t> lastDelivered_;
  CMediaType type_;
  LONG buffers_;
  LONG bytes_;
};

// One output pin "Out" offering one type.
class PushSource final : public CBaseFilter {
 public:
  // Upstream allocators get `buffers` buffers of `bytes` each asked for.
  PushSource(const CMediaType& type, LONG buffers, LONG bytes);

  int GetPinCount() override { return 1; }
  CBasePin* GetPin(int index) override { return index == 0 ? pin_.get() : nullptr; }
  PushPin* pin() { return pin_.get(); }

 private:
  CCritSec ownLock_;
  std::unique_ptr<PushPin> pin_;
};

struct ReceivedSample {
  std::vector<uint8_t> data;
  bool syncPoint = false;
  bool preroll = false;
  bool discontinuity = false;
  HRESULT timeResult = E_FAIL;
  REFERENCE_TIME start = 0;
  REFERENCE_TIME stop = 0;
};

class RecordingSink;

class RecordingPin final : public CBaseInputPin {
 public:
  RecordingPin(RecordingSink* filter, HRESULT* hr);

  HRESULT CheckMediaType(const CMediaType* type) override;
  HRESULT STDMETHODCALLTYPE GetAllocator(IMemAllocator** allocator) override;
  HRESULT STDMETHODCALLTYPE NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) override;
  HRESULT STDMETHODCALLTYPE Receive(IMediaSample* sample) override;
  HRESULT STDMETHODCALLTYPE ReceiveCanBlock() override;
  HRESULT STDMETHODCALLTYPE EndOfStream() override;
  HRESULT STDMETHODCALLTYPE BeginFlush() override;
  HRESULT STDMETHODCALLTYPE EndFlush() override;

 private:
  RecordingSink* sink_;
};

// One input pin "In" that takes video of one subtype and records what arrives.
class RecordingSink final : public CBaseFilter {
 public:
  explicit RecordingSink(const GUID& subtype);

  int GetPinCount() override { return 1; }
  CBasePin* GetPin(int index) override { return index == 0 ? pin_.get() : nullptr; }
  RecordingPin* pin() { return pin_.get(); }

  // Set before connecting: the allocator the pin offers, and whether it takes no other.
  void offerAllocator(TestAllocator* allocator, bool onlyThisOne);
  // Whether Receive may block (the encoder's queue then delivers on its own thread).
  void setReceiveCanBlock(bool canBlock) { receiveCanBlock_ = canBlock; }
  // The next sample is held `ms` milliseconds in Receive: a downstream filter that blocks.
  void holdNextSample(DWORD ms) { holdMs_ = ms; }
  bool holding() const { return holding_; }

  std::vector<ReceivedSample> samples();
  void clear();
  // Waits up to `timeoutMs` for at least `count` ends of stream.
  bool waitForEndsOfStream(int count, DWORD timeoutMs);
  DWORD endOfStreamThread();
  int beginFlushes();
  int endFlushes();
  IMemAllocator* notifiedAllocator() const { return notified_; }

 private:
  friend class RecordingPin;

  GUID subtype_;
  CCritSec ownLock_;
  std::unique_ptr<RecordingPin> pin_;
  Microsoft::WRL::ComPtr<TestAllocator> offered_;
  bool onlyOffered_ = false;
  bool receiveCanBlock_ = true;
  std::atomic<DWORD> holdMs_{0};
  std::atomic<bool> holding_{false};
  IMemAllocator* notified_ = nullptr;  // compared only, never called

  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<ReceivedSample> samples_;
  int endsOfStream_ = 0;
  DWORD endOfStreamThread_ = 0;
  int beginFlushes_ = 0;
  int endFlushes_ = 0;
};

}  // namespace codec_graph
