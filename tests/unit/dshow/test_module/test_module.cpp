// The test server's one class: a counter, aggregatable, on the module's CUnknown.
#include "test_module.h"

#include <windows.h>

#include "dshow/class_factory.h"

namespace {

class TestCounter final : public CUnknownImpl<ITestCounter> {
 public:
  using CUnknownImpl::CUnknownImpl;

  HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override {
    if (iid == IID_ITestCounter) return GetInterface(static_cast<ITestCounter*>(this), object);
    return CUnknown::NonDelegatingQueryInterface(iid, object);
  }

  HRESULT STDMETHODCALLTYPE Increment() override {
    ++count_;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE GetCount(LONG* count) override {
    if (!count) return E_POINTER;
    *count = count_;
    return S_OK;
  }

  static CUnknown* create(IUnknown* outer, HRESULT* hr) {
    *hr = S_OK;
    return new (std::nothrow) TestCounter(outer);
  }

 private:
  LONG count_ = 0;
};

const CFactoryTemplate kTemplates[] = {
    {L"Zelk test counter", &CLSID_TestCounter, &TestCounter::create},
};

}  // namespace

std::span<const CFactoryTemplate> moduleFactoryTemplates() { return kTemplates; }

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() { return registerModuleServers(); }
extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() { return unregisterModuleServers(); }
