// The allocator state machine (properties, commit, the free list and its waiters) and the
// memory allocator's block.
#include "dshow/allocator.h"

#include <vfwmsgs.h>

#include <algorithm>
#include <cstdint>
#include <new>

using Microsoft::WRL::ComPtr;

CBaseAllocator::CBaseAllocator(IUnknown* outer)
    : CUnknownImpl(outer), freeSignal_(::CreateSemaphoreW(nullptr, 0, MAXLONG, nullptr)) {}

// The samples go with `samples_`; a derived allocator has already released their memory.
CBaseAllocator::~CBaseAllocator() = default;

HRESULT CBaseAllocator::NonDelegatingQueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  if (iid == IID_IMemAllocator) return GetInterface(static_cast<IMemAllocator*>(this), object);
  if (iid == IID_IMemAllocatorCallbackTemp) {
    return GetInterface(static_cast<IMemAllocatorCallbackTemp*>(this), object);
  }
  return CUnknown::NonDelegatingQueryInterface(iid, object);
}

HRESULT CBaseAllocator::SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) {
  if (!request || !actual) return E_POINTER;
  CAutoLock lock(&lock_);
  if (committed_) return VFW_E_ALREADY_COMMITTED;
  // Also during a pending decommit: the samples out still have the old layout.
  if (OutstandingCount() > 0) return VFW_E_BUFFERS_OUTSTANDING;
  const LONG align = request->cbAlign;
  if (align <= 0 || (align & (align - 1)) != 0) return VFW_E_BADALIGN;
  if (request->cBuffers < 0 || request->cbBuffer < 0 || request->cbPrefix < 0) {
    return E_INVALIDARG;
  }
  properties_ = *request;
  propertiesSet_ = true;
  *actual = properties_;
  return S_OK;
}

HRESULT CBaseAllocator::GetProperties(ALLOCATOR_PROPERTIES* properties) {
  if (!properties) return E_POINTER;
  CAutoLock lock(&lock_);
  *properties = properties_;
  return S_OK;
}

HRESULT CBaseAllocator::Commit() {
  CAutoLock lock(&lock_);
  if (committed_) return S_OK;
  if (!propertiesSet_ || properties_.cBuffers <= 0 || properties_.cbBuffer <= 0) {
    return VFW_E_SIZENOTSET;
  }
  if (decommitPending_) {
    // Samples are still out, so the properties cannot have changed: keep the buffers.
    decommitPending_ = false;
    committed_ = true;
    return S_OK;
  }
  // Decommit freed everything once no sample was out, so new properties always take effect.
  if (samples_.empty()) {
    HRESULT hr = Alloc();
    if (FAILED(hr)) {
      Free();
      return hr;
    }
  }
  committed_ = true;
  return S_OK;
}

HRESULT CBaseAllocator::Decommit() {
  CAutoLock lock(&lock_);
  if (!committed_) return S_OK;
  committed_ = false;
  wakeAllWaiters();
  if (OutstandingCount() == 0) {
    Free();
  } else {
    decommitPending_ = true;
  }
  return S_OK;
}

HRESULT CBaseAllocator::GetBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* end,
                                  DWORD flags) {
  if (!sample) return E_POINTER;
  *sample = nullptr;
  if (!freeSignal_) return E_OUTOFMEMORY;
  CMediaSample* taken = nullptr;
  for (;;) {
    {
      CAutoLock lock(&lock_);
      if (!committed_) return VFW_E_NOT_COMMITTED;
      if (!free_.empty()) {
        taken = free_.back();
        free_.pop_back();
        break;
      }
      if (flags & AM_GBF_NOWAIT) return VFW_E_TIMEOUT;
      ++waiters_;
    }
    // Woken by a release (another taker may still beat us to it) or by Decommit; either way
    // the loop looks again.
    if (::WaitForSingleObject(freeSignal_.get(), INFINITE) != WAIT_OBJECT_0) {
      return HRESULT_FROM_WIN32(::GetLastError());
    }
  }
  // Balanced in ReleaseBuffer: the allocator, and the memory, outlive every sample out.
  AddRef();
  taken->AddRef();
  // A sample comes back with its properties cleared, so only the times are left to set.
  if (start) taken->SetTime(start, end);
  *sample = taken;
  return S_OK;
}

HRESULT CBaseAllocator::ReleaseBuffer(IMediaSample* sample) {
  if (!sample) return E_POINTER;
  CMediaSample* own = nullptr;
  {
    CAutoLock lock(&lock_);
    own = findSample(sample);
    if (!own) return E_INVALIDARG;
    // Already free: a reference counting error of some holder; do not list it twice.
    if (std::find(free_.begin(), free_.end(), own) != free_.end()) return E_UNEXPECTED;
  }
  // Outside the lock, as the media type may hold a pUnk whose release calls out.
  own->ClearProperties();

  ComPtr<IMemAllocatorNotifyCallbackTemp> notify;
  {
    CAutoLock lock(&lock_);
    // Cannot throw: AddSample made room for every sample.
    free_.push_back(own);
    if (waiters_ > 0) {
      --waiters_;
      ::ReleaseSemaphore(freeSignal_.get(), 1, nullptr);
    }
    if (decommitPending_ && OutstandingCount() == 0) {
      decommitPending_ = false;
      Free();
    }
    notify = notify_;
  }
  if (notify) notify->NotifyRelease();
  // The reference GetBuffer took; this may be the allocator's last, so nothing follows it.
  Release();
  return S_OK;
}

HRESULT CBaseAllocator::SetNotify(IMemAllocatorNotifyCallbackTemp* notify) {
  CAutoLock lock(&lock_);
  notify_ = notify;
  return S_OK;
}

HRESULT CBaseAllocator::GetFreeCount(LONG* freeCount) {
  if (!freeCount) return E_POINTER;
  CAutoLock lock(&lock_);
  *freeCount = static_cast<LONG>(free_.size());
  return S_OK;
}

HRESULT CBaseAllocator::AddSample(std::unique_ptr<CMediaSample> sample) {
  if (!sample) return E_OUTOFMEMORY;
  try {
    // Room in the free list for every sample, so ReleaseBuffer never allocates.
    free_.reserve(samples_.size() + 1);
    samples_.push_back(std::move(sample));
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  free_.push_back(samples_.back().get());
  return S_OK;
}

void CBaseAllocator::DeleteSamples() {
  free_.clear();
  samples_.clear();
}

CMediaSample* CBaseAllocator::findSample(IMediaSample* sample) const {
  for (const auto& own : samples_) {
    if (static_cast<IMediaSample*>(own.get()) == sample) return own.get();
  }
  return nullptr;
}

void CBaseAllocator::wakeAllWaiters() {
  if (waiters_ == 0) return;
  ::ReleaseSemaphore(freeSignal_.get(), waiters_, nullptr);
  waiters_ = 0;
}

CMemAllocator::CMemAllocator(IUnknown* outer) : CBaseAllocator(outer) {}

CMemAllocator::~CMemAllocator() { Free(); }

HRESULT CMemAllocator::Alloc() {
  const size_t count = static_cast<size_t>(properties_.cBuffers);
  const size_t size = static_cast<size_t>(properties_.cbBuffer);
  const size_t prefix = static_cast<size_t>(properties_.cbPrefix);
  const size_t align = static_cast<size_t>(properties_.cbAlign);
  auto roundUp = [align](size_t value) { return (value + align - 1) & ~(align - 1); };

  // Buffer i starts at base + first + i * stride; both terms are multiples of the alignment
  // and each prefix fits in the gap after the previous buffer.
  const size_t first = roundUp(prefix);
  const size_t stride = roundUp(prefix + size);
  // VirtualAlloc's base is aligned to the allocation granularity; beyond it, align by hand.
  SYSTEM_INFO system{};
  ::GetSystemInfo(&system);
  const size_t slack = align > system.dwAllocationGranularity ? align : 0;
  size_t total = 0;
  if (__builtin_mul_overflow(count - 1, stride, &total) ||
      __builtin_add_overflow(total, first + size + slack, &total)) {
    return E_OUTOFMEMORY;
  }

  block_.reset(::VirtualAlloc(nullptr, total, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  if (!block_) return E_OUTOFMEMORY;
  BYTE* base = reinterpret_cast<BYTE*>(roundUp(reinterpret_cast<uintptr_t>(block_.get())));
  for (size_t i = 0; i < count; ++i) {
    BYTE* buffer = base + first + i * stride;
    HRESULT hr = AddSample(std::unique_ptr<CMediaSample>(
        new (std::nothrow) CMediaSample(this, buffer, properties_.cbBuffer)));
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

void CMemAllocator::Free() {
  DeleteSamples();
  block_.reset();
}

HRESULT CreateMemAllocator(IMemAllocator** allocator) {
  if (!allocator) return E_POINTER;
  *allocator = nullptr;
  auto* object = new (std::nothrow) CMemAllocator(nullptr);
  if (!object) return E_OUTOFMEMORY;
  // Held through its own unknown while we ask, so that a failure deletes it.
  ComPtr<IUnknown> owner(object->GetNonDelegatingUnknown());
  return owner->QueryInterface(IID_IMemAllocator, reinterpret_cast<void**>(allocator));
}
