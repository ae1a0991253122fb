// Entries in the running object table, by which other processes find a capture filter
// ("Zelkgrab %08x pid %08x") and, when asked, the graph it joined ("FilterGraph %08x pid %08x"):
// the object's address and the process id, under an item moniker.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <atomic>

// Registers `object` keep-alive under the name `format` gives with its address and this
// process's id. E_POINTER for a missing argument, E_FAIL without a running object table.
HRESULT registerRunningObject(IUnknown* object, const wchar_t* format, DWORD* cookie);
// Revokes a registration; failures are of no consequence and ignored.
void revokeRunningObject(DWORD cookie);

// What the filter's entry names: IUnknown is its own, every other interface is asked of the
// target (the pin). Outlives the pin when a client still holds it: `Detach` then cuts it off.
class RunningObjectForwarder final : public IUnknown {
 public:
  explicit RunningObjectForwarder(IUnknown* target) : target_(target) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override;

  void Detach() { target_ = nullptr; }

 private:
  ~RunningObjectForwarder() = default;

  std::atomic<IUnknown*> target_;
  std::atomic<ULONG> references_{1};
};
