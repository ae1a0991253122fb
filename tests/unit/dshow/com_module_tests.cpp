// The module plumbing in a real DLL: class objects, aggregation, the unload rule, the embedded
// type library and class registration, all through the DLL's exported entry points.
#include <windows.h>
#include <gtest/gtest.h>
#include <oleauto.h>
#include <wrl/client.h>

#include "common/com_registration.h"
#include "common/module_proc.h"
#include "common/win_raii.h"
#include "test_module.h"

using Microsoft::WRL::ComPtr;

namespace {

using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
using PlainEntryFn = HRESULT(STDAPICALLTYPE*)();

std::wstring testModulePath() {
  std::wstring path = modulePath(nullptr);
  return path.substr(0, path.find_last_of(L"\\/") + 1) + L"zelk_test_module.dll";
}

// An outer object that only counts the references its inner object forwards to it.
class CountingOuter final : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (iid == IID_IUnknown) {
      *object = this;
      AddRef();
      return S_OK;
    }
    // Everything else the aggregate offers comes from the inner object.
    return inner ? inner->QueryInterface(iid, object) : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }

  ULONG references = 1;
  IUnknown* inner = nullptr;
};

class ComModuleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(apartment_.result()));
    module_.reset(::LoadLibraryW(testModulePath().c_str()));
    ASSERT_TRUE(module_) << "cannot load the test module, error " << ::GetLastError();
    getClassObject_ = moduleProc<GetClassObjectFn>(module_.get(), "DllGetClassObject");
    canUnloadNow_ = moduleProc<PlainEntryFn>(module_.get(), "DllCanUnloadNow");
    ASSERT_NE(getClassObject_, nullptr);
    ASSERT_NE(canUnloadNow_, nullptr);
  }

  ComPtr<IClassFactory> factory() {
    ComPtr<IClassFactory> factory;
    EXPECT_EQ(getClassObject_(CLSID_TestCounter, IID_PPV_ARGS(&factory)), S_OK);
    return factory;
  }

  ComApartment apartment_{COINIT_APARTMENTTHREADED};
  UniqueModule module_;
  GetClassObjectFn getClassObject_ = nullptr;
  PlainEntryFn canUnloadNow_ = nullptr;
};

TEST_F(ComModuleTest, CreatesObjectsAndAnswersUnloadByTheirLifetime) {
  ComPtr<IClassFactory> classFactory = factory();
  ASSERT_TRUE(classFactory);
  // The class object alone does not keep the module.
  EXPECT_EQ(canUnloadNow_(), S_OK);

  ComPtr<ITestCounter> counter;
  ASSERT_EQ(classFactory->CreateInstance(nullptr, IID_PPV_ARGS(&counter)), S_OK);
  EXPECT_EQ(canUnloadNow_(), S_FALSE);

  ASSERT_EQ(counter->Increment(), S_OK);
  LONG count = 0;
  ASSERT_EQ(counter->GetCount(&count), S_OK);
  EXPECT_EQ(count, 1);

  ComPtr<IUnknown> identity;
  ASSERT_EQ(counter.As(&identity), S_OK);
  ComPtr<IUnknown> identityAgain;
  ASSERT_EQ(counter->QueryInterface(IID_PPV_ARGS(&identityAgain)), S_OK);
  EXPECT_EQ(identity.Get(), identityAgain.Get());
  ComPtr<IDispatch> notOffered;
  EXPECT_EQ(counter.As(&notOffered), E_NOINTERFACE);
  EXPECT_EQ(notOffered.Get(), nullptr);

  identity.Reset();
  identityAgain.Reset();
  EXPECT_EQ(canUnloadNow_(), S_FALSE);
  counter.Reset();
  EXPECT_EQ(canUnloadNow_(), S_OK);
}

TEST_F(ComModuleTest, LockServerKeepsTheModule) {
  ComPtr<IClassFactory> classFactory = factory();
  ASSERT_EQ(classFactory->LockServer(TRUE), S_OK);
  EXPECT_EQ(canUnloadNow_(), S_FALSE);
  ASSERT_EQ(classFactory->LockServer(FALSE), S_OK);
  EXPECT_EQ(canUnloadNow_(), S_OK);
}

TEST_F(ComModuleTest, UnknownClassesAndBadArgumentsAreRefused) {
  ComPtr<IClassFactory> classFactory;
  EXPECT_EQ(getClassObject_(IID_ITestCounter, IID_PPV_ARGS(&classFactory)),
            CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(getClassObject_(CLSID_TestCounter, IID_IClassFactory, nullptr), E_POINTER);
  classFactory = factory();
  EXPECT_EQ(classFactory->CreateInstance(nullptr, IID_ITestCounter, nullptr), E_POINTER);
}

TEST_F(ComModuleTest, AggregatedObjectForwardsReferencesToTheOuterUnknown) {
  ComPtr<IClassFactory> classFactory = factory();
  CountingOuter outer;

  ComPtr<ITestCounter> refused;
  EXPECT_EQ(classFactory->CreateInstance(&outer, IID_PPV_ARGS(&refused)), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(outer.references, 1u);

  IUnknown* inner = nullptr;
  ASSERT_EQ(classFactory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&inner)),
            S_OK);
  ASSERT_NE(inner, nullptr);
  EXPECT_NE(inner, static_cast<IUnknown*>(&outer));
  EXPECT_EQ(outer.references, 1u) << "creating the inner object must not touch the outer count";
  outer.inner = inner;

  ITestCounter* counter = nullptr;
  ASSERT_EQ(inner->QueryInterface(IID_ITestCounter, reinterpret_cast<void**>(&counter)), S_OK);
  EXPECT_EQ(outer.references, 2u);
  counter->AddRef();
  EXPECT_EQ(outer.references, 3u);
  counter->Release();
  EXPECT_EQ(outer.references, 2u);

  // The aggregated interface answers the outer object's identity.
  IUnknown* identity = nullptr;
  ASSERT_EQ(counter->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
  EXPECT_EQ(identity, static_cast<IUnknown*>(&outer));
  identity->Release();
  counter->Release();
  EXPECT_EQ(outer.references, 1u);

  EXPECT_EQ(canUnloadNow_(), S_FALSE);
  EXPECT_EQ(inner->Release(), 0u);
  EXPECT_EQ(canUnloadNow_(), S_OK);
}

TEST_F(ComModuleTest, EmbeddedTypeLibraryLoadsFromTheModulePath) {
  ComPtr<ITypeLib> library;
  ASSERT_EQ(::LoadTypeLib(testModulePath().c_str(), &library), S_OK);
  TLIBATTR* attributes = nullptr;
  ASSERT_EQ(library->GetLibAttr(&attributes), S_OK);
  EXPECT_EQ(attributes->guid, LIBID_ZelkTestLib);
  library->ReleaseTLibAttr(attributes);

  ComPtr<ITypeInfo> info;
  ASSERT_EQ(library->GetTypeInfoOfGuid(IID_ITestCounter, &info), S_OK);
  TYPEATTR* typeAttributes = nullptr;
  ASSERT_EQ(info->GetTypeAttr(&typeAttributes), S_OK);
  EXPECT_EQ(typeAttributes->cFuncs, 2);
  info->ReleaseTypeAttr(typeAttributes);
}

TEST_F(ComModuleTest, RegistrationLetsComFindTheServerAndUnregistrationRemovesIt) {
  auto registerServer = moduleProc<PlainEntryFn>(module_.get(), "DllRegisterServer");
  auto unregisterServer = moduleProc<PlainEntryFn>(module_.get(), "DllUnregisterServer");
  ASSERT_NE(registerServer, nullptr);
  ASSERT_NE(unregisterServer, nullptr);
  ASSERT_EQ(registerServer(), S_OK);

  ComPtr<ITestCounter> counter;
  HRESULT created =
      ::CoCreateInstance(CLSID_TestCounter, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&counter));
  counter.Reset();
  ::CoFreeUnusedLibraries();
  ASSERT_EQ(unregisterServer(), S_OK);
  EXPECT_EQ(created, S_OK);

  ComPtr<ITestCounter> gone;
  EXPECT_EQ(
      ::CoCreateInstance(CLSID_TestCounter, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&gone)),
      REGDB_E_CLASSNOTREG);
  // Removing what is not there is no error.
  EXPECT_EQ(unregisterServer(), S_OK);
}

}  // namespace
