// Running-object-table registrations and the filter entry's forwarding object.
#include "config/running_objects.h"

#include <cstdint>
#include <cwchar>
#include <new>

#include <wrl/client.h>

using Microsoft::WRL::ComPtr;

HRESULT registerRunningObject(IUnknown* object, const wchar_t* format, DWORD* cookie,
                              const void* named) {
  if (!object || !format || !cookie) return E_POINTER;
  *cookie = 0;
  ComPtr<IRunningObjectTable> table;
  if (FAILED(::GetRunningObjectTable(0, &table)) || !table) return E_FAIL;
  if (!named) named = object;
  wchar_t name[128];
  std::swprintf(name, 128, format, static_cast<unsigned>(reinterpret_cast<uintptr_t>(named)),
                static_cast<unsigned>(::GetCurrentProcessId()));
  ComPtr<IMoniker> moniker;
  HRESULT hr = ::CreateItemMoniker(L"!", name, &moniker);
  if (FAILED(hr)) return hr;
  return table->Register(ROTFLAGS_REGISTRATIONKEEPSALIVE, object, moniker.Get(), cookie);
}

void revokeRunningObject(DWORD cookie) {
  if (!cookie) return;
  ComPtr<IRunningObjectTable> table;
  if (SUCCEEDED(::GetRunningObjectTable(0, &table)) && table) table->Revoke(cookie);
}

HRESULT RunningObjectForwarder::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  if (iid == IID_IUnknown) {
    *object = static_cast<IUnknown*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  if (!target_) return E_NOINTERFACE;
  CAutoLock lock(&lock_);
  IUnknown* target = target_;
  return target ? target->QueryInterface(iid, object) : E_NOINTERFACE;
}

void RunningObjectForwarder::Detach() {
  target_ = nullptr;
  // Waits for a call that took the target before it was cleared.
  CAutoLock lock(&lock_);
}

ULONG RunningObjectForwarder::Release() {
  const ULONG remaining = --references_;
  if (remaining == 0) delete this;
  return remaining;
}

HRESULT ForwardedRunningObject::list(IUnknown* target, const wchar_t* format) {
  clear();
  if (!target || !format) return E_POINTER;
  forwarder_ = new (std::nothrow) RunningObjectForwarder(target);
  if (!forwarder_) return E_OUTOFMEMORY;
  const HRESULT hr = registerRunningObject(forwarder_, format, &cookie_, target);
  if (FAILED(hr)) clear();
  return hr;
}

void ForwardedRunningObject::clear() {
  // Revoked first, so no new client finds the entry while it is being cut off.
  revokeRunningObject(cookie_);
  cookie_ = 0;
  if (forwarder_) {
    forwarder_->Detach();
    forwarder_->Release();
    forwarder_ = nullptr;
  }
}
