// Entries in the running object table, by which other processes find a capture filter
// ("Zelkgrab %08x pid %08x") and, when asked, the graph it joined ("FilterGraph %08x pid %08x"):
// an address and the process id, under an item moniker.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <atomic>

#include "dshow/critsec.h"

// Registers `object` keep-alive under the name `format` gives with an address (`named`, or
// else the object's own) and this process's id. E_POINTER for a missing argument, E_FAIL
// without a running object table.
HRESULT registerRunningObject(IUnknown* object, const wchar_t* format, DWORD* cookie,
                              const void* named = nullptr);
// Revokes a registration; failures are of no consequence and ignored.
void revokeRunningObject(DWORD cookie);

// What an entry names when the table must not hold the object itself: IUnknown is its own,
// every other interface is asked of the target, which it does not reference. Outlives the
// target when a client still holds it: `Detach` then cuts it off. QueryInterface runs on the
// threads of other processes' calls, Detach on the target owner's.
class RunningObjectForwarder final : public IUnknown {
 public:
  explicit RunningObjectForwarder(IUnknown* target) : target_(target) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override;

  // Returns once no call is inside the target's QueryInterface, so the target may go right
  // after. It waits for such a call: never call it holding a lock that the target's
  // QueryInterface takes.
  void Detach();

 private:
  ~RunningObjectForwarder() = default;

  // Held across the forwarded call.
  CCritSec lock_;
  // Read once more under the lock: calls that start after Detach cleared it never wait for
  // the lock, so a busy client cannot hold Detach up.
  std::atomic<IUnknown*> target_;
  std::atomic<ULONG> references_{1};
};

// An entry that must not keep its object alive (the graph a filter joined, which owns the
// filter): a forwarder to `target` is listed in its place, named with the target's address.
// `clear` revokes and detaches it, as does destruction; so it waits for a call into the
// target in progress and must not run under a lock the target's QueryInterface takes. Used
// by one thread at a time.
class ForwardedRunningObject {
 public:
  ForwardedRunningObject() = default;
  ~ForwardedRunningObject() { clear(); }
  ForwardedRunningObject(const ForwardedRunningObject&) = delete;
  ForwardedRunningObject& operator=(const ForwardedRunningObject&) = delete;

  // Replaces any earlier entry. E_OUTOFMEMORY, or registerRunningObject's failures.
  HRESULT list(IUnknown* target, const wchar_t* format);
  void clear();

 private:
  RunningObjectForwarder* forwarder_ = nullptr;
  DWORD cookie_ = 0;
};
