// Class objects of the panel's local server.
#include "panel/class_objects.h"

#include <wrl/client.h>

#include "dshow/ref_counted.h"
#include "panel/instance_enum.h"
#include "panel/queue_object.h"
#include "panel/server_lifetime.h"
#include "panel/window_enum.h"
#include "zelkpanel.h"

namespace {

using CreateFunction = HRESULT (*)(REFIID iid, void** object);

class ClassFactory final : public CRefCounted<IClassFactory, IID_IClassFactory> {
 public:
  explicit ClassFactory(CreateFunction create) : create_(create) {}

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    return create_(iid, object);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock) {
      serverLifetime().lock();
    } else {
      serverLifetime().unlock();
    }
    return S_OK;
  }

 private:
  CreateFunction create_;
};

struct ServedClass {
  const CLSID& clsid;
  CreateFunction create;
};

const ServedClass kServedClasses[] = {
    {CLSID_ZelkgrabQueue, &CZelkgrabQueue::create},
    {CLSID_ZelkgrabEnum, &CZelkgrabEnum::create},
    {CLSID_ZelkgrabWndEnum, &CZelkgrabWndEnum::create},
};

}  // namespace

HRESULT ClassObjects::registerAll() {
  for (size_t i = 0; i < std::size(kServedClasses); ++i) {
    Microsoft::WRL::ComPtr<ClassFactory> factory;
    factory.Attach(new (std::nothrow) ClassFactory(kServedClasses[i].create));
    if (!factory) {
      revoke();
      return E_OUTOFMEMORY;
    }
    HRESULT hr = ::CoRegisterClassObject(kServedClasses[i].clsid, factory.Get(),
                                         CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &cookies_[i]);
    if (FAILED(hr)) {
      cookies_[i] = 0;
      revoke();
      return hr;
    }
  }
  return S_OK;
}

void ClassObjects::revoke() {
  for (DWORD& cookie : cookies_) {
    if (cookie) ::CoRevokeClassObject(cookie);
    cookie = 0;
  }
}
