// The IUnknown of a small helper object with one interface that is neither aggregated nor
// counted as a module object (enumerators, class factories): its own reference count, starting
// at 1 for the creator, and deletion at the last release.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <atomic>

template <class Interface, const IID& kInterfaceId>
class CRefCounted : public Interface {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    if (iid == IID_IUnknown || iid == kInterfaceId) {
      *object = static_cast<Interface*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG remaining = --references_;
    if (remaining == 0) delete this;
    return remaining;
  }

 protected:
  CRefCounted() = default;
  virtual ~CRefCounted() = default;

 private:
  std::atomic<ULONG> references_{1};
};
