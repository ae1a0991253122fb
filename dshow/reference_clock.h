// `CBaseReferenceClock` is a reference clock for a graph: time in 100-ns units that never goes
// backwards, read from `GetPrivateTime` (the performance counter unless a derived clock says
// otherwise), and advises that set an event once or release a semaphore periodically. Any thread
// may call the IReferenceClock methods; one advise thread of the clock, started by the first
// advise and ended by the destructor, signals the advises and calls GetPrivateTime too.
#pragma once

#include <windows.h>

#include <strmif.h>

#include <vector>

#include "common/win_raii.h"
#include "dshow/critsec.h"
#include "dshow/unknown.h"

class CBaseReferenceClock : public CUnknownImpl<IReferenceClock> {
 public:
  // `*hr` is set on failure only.
  CBaseReferenceClock(IUnknown* outer, HRESULT* hr);
  ~CBaseReferenceClock() override;

  HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override;

  // S_FALSE when the time is the same as the one the previous call returned.
  HRESULT STDMETHODCALLTYPE GetTime(REFERENCE_TIME* time) override;
  // Sets `event` once the time reaches base + offset (at once if it already has).
  HRESULT STDMETHODCALLTYPE AdviseTime(REFERENCE_TIME base, REFERENCE_TIME offset, HEVENT event,
                                       DWORD_PTR* cookie) override;
  // Releases `semaphore` once at `start` and again every `period`; periods that passed while
  // the thread could not run are skipped, not released in a burst.
  HRESULT STDMETHODCALLTYPE AdvisePeriodic(REFERENCE_TIME start, REFERENCE_TIME period,
                                           HSEMAPHORE semaphore, DWORD_PTR* cookie) override;
  // S_FALSE for a cookie that is not (or no longer) pending.
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD_PTR cookie) override;

 protected:
  // The clock's source in 100-ns units; it may stand still or step back, GetTime hides that.
  virtual REFERENCE_TIME GetPrivateTime();
  // Ends the advise thread. A derived class whose GetPrivateTime reads its own members calls
  // this first in its destructor, as the thread may be reading the time meanwhile.
  void StopAdviseThread();

 private:
  struct Advise {
    DWORD_PTR cookie;
    REFERENCE_TIME due;
    REFERENCE_TIME period;  // 0 for a single advise
    HANDLE handle;          // the event or semaphore, not owned
  };

  // The monotonic time; called under `lock_`.
  REFERENCE_TIME currentTime();
  // Under `lock_`.
  HRESULT startAdviseThread();
  HRESULT addAdvise(REFERENCE_TIME due, REFERENCE_TIME period, HANDLE handle, DWORD_PTR* cookie);
  static DWORD WINAPI threadProc(void* self);
  void threadLoop();
  // Signals what is due and returns how long the thread may sleep.
  DWORD fireDue();

  CCritSec lock_;
  REFERENCE_TIME lastTime_ = 0;      // latest time read by anyone
  REFERENCE_TIME lastReported_ = 0;  // latest time GetTime returned
  std::vector<Advise> advises_;
  DWORD_PTR nextCookie_ = 1;
  bool stop_ = false;
  UniqueHandle wake_;
  UniqueHandle thread_;  // set under `lock_`
};

// Makes a new clock of this kind the reference clock of `graph`, a filter graph manager, and of
// the filters in it now: call it once every filter is in the graph. Our programs' graphs use it
// in place of the graph's default clock: Wine's can hang the
// graph's final release, since its advise thread looks for the stop request only after it has
// slept, and a release that lands while the thread is between two sleeps waits forever.
HRESULT UseBaseReferenceClock(IUnknown* graph);
