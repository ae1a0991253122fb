// The reference clock: the performance counter in 100-ns units, and an advise thread that
// sleeps until the earliest pending advise is due.
#include "dshow/reference_clock.h"

#include <mmsystem.h>

#include <algorithm>
#include <limits>
#include <new>

#include <wrl/client.h>

namespace {

constexpr REFERENCE_TIME kUnitsPerSecond = 10'000'000;
constexpr REFERENCE_TIME kUnitsPerMillisecond = 10'000;
constexpr REFERENCE_TIME kNever = std::numeric_limits<REFERENCE_TIME>::max();
// Waits longer than this are cut short and re-evaluated; it costs nothing.
constexpr DWORD kLongestWaitMs = 60'000;

LONGLONG performanceFrequency() {
  static const LONGLONG frequency = [] {
    LARGE_INTEGER value{};
    ::QueryPerformanceFrequency(&value);
    return value.QuadPart > 0 ? value.QuadPart : 1;
  }();
  return frequency;
}

}  // namespace

CBaseReferenceClock::CBaseReferenceClock(IUnknown* outer, HRESULT* hr)
    : CUnknownImpl<IReferenceClock>(outer) {
  wake_.reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
  if (!wake_ && hr) *hr = HRESULT_FROM_WIN32(::GetLastError());
  // The thread starts with the first advise: started here, it could call GetPrivateTime
  // before a derived clock is constructed.
}

CBaseReferenceClock::~CBaseReferenceClock() { StopAdviseThread(); }

void CBaseReferenceClock::StopAdviseThread() {
  {
    CAutoLock lock(&lock_);
    stop_ = true;
    if (!thread_) return;
  }
  ::SetEvent(wake_.get());
  ::WaitForSingleObject(thread_.get(), INFINITE);
  thread_.reset();
}

HRESULT CBaseReferenceClock::startAdviseThread() {
  if (thread_) return S_OK;
  if (!wake_ || stop_) return E_UNEXPECTED;
  thread_.reset(::CreateThread(nullptr, 0, &CBaseReferenceClock::threadProc, this, CREATE_SUSPENDED,
                               nullptr));
  if (!thread_) return HRESULT_FROM_WIN32(::GetLastError());
  // Advises pace frames: the thread must not wait behind ordinary work.
  ::SetThreadPriority(thread_.get(), THREAD_PRIORITY_TIME_CRITICAL);
  ::ResumeThread(thread_.get());
  return S_OK;
}

HRESULT CBaseReferenceClock::NonDelegatingQueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  if (iid == IID_IReferenceClock) {
    return GetInterface(static_cast<IReferenceClock*>(this), object);
  }
  return CUnknown::NonDelegatingQueryInterface(iid, object);
}

REFERENCE_TIME CBaseReferenceClock::GetPrivateTime() {
  LARGE_INTEGER counter{};
  ::QueryPerformanceCounter(&counter);
  LONGLONG frequency = performanceFrequency();
  // Split so that counter x 10^7 cannot overflow.
  return counter.QuadPart / frequency * kUnitsPerSecond +
         counter.QuadPart % frequency * kUnitsPerSecond / frequency;
}

REFERENCE_TIME CBaseReferenceClock::currentTime() {
  lastTime_ = std::max(lastTime_, GetPrivateTime());
  return lastTime_;
}

HRESULT CBaseReferenceClock::GetTime(REFERENCE_TIME* time) {
  if (!time) return E_POINTER;
  CAutoLock lock(&lock_);
  *time = currentTime();
  HRESULT hr = *time == lastReported_ ? S_FALSE : S_OK;
  lastReported_ = *time;
  return hr;
}

HRESULT CBaseReferenceClock::AdviseTime(REFERENCE_TIME base, REFERENCE_TIME offset, HEVENT event,
                                        DWORD_PTR* cookie) {
  if (!cookie) return E_POINTER;
  *cookie = 0;
  REFERENCE_TIME due = 0;
  // A negative offset is fine (a stream time before its start), a time before zero is not.
  if (!event || __builtin_add_overflow(base, offset, &due) || due <= 0) return E_INVALIDARG;
  return addAdvise(due, 0, reinterpret_cast<HANDLE>(event), cookie);
}

HRESULT CBaseReferenceClock::AdvisePeriodic(REFERENCE_TIME start, REFERENCE_TIME period,
                                            HSEMAPHORE semaphore, DWORD_PTR* cookie) {
  if (!cookie) return E_POINTER;
  *cookie = 0;
  if (!semaphore || start < 0 || period <= 0) return E_INVALIDARG;
  return addAdvise(start, period, reinterpret_cast<HANDLE>(semaphore), cookie);
}

HRESULT CBaseReferenceClock::addAdvise(REFERENCE_TIME due, REFERENCE_TIME period, HANDLE handle,
                                       DWORD_PTR* cookie) {
  {
    CAutoLock lock(&lock_);
    HRESULT hr = startAdviseThread();
    if (FAILED(hr)) return hr;
    try {
      advises_.push_back(Advise{nextCookie_, due, period, handle});
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
    *cookie = nextCookie_++;
  }
  // The new advise may be the earliest: let the thread recompute its wait.
  ::SetEvent(wake_.get());
  return S_OK;
}

HRESULT CBaseReferenceClock::Unadvise(DWORD_PTR cookie) {
  CAutoLock lock(&lock_);
  auto found = std::find_if(advises_.begin(), advises_.end(),
                            [cookie](const Advise& advise) { return advise.cookie == cookie; });
  if (found == advises_.end()) return S_FALSE;
  advises_.erase(found);
  return S_OK;
}

DWORD WINAPI CBaseReferenceClock::threadProc(void* self) {
  // Millisecond waits need a millisecond timer; the default tick is far coarser.
  ::timeBeginPeriod(1);
  static_cast<CBaseReferenceClock*>(self)->threadLoop();
  ::timeEndPeriod(1);
  return 0;
}

void CBaseReferenceClock::threadLoop() {
  for (;;) {
    DWORD timeout;
    {
      CAutoLock lock(&lock_);
      if (stop_) return;
      timeout = fireDue();
    }
    ::WaitForSingleObject(wake_.get(), timeout);
  }
}

DWORD CBaseReferenceClock::fireDue() {
  REFERENCE_TIME now = currentTime();
  REFERENCE_TIME earliest = kNever;
  for (auto advise = advises_.begin(); advise != advises_.end();) {
    if (advise->due <= now) {
      if (advise->period == 0) {
        ::SetEvent(advise->handle);
        advise = advises_.erase(advise);
        continue;
      }
      ::ReleaseSemaphore(advise->handle, 1, nullptr);
      REFERENCE_TIME missed = (now - advise->due) / advise->period + 1;
      if (advise->period > (kNever - advise->due) / missed) {
        // The next one would lie beyond the end of time.
        advise = advises_.erase(advise);
        continue;
      }
      advise->due += missed * advise->period;
    }
    earliest = std::min(earliest, advise->due);
    ++advise;
  }
  if (earliest == kNever) return INFINITE;
  // Rounded up, so the thread wakes at or after the time and never spins on a zero wait.
  REFERENCE_TIME wait = (earliest - now + kUnitsPerMillisecond - 1) / kUnitsPerMillisecond;
  return static_cast<DWORD>(std::clamp<REFERENCE_TIME>(wait, 1, kLongestWaitMs));
}

HRESULT UseBaseReferenceClock(IUnknown* graph) {
  if (!graph) return E_POINTER;
  Microsoft::WRL::ComPtr<IMediaFilter> timing;
  HRESULT hr =
      graph->QueryInterface(IID_IMediaFilter, reinterpret_cast<void**>(timing.GetAddressOf()));
  if (FAILED(hr)) return hr;
  hr = S_OK;
  Microsoft::WRL::ComPtr<CBaseReferenceClock> clock =
      new (std::nothrow) CBaseReferenceClock(nullptr, &hr);
  if (!clock) return E_OUTOFMEMORY;
  if (FAILED(hr)) return hr;
  return timing->SetSyncSource(clock.Get());
}
