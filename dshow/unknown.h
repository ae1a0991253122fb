// The IUnknown of every object in a module. `CUnknown` holds the reference count and the
// owner: its own non-delegating unknown, or the outer object when aggregated. Derived classes
// answer `NonDelegatingQueryInterface`; `CUnknownImpl<Interfaces...>` (and `CUnknownWith` for
// classes that extend another COM class) gives them the delegating IUnknown methods of all
// their interfaces at once. Each live object counts toward the module's `DllCanUnloadNow`.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <atomic>

class CUnknown {
 public:
  // `outer` is the controlling unknown when the object is aggregated, else null.
  explicit CUnknown(IUnknown* outer);
  virtual ~CUnknown();
  CUnknown(const CUnknown&) = delete;
  CUnknown& operator=(const CUnknown&) = delete;

  // Where the delegating IUnknown methods go: the outer object, or this one.
  IUnknown* GetOwner() const { return owner_; }
  // The non-delegating unknown, handed to an aggregating object as the inner object.
  IUnknown* GetNonDelegatingUnknown() { return &inner_; }

  virtual HRESULT NonDelegatingQueryInterface(REFIID iid, void** object);
  virtual ULONG NonDelegatingAddRef();
  virtual ULONG NonDelegatingRelease();

 protected:
  // Hands out `pointer` with a reference added through its own (delegating) AddRef.
  template <class Interface>
  static HRESULT GetInterface(Interface* pointer, void** object) {
    if (!object) return E_POINTER;
    *object = pointer;
    pointer->AddRef();
    return S_OK;
  }

 private:
  class Inner final : public IUnknown {
   public:
    explicit Inner(CUnknown* self) : self_(self) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
      return self_->NonDelegatingQueryInterface(iid, object);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return self_->NonDelegatingAddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return self_->NonDelegatingRelease(); }

   private:
    CUnknown* self_;
  };

  Inner inner_{this};
  IUnknown* owner_;
  std::atomic<ULONG> references_{0};
};

// Adds `Interfaces` to `Base` (CUnknown or a class derived from it) and implements their
// IUnknown methods by delegating to the owner, so a class only writes its
// NonDelegatingQueryInterface.
template <class Base, class... Interfaces>
class CUnknownWith : public Base, public Interfaces... {
 public:
  using Base::Base;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    return this->GetOwner()->QueryInterface(iid, object);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return this->GetOwner()->AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return this->GetOwner()->Release(); }
};

template <class... Interfaces>
class CUnknownImpl : public CUnknownWith<CUnknown, Interfaces...> {
 public:
  using CUnknownWith<CUnknown, Interfaces...>::CUnknownWith;
};

// The module's count of live objects and server locks, for DllCanUnloadNow.
namespace module_lock {
void addObject();
void removeObject();
void lockServer(bool lock);
bool inUse();
}  // namespace module_lock
