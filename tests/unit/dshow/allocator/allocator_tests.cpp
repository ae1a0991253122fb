// The memory allocator and its samples: negotiation, commit and decommit, blocking and
// waking GetBuffer callers, buffer layout, lifetimes, and the sample property rules. Every
// test ends with the module idle again, which catches a reference left behind anywhere.
#include <windows.h>

#include <vfwmsgs.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <future>
#include <iterator>
#include <thread>
#include <utility>
#include <vector>

#include "dshow/allocator.h"
#include "dshow/media_type.h"
#include "dshow/unknown.h"

using Microsoft::WRL::ComPtr;
using namespace std::chrono_literals;

namespace {

// Long enough for a loaded machine; a correct wake-up takes microseconds.
constexpr auto kWakeTimeout = 5s;

ALLOCATOR_PROPERTIES properties(LONG count, LONG size, LONG align = 1, LONG prefix = 0) {
  return ALLOCATOR_PROPERTIES{count, size, align, prefix};
}

// A derived allocator, as later ones are: counts its hooks (Free only when it frees).
class CountingAllocator final : public CMemAllocator {
 public:
  CountingAllocator(int* allocs, int* frees)
      : CMemAllocator(nullptr), allocs_(allocs), frees_(frees) {}

 protected:
  HRESULT Alloc() override {
    ++*allocs_;
    return CMemAllocator::Alloc();
  }
  void Free() override {
    if (!samples_.empty()) ++*frees_;
    CMemAllocator::Free();
  }

 private:
  int* allocs_;
  int* frees_;
};

// GetBuffer on a thread of its own, so that a test can bound how long it waits for it.
class BackgroundGetBuffer {
 public:
  explicit BackgroundGetBuffer(IMemAllocator* allocator) : allocator_(allocator) {
    thread_ = std::thread([this] {
      started_ = true;
      // Straight into the ComPtr: mingw's ComPtr::Attach adds a reference of its own.
      result_.set_value(allocator_->GetBuffer(&sample_, nullptr, nullptr, 0));
    });
    while (!started_) std::this_thread::yield();
  }
  ~BackgroundGetBuffer() {
    // A failed test may leave the call blocked; decommitting wakes it so that we can join.
    if (!finishedWithin(0ms)) allocator_->Decommit();
    thread_.join();
  }

  bool finishedWithin(std::chrono::milliseconds wait) {
    return done_.wait_for(wait) == std::future_status::ready;
  }
  HRESULT result() { return done_.get(); }
  IMediaSample* sample() const { return sample_.Get(); }

 private:
  ComPtr<IMemAllocator> allocator_;
  std::atomic<bool> started_{false};
  std::promise<HRESULT> result_;
  std::shared_future<HRESULT> done_{result_.get_future().share()};
  ComPtr<IMediaSample> sample_;
  std::thread thread_;
};

// Counts notifications and, at each, how many samples the allocator has free.
class NotifySink final : public IMemAllocatorNotifyCallbackTemp {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }
  HRESULT STDMETHODCALLTYPE NotifyRelease() override {
    ++calls;
    return allocator->GetFreeCount(&freeAtCall);
  }

  ULONG references = 1;
  int calls = 0;
  LONG freeAtCall = -1;
  IMemAllocatorCallbackTemp* allocator = nullptr;
};

class AllocatorTest : public ::testing::Test {
 protected:
  void TearDown() override {
    allocator_.Reset();
    EXPECT_FALSE(module_lock::inUse()) << "an allocator or a sample was not released";
  }

  void createCounting() {
    ComPtr<IUnknown> owner((new CountingAllocator(&allocs_, &frees_))->GetNonDelegatingUnknown());
    ASSERT_EQ(owner.As(&allocator_), S_OK);
  }

  HRESULT configure(ALLOCATOR_PROPERTIES request) {
    ALLOCATOR_PROPERTIES actual{};
    return allocator_->SetProperties(&request, &actual);
  }

  void commit(LONG count, LONG size, LONG align = 1, LONG prefix = 0) {
    if (!allocator_) {
      ASSERT_EQ(CreateMemAllocator(&allocator_), S_OK);
    }
    ASSERT_EQ(configure(properties(count, size, align, prefix)), S_OK);
    ASSERT_EQ(allocator_->Commit(), S_OK);
  }

  ComPtr<IMediaSample> take(REFERENCE_TIME* start = nullptr, REFERENCE_TIME* end = nullptr) {
    ComPtr<IMediaSample> sample;
    EXPECT_EQ(allocator_->GetBuffer(&sample, start, end, AM_GBF_NOWAIT), S_OK);
    return sample;
  }

  LONG freeCount() {
    ComPtr<IMemAllocatorCallbackTemp> callback;
    LONG count = -1;
    if (SUCCEEDED(allocator_.As(&callback))) callback->GetFreeCount(&count);
    return count;
  }

  int allocs_ = 0;
  int frees_ = 0;
  ComPtr<IMemAllocator> allocator_;
};

TEST_F(AllocatorTest, CreatesOneReferenceAndAnswersItsInterfaces) {
  EXPECT_EQ(CreateMemAllocator(nullptr), E_POINTER);
  IMemAllocator* raw = nullptr;
  ASSERT_EQ(CreateMemAllocator(&raw), S_OK);
  EXPECT_TRUE(module_lock::inUse());
  EXPECT_EQ(raw->AddRef(), 2u);
  EXPECT_EQ(raw->Release(), 1u);

  ComPtr<IMemAllocatorCallbackTemp> callback;
  ComPtr<IUnknown> identity, identityAgain;
  ASSERT_EQ(raw->QueryInterface(IID_PPV_ARGS(&callback)), S_OK);
  ASSERT_EQ(raw->QueryInterface(IID_PPV_ARGS(&identity)), S_OK);
  ASSERT_EQ(callback->QueryInterface(IID_PPV_ARGS(&identityAgain)), S_OK);
  EXPECT_EQ(identity.Get(), identityAgain.Get());
  ComPtr<IMediaSample> notOffered;
  EXPECT_EQ(raw->QueryInterface(IID_PPV_ARGS(&notOffered)), E_NOINTERFACE);
  callback.Reset();
  identity.Reset();
  identityAgain.Reset();
  EXPECT_EQ(raw->Release(), 0u);
}

TEST_F(AllocatorTest, SetPropertiesChecksItsArgumentsAndReportsWhatItGives) {
  ASSERT_EQ(CreateMemAllocator(&allocator_), S_OK);
  ALLOCATOR_PROPERTIES request = properties(3, 1000, 16, 8), actual{}, reported{};
  EXPECT_EQ(allocator_->SetProperties(nullptr, &actual), E_POINTER);
  EXPECT_EQ(allocator_->SetProperties(&request, nullptr), E_POINTER);
  for (LONG align : {0, 3, 24, -4}) {
    EXPECT_EQ(configure(properties(1, 10, align)), VFW_E_BADALIGN) << align;
  }
  EXPECT_EQ(configure(properties(-1, 10)), E_INVALIDARG);
  EXPECT_EQ(allocator_->Commit(), VFW_E_SIZENOTSET) << "no properties yet";
  ASSERT_EQ(configure(properties(0, 1000)), S_OK);
  EXPECT_EQ(allocator_->Commit(), VFW_E_SIZENOTSET) << "no buffers";
  ASSERT_EQ(configure(properties(2, 0)), S_OK);
  EXPECT_EQ(allocator_->Commit(), VFW_E_SIZENOTSET) << "empty buffers";

  ASSERT_EQ(allocator_->SetProperties(&request, &actual), S_OK);
  ASSERT_EQ(allocator_->GetProperties(&reported), S_OK);
  for (const ALLOCATOR_PROPERTIES& given : {actual, reported}) {
    EXPECT_EQ(std::memcmp(&given, &request, sizeof(request)), 0);
  }
}

TEST_F(AllocatorTest, CommitAndDecommitGateBuffersAndTheirMemory) {
  createCounting();
  ASSERT_EQ(configure(properties(2, 32)), S_OK);
  ComPtr<IMediaSample> first, second, none;
  EXPECT_EQ(allocator_->GetBuffer(&none, nullptr, nullptr, 0), VFW_E_NOT_COMMITTED);
  ASSERT_EQ(allocator_->Commit(), S_OK);
  EXPECT_EQ(allocator_->Commit(), S_OK);
  EXPECT_EQ(allocs_, 1);
  first = take();
  second = take();
  ASSERT_TRUE(first && second);
  EXPECT_NE(first.Get(), second.Get());
  EXPECT_EQ(allocator_->GetBuffer(&none, nullptr, nullptr, AM_GBF_NOWAIT), VFW_E_TIMEOUT);
  EXPECT_EQ(none.Get(), nullptr);
  EXPECT_EQ(configure(properties(4, 32)), VFW_E_ALREADY_COMMITTED);

  // Decommit with samples out: no more buffers, the old layout stays until the last is back.
  ASSERT_EQ(allocator_->Decommit(), S_OK);
  EXPECT_EQ(allocator_->GetBuffer(&none, nullptr, nullptr, 0), VFW_E_NOT_COMMITTED);
  EXPECT_EQ(configure(properties(4, 32)), VFW_E_BUFFERS_OUTSTANDING);
  BYTE* buffer = nullptr;
  ASSERT_EQ(first->GetPointer(&buffer), S_OK);
  std::memset(buffer, 0x5A, first->GetSize());
  first.Reset();
  EXPECT_EQ(frees_, 0);
  second.Reset();
  EXPECT_EQ(frees_, 1) << "the last release completes the decommit";

  // New properties take effect on the next commit; with nothing out, Decommit frees at once.
  ASSERT_EQ(configure(properties(4, 32)), S_OK);
  ASSERT_EQ(allocator_->Commit(), S_OK);
  EXPECT_EQ(allocs_, 2);
  EXPECT_EQ(freeCount(), 4);
  ASSERT_EQ(allocator_->Decommit(), S_OK);
  EXPECT_EQ(allocator_->Decommit(), S_OK);
  EXPECT_EQ(frees_, 2);

  // A commit during a pending decommit keeps the samples that are out.
  ASSERT_EQ(allocator_->Commit(), S_OK);
  first = take();
  ASSERT_EQ(allocator_->Decommit(), S_OK);
  ASSERT_EQ(allocator_->Commit(), S_OK);
  first.Reset();
  EXPECT_EQ(allocs_, 3);
  EXPECT_EQ(frees_, 2);
  EXPECT_EQ(freeCount(), 4);

  // The allocator lists only its own samples, each once.
  BYTE memory[4];
  CMediaSample foreign(nullptr, memory, sizeof(memory));
  EXPECT_EQ(allocator_->ReleaseBuffer(&foreign), E_INVALIDARG);
  IMediaSample* back = take().Get();
  EXPECT_EQ(allocator_->ReleaseBuffer(back), E_UNEXPECTED);
  EXPECT_EQ(freeCount(), 4);
  ASSERT_EQ(allocator_->Decommit(), S_OK);
}

TEST_F(AllocatorTest, GetBufferWaitsUntilASampleComesBack) {
  commit(1, 16);
  ComPtr<IMediaSample> held = take();
  IMediaSample* heldPointer = held.Get();
  BackgroundGetBuffer waiter(allocator_.Get());
  EXPECT_FALSE(waiter.finishedWithin(100ms)) << "GetBuffer did not wait for the only sample";
  held.Reset();
  ASSERT_TRUE(waiter.finishedWithin(kWakeTimeout)) << "the release did not wake the waiter";
  EXPECT_EQ(waiter.result(), S_OK);
  EXPECT_EQ(waiter.sample(), heldPointer);
}

TEST_F(AllocatorTest, DecommitWakesEveryBlockedGetBuffer) {
  commit(1, 16);
  ComPtr<IMediaSample> held = take();
  BackgroundGetBuffer first(allocator_.Get()), second(allocator_.Get());
  EXPECT_FALSE(first.finishedWithin(100ms));
  EXPECT_FALSE(second.finishedWithin(0ms));
  ASSERT_EQ(allocator_->Decommit(), S_OK);
  for (BackgroundGetBuffer* waiter : {&first, &second}) {
    ASSERT_TRUE(waiter->finishedWithin(kWakeTimeout));
    EXPECT_EQ(waiter->result(), VFW_E_NOT_COMMITTED);
    EXPECT_EQ(waiter->sample(), nullptr);
  }
}

TEST_F(AllocatorTest, BuffersHonourAlignmentAndPrefix) {
  // The last alignment is beyond what VirtualAlloc guarantees by itself.
  const LONG layouts[][4] = {{3, 100, 64, 8}, {4, 7, 1, 0}, {2, 10, 4, 100}, {2, 10, 0x20000, 16}};
  for (auto [count, size, align, prefix] : layouts) {
    SCOPED_TRACE(testing::Message() << align << "/" << prefix);
    commit(count, size, align, prefix);
    std::vector<ComPtr<IMediaSample>> samples;
    std::vector<BYTE*> pointers;
    for (LONG i = 0; i < count; ++i) {
      samples.push_back(take());
      BYTE* pointer = nullptr;
      ASSERT_EQ(samples.back()->GetPointer(&pointer), S_OK);
      EXPECT_EQ(reinterpret_cast<uintptr_t>(pointer) % align, 0u);
      EXPECT_EQ(samples.back()->GetSize(), size);
      // Prefix and buffer are ours to write.
      std::memset(pointer - prefix, 0xA5, prefix + size);
      pointers.push_back(pointer);
    }
    std::sort(pointers.begin(), pointers.end());
    for (size_t i = 1; i < pointers.size(); ++i) {
      EXPECT_GE(pointers[i] - pointers[i - 1], prefix + size) << "buffers overlap";
    }
    samples.clear();
    ASSERT_EQ(allocator_->Decommit(), S_OK);
  }
}

TEST_F(AllocatorTest, AllocatorOutlivesItsLastExternalReferenceWhileASampleIsOut) {
  commit(2, 256);
  ComPtr<IMediaSample> sample = take();
  EXPECT_EQ(allocator_.Detach()->Release(), 1u) << "the sample out holds the allocator";
  EXPECT_TRUE(module_lock::inUse());
  BYTE* buffer = nullptr;
  ASSERT_EQ(sample->GetPointer(&buffer), S_OK);
  std::memset(buffer, 0x11, sample->GetSize());
  // Still committed when its last reference goes: the destructor frees the block.
  EXPECT_EQ(sample.Detach()->Release(), 0u);
  EXPECT_FALSE(module_lock::inUse());
}

TEST_F(AllocatorTest, SampleComesOutWithOneReferenceItsTimesAndNothingElse) {
  commit(1, 64);
  REFERENCE_TIME start = 1000, end = 2000, gotStart = 0, gotEnd = 0;
  ComPtr<IMediaSample> sample = take(&start, &end);
  IMediaSample* raw = sample.Get();
  EXPECT_EQ(raw->AddRef(), 2u);
  EXPECT_EQ(raw->Release(), 1u);
  EXPECT_EQ(sample->GetTime(&gotStart, &gotEnd), S_OK);
  EXPECT_EQ(gotStart, 1000);
  EXPECT_EQ(gotEnd, 2000);

  CMediaType type(&MEDIATYPE_Video);
  LONGLONG mediaStart = 5, mediaEnd = 6;
  ASSERT_EQ(sample->SetMediaType(&type), S_OK);
  ASSERT_EQ(sample->SetMediaTime(&mediaStart, &mediaEnd), S_OK);
  ASSERT_EQ(sample->SetSyncPoint(TRUE), S_OK);
  ASSERT_EQ(sample->SetPreroll(TRUE), S_OK);
  ASSERT_EQ(sample->SetDiscontinuity(TRUE), S_OK);
  ASSERT_EQ(sample->SetActualDataLength(10), S_OK);
  sample.Reset();

  // Everything the last holder set is gone.
  sample = take();
  ASSERT_EQ(sample.Get(), raw) << "the allocator has a single sample";
  EXPECT_EQ(sample->GetTime(&gotStart, &gotEnd), VFW_E_SAMPLE_TIME_NOT_SET);
  EXPECT_EQ(sample->GetMediaTime(&mediaStart, &mediaEnd), VFW_E_MEDIA_TIME_NOT_SET);
  AM_MEDIA_TYPE* gotType = &type;
  EXPECT_EQ(sample->GetMediaType(&gotType), S_FALSE);
  EXPECT_EQ(gotType, nullptr);
  EXPECT_EQ(sample->IsSyncPoint(), S_FALSE);
  EXPECT_EQ(sample->IsPreroll(), S_FALSE);
  EXPECT_EQ(sample->IsDiscontinuity(), S_FALSE);
  EXPECT_EQ(sample->GetActualDataLength(), 64);
  sample.Reset();

  sample = take(&start);
  EXPECT_EQ(sample->GetTime(&gotStart, &gotEnd), VFW_S_NO_STOP_TIME) << "a start alone";
  sample.Reset();
  ASSERT_EQ(allocator_->Decommit(), S_OK);
}

TEST_F(AllocatorTest, SampleTimesFlagsAndLengthFollowTheirRules) {
  commit(1, 64);
  ComPtr<IMediaSample> sample = take();
  REFERENCE_TIME start = 10, end = 20, gotStart = 0, gotEnd = 0;
  EXPECT_EQ(sample->GetTime(nullptr, &gotEnd), E_POINTER);
  ASSERT_EQ(sample->SetTime(&start, nullptr), S_OK);
  EXPECT_EQ(sample->GetTime(&gotStart, &gotEnd), VFW_S_NO_STOP_TIME);
  EXPECT_EQ(gotStart, 10);
  EXPECT_EQ(gotEnd, 11);
  ASSERT_EQ(sample->SetTime(&start, &end), S_OK);
  EXPECT_EQ(sample->GetTime(&gotStart, &gotEnd), S_OK);
  EXPECT_EQ(gotEnd, 20);
  ASSERT_EQ(sample->SetTime(nullptr, nullptr), S_OK);
  EXPECT_EQ(sample->GetTime(&gotStart, &gotEnd), VFW_E_SAMPLE_TIME_NOT_SET);

  LONGLONG mediaStart = 3, mediaEnd = 4, gotMediaStart = 0, gotMediaEnd = 0;
  EXPECT_EQ(sample->SetMediaTime(&mediaStart, nullptr), E_POINTER) << "half a pair";
  EXPECT_EQ(sample->GetMediaTime(&gotMediaStart, &gotMediaEnd), VFW_E_MEDIA_TIME_NOT_SET);
  ASSERT_EQ(sample->SetMediaTime(&mediaStart, &mediaEnd), S_OK);
  EXPECT_EQ(sample->GetMediaTime(&gotMediaStart, &gotMediaEnd), S_OK);
  EXPECT_EQ(gotMediaStart + gotMediaEnd, 7);
  ASSERT_EQ(sample->SetMediaTime(nullptr, nullptr), S_OK);
  EXPECT_EQ(sample->GetMediaTime(&gotMediaStart, &gotMediaEnd), VFW_E_MEDIA_TIME_NOT_SET);

  // Each flag is its own.
  ASSERT_EQ(sample->SetPreroll(TRUE), S_OK);
  EXPECT_EQ(sample->IsPreroll(), S_OK);
  EXPECT_EQ(sample->IsSyncPoint(), S_FALSE);
  EXPECT_EQ(sample->IsDiscontinuity(), S_FALSE);
  ASSERT_EQ(sample->SetSyncPoint(TRUE), S_OK);
  ASSERT_EQ(sample->SetDiscontinuity(TRUE), S_OK);
  ASSERT_EQ(sample->SetPreroll(FALSE), S_OK);
  EXPECT_EQ(sample->IsPreroll(), S_FALSE);
  EXPECT_EQ(sample->IsSyncPoint(), S_OK);
  EXPECT_EQ(sample->IsDiscontinuity(), S_OK);

  EXPECT_EQ(sample->SetActualDataLength(65), VFW_E_BUFFER_OVERFLOW);
  EXPECT_EQ(sample->SetActualDataLength(-1), E_INVALIDARG);
  EXPECT_EQ(sample->GetActualDataLength(), 64);
  EXPECT_EQ(sample->SetActualDataLength(0), S_OK);
  EXPECT_EQ(sample->GetActualDataLength(), 0);
  sample.Reset();
  ASSERT_EQ(allocator_->Decommit(), S_OK);
}

TEST_F(AllocatorTest, SampleMediaTypeIsADeepCopy) {
  commit(1, 64);
  ComPtr<IMediaSample> sample = take();
  VIDEOINFOHEADER format{};
  format.bmiHeader.biWidth = 32;
  CMediaType type(&MEDIATYPE_Video);
  type.SetFormatType(&FORMAT_VideoInfo);
  ASSERT_TRUE(type.SetFormat(reinterpret_cast<BYTE*>(&format), sizeof(format)));
  ASSERT_EQ(sample->SetMediaType(&type), S_OK);
  reinterpret_cast<VIDEOINFOHEADER*>(type.Format())->bmiHeader.biWidth = 99;

  AM_MEDIA_TYPE* got = nullptr;
  AM_MEDIA_TYPE* again = nullptr;
  ASSERT_EQ(sample->GetMediaType(&got), S_OK);
  ASSERT_EQ(sample->GetMediaType(&again), S_OK);
  EXPECT_EQ(got->majortype, MEDIATYPE_Video);
  ASSERT_EQ(got->cbFormat, sizeof(format));
  EXPECT_EQ(reinterpret_cast<VIDEOINFOHEADER*>(got->pbFormat)->bmiHeader.biWidth, 32);
  EXPECT_NE(got->pbFormat, type.Format());
  EXPECT_NE(again->pbFormat, got->pbFormat) << "each call hands out a copy of its own";
  DeleteMediaType(again);
  DeleteMediaType(got);

  EXPECT_EQ(sample->GetMediaType(nullptr), E_POINTER);
  ASSERT_EQ(sample->SetMediaType(nullptr), S_OK);
  EXPECT_EQ(sample->GetMediaType(&got), S_FALSE);
  EXPECT_EQ(got, nullptr);
  sample.Reset();
  ASSERT_EQ(allocator_->Decommit(), S_OK);
}

TEST_F(AllocatorTest, SamplePropertyBlockRoundTripsAndGuardsTheBuffer) {
  commit(1, 64);
  ComPtr<IMediaSample2> sample;
  ASSERT_EQ(take().As(&sample), S_OK);
  BYTE* buffer = nullptr;
  ASSERT_EQ(sample->GetPointer(&buffer), S_OK);
  REFERENCE_TIME start = 100, end = 200, gotStart = 0, gotEnd = 0;
  ASSERT_EQ(sample->SetTime(&start, &end), S_OK);
  ASSERT_EQ(sample->SetSyncPoint(TRUE), S_OK);
  ASSERT_EQ(sample->SetActualDataLength(40), S_OK);

  AM_SAMPLE2_PROPERTIES block{};
  auto* bytes = reinterpret_cast<BYTE*>(&block);
  const DWORD full = sizeof(block);
  ASSERT_EQ(sample->GetProperties(full, bytes), S_OK);
  EXPECT_EQ(block.cbData, full);
  EXPECT_EQ(block.dwSampleFlags,
            DWORD{AM_SAMPLE_SPLICEPOINT | AM_SAMPLE_TIMEVALID | AM_SAMPLE_STOPVALID});
  EXPECT_EQ(block.lActual, 40);
  EXPECT_EQ(block.tStart + block.tStop, 300);
  EXPECT_EQ(block.pMediaType, nullptr);
  EXPECT_EQ(block.pbBuffer, buffer);
  EXPECT_EQ(block.cbBuffer, 64);
  EXPECT_EQ(sample->GetProperties(full + 1, bytes), E_INVALIDARG);
  EXPECT_EQ(sample->SetProperties(full + 1, bytes), E_INVALIDARG);

  // A shorter block gets exactly its prefix.
  const DWORD prefix = offsetof(AM_SAMPLE2_PROPERTIES, lActual) + sizeof(LONG);
  std::vector<BYTE> partial(full, 0xCD);
  ASSERT_EQ(sample->GetProperties(prefix, partial.data()), S_OK);
  EXPECT_EQ(reinterpret_cast<AM_SAMPLE2_PROPERTIES*>(partial.data())->lActual, 40);
  EXPECT_TRUE(
      std::all_of(partial.begin() + prefix, partial.end(), [](BYTE b) { return b == 0xCD; }));

  // The block drives the individual flags, times, length and type.
  CMediaType type(&MEDIATYPE_Video);
  block.dwSampleFlags =
      AM_SAMPLE_PREROLL | AM_SAMPLE_DATADISCONTINUITY | AM_SAMPLE_TIMEVALID | AM_SAMPLE_TYPECHANGED;
  block.lActual = 5;
  block.tStart = 7;
  block.pMediaType = &type;
  ASSERT_EQ(sample->SetProperties(full, bytes), S_OK);
  EXPECT_EQ(sample->IsSyncPoint(), S_FALSE);
  EXPECT_EQ(sample->IsPreroll(), S_OK);
  EXPECT_EQ(sample->IsDiscontinuity(), S_OK);
  EXPECT_EQ(sample->GetActualDataLength(), 5);
  EXPECT_EQ(sample->GetTime(&gotStart, &gotEnd), VFW_S_NO_STOP_TIME);
  EXPECT_EQ(gotStart, 7);
  AM_MEDIA_TYPE* got = nullptr;
  ASSERT_EQ(sample->GetMediaType(&got), S_OK);
  EXPECT_EQ(got->majortype, MEDIATYPE_Video);
  DeleteMediaType(got);

  // Get, change, set: the sample's own type (not the caller's) comes back as it is.
  ASSERT_EQ(sample->GetProperties(full, bytes), S_OK);
  AM_MEDIA_TYPE* own = block.pMediaType;
  ASSERT_NE(own, nullptr);
  EXPECT_NE(own, static_cast<AM_MEDIA_TYPE*>(&type));
  block.lActual = 6;
  ASSERT_EQ(sample->SetProperties(full, bytes), S_OK);
  ASSERT_EQ(sample->GetProperties(full, bytes), S_OK);
  EXPECT_EQ(block.pMediaType, own);

  // Refused blocks change nothing.
  using Spoil = void (*)(AM_SAMPLE2_PROPERTIES&);
  const std::pair<Spoil, HRESULT> refused[] = {
      {[](AM_SAMPLE2_PROPERTIES& b) { b.pbBuffer += 1; }, E_INVALIDARG},
      {[](AM_SAMPLE2_PROPERTIES& b) { b.cbBuffer = 32; }, E_INVALIDARG},
      {[](AM_SAMPLE2_PROPERTIES& b) { b.lActual = 65; }, VFW_E_BUFFER_OVERFLOW},
      {[](AM_SAMPLE2_PROPERTIES& b) { b.dwSampleFlags = AM_SAMPLE_STOPVALID; }, E_INVALIDARG},
      {[](AM_SAMPLE2_PROPERTIES& b) { b.pMediaType = nullptr; }, E_INVALIDARG}};
  for (size_t i = 0; i < std::size(refused); ++i) {
    AM_SAMPLE2_PROPERTIES spoiled = block;
    spoiled.lActual = 1;
    refused[i].first(spoiled);
    EXPECT_EQ(sample->SetProperties(full, reinterpret_cast<BYTE*>(&spoiled)), refused[i].second)
        << i;
    EXPECT_EQ(sample->GetActualDataLength(), 6) << i;
  }

  // A prefix ending before lActual sets the flags alone; without the type flag the type goes.
  AM_SAMPLE2_PROPERTIES flagsOnly{};
  flagsOnly.dwSampleFlags = AM_SAMPLE_SPLICEPOINT;
  ASSERT_EQ(sample->SetProperties(offsetof(AM_SAMPLE2_PROPERTIES, lActual),
                                  reinterpret_cast<BYTE*>(&flagsOnly)),
            S_OK);
  EXPECT_EQ(sample->IsSyncPoint(), S_OK);
  EXPECT_EQ(sample->IsPreroll(), S_FALSE);
  EXPECT_EQ(sample->GetActualDataLength(), 6);
  EXPECT_EQ(sample->GetTime(&gotStart, &gotEnd), VFW_E_SAMPLE_TIME_NOT_SET);
  EXPECT_EQ(sample->GetMediaType(&got), S_FALSE);
  sample.Reset();
  ASSERT_EQ(allocator_->Decommit(), S_OK);
}

TEST_F(AllocatorTest, NotifyCallbackHearsEachReleaseAfterTheSampleIsBack) {
  commit(2, 16);
  ComPtr<IMemAllocatorCallbackTemp> callback;
  ASSERT_EQ(allocator_.As(&callback), S_OK);
  EXPECT_EQ(callback->GetFreeCount(nullptr), E_POINTER);
  NotifySink sink;
  sink.allocator = callback.Get();
  ASSERT_EQ(callback->SetNotify(&sink), S_OK);
  EXPECT_EQ(sink.references, 2u);

  ComPtr<IMediaSample> first = take(), second = take();
  first.Reset();
  EXPECT_EQ(sink.calls, 1);
  EXPECT_EQ(sink.freeAtCall, 1);
  second.Reset();
  EXPECT_EQ(sink.calls, 2);
  EXPECT_EQ(sink.freeAtCall, 2);

  ASSERT_EQ(callback->SetNotify(nullptr), S_OK);
  EXPECT_EQ(sink.references, 1u);
  take().Reset();
  EXPECT_EQ(sink.calls, 2);
  callback.Reset();
  ASSERT_EQ(allocator_->Decommit(), S_OK);
}

}  // namespace
