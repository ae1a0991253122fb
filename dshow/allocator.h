// Sample allocators. `CBaseAllocator` is the IMemAllocator(CallbackTemp) state machine that
// pins negotiate and stream through: properties, commit and decommit, a free list that
// GetBuffer takes from (blocking until a sample comes back) and ReleaseBuffer refills.
// `CMemAllocator` adds the memory: one block carved into aligned buffers. Every method may be
// called on any thread: the pins' negotiation on the application's thread, GetBuffer on the
// streaming thread, ReleaseBuffer on whichever thread drops the last reference to a sample;
// `lock_` guards all state, and no one waits or calls out while holding it.
//
// A derived allocator provides the memory of its samples through two hooks, both called with
// `lock_` held and never while a sample is out:
//   - `Alloc()` (from Commit, whenever nothing is allocated) makes `properties_.cBuffers`
//     samples of `properties_.cbBuffer` bytes, each handed over with `AddSample`. On failure
//     it returns the error, and Commit calls `Free()` to undo what was done.
//   - `Free()` (from Decommit when no sample is out, else from the last ReleaseBuffer; from a
//     failed Commit) releases the memory and calls `DeleteSamples()`. It must be safe to call
//     when nothing is allocated, and the derived destructor calls it too, as the base
//     destructor cannot reach the override.
// Because Decommit frees, properties set between a Decommit and the next Commit always take
// effect; a Commit during a pending decommit keeps the samples that are out.
// It may override SetProperties to add its own checks (or adjust the request) and then call
// the base, and may create samples of a class derived from CMediaSample (re-pointed with
// `CMediaSample::SetPointer` when their memory is replaced).
#pragma once

#include <windows.h>
#include <strmif.h>
#include <wrl/client.h>

#include <memory>
#include <vector>

#include "common/unique_resource.h"
#include "common/win_raii.h"
#include "dshow/critsec.h"
#include "dshow/media_sample.h"
#include "dshow/unknown.h"

class CBaseAllocator : public CUnknownImpl<IMemAllocatorCallbackTemp> {
 public:
  explicit CBaseAllocator(IUnknown* outer);
  ~CBaseAllocator() override;

  HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override;

  // IMemAllocator
  HRESULT STDMETHODCALLTYPE SetProperties(ALLOCATOR_PROPERTIES* request,
                                          ALLOCATOR_PROPERTIES* actual) override;
  HRESULT STDMETHODCALLTYPE GetProperties(ALLOCATOR_PROPERTIES* properties) override;
  HRESULT STDMETHODCALLTYPE Commit() override;
  HRESULT STDMETHODCALLTYPE Decommit() override;
  HRESULT STDMETHODCALLTYPE GetBuffer(IMediaSample** sample, REFERENCE_TIME* start,
                                      REFERENCE_TIME* end, DWORD flags) override;
  // Called by a sample on its last Release, not by the holders of samples.
  HRESULT STDMETHODCALLTYPE ReleaseBuffer(IMediaSample* sample) override;

  // IMemAllocatorCallbackTemp. The callback (null to remove it) is called after each sample
  // is back on the free list, on the releasing thread and without the lock.
  HRESULT STDMETHODCALLTYPE SetNotify(IMemAllocatorNotifyCallbackTemp* notify) override;
  HRESULT STDMETHODCALLTYPE GetFreeCount(LONG* freeCount) override;

 protected:
  virtual HRESULT Alloc() = 0;
  virtual void Free() = 0;

  // For Alloc: the allocator takes the sample and puts it on the free list; E_OUTOFMEMORY
  // (the sample deleted) when the lists cannot grow.
  HRESULT AddSample(std::unique_ptr<CMediaSample> sample);
  // For Free: deletes every sample (none may be out).
  void DeleteSamples();
  // Samples handed out and not yet back.
  size_t OutstandingCount() const { return samples_.size() - free_.size(); }

  CCritSec lock_;
  ALLOCATOR_PROPERTIES properties_{};
  // SetProperties succeeded at least once.
  bool propertiesSet_ = false;
  bool committed_ = false;
  // Decommitted with samples out: Free() runs when the last one comes back.
  bool decommitPending_ = false;
  std::vector<std::unique_ptr<CMediaSample>> samples_;
  std::vector<CMediaSample*> free_;

 private:
  CMediaSample* findSample(IMediaSample* sample) const;
  // Under lock_: lets every blocked GetBuffer look again.
  void wakeAllWaiters();

  // GetBuffer callers wait on this semaphore; `waiters_` says how many have not yet been
  // woken, so each release wakes one and a decommit wakes all.
  UniqueHandle freeSignal_;
  LONG waiters_ = 0;
  Microsoft::WRL::ComPtr<IMemAllocatorNotifyCallbackTemp> notify_;
};

// Samples in one committed block of memory: each buffer is preceded by `cbPrefix` bytes the
// caller may use, and the pointer a sample gives (after the prefix) is a multiple of
// `cbAlign`.
class CMemAllocator : public CBaseAllocator {
 public:
  explicit CMemAllocator(IUnknown* outer);
  ~CMemAllocator() override;

 protected:
  HRESULT Alloc() override;
  void Free() override;

 private:
  struct BlockTraits {
    using Handle = void*;
    static void* empty() { return nullptr; }
    static void close(void* block) { ::VirtualFree(block, 0, MEM_RELEASE); }
  };

  UniqueResource<BlockTraits> block_;
};

// A new memory allocator (not aggregated) with one reference, for an output pin that has to
// offer its own.
HRESULT CreateMemAllocator(IMemAllocator** allocator);
