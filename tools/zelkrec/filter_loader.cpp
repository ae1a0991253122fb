// Filter creation through a module's own DllGetClassObject.
#include "tools/zelkrec/filter_loader.h"

#include <wrl/client.h>

#include "common/com_registration.h"
#include "common/module_proc.h"

using Microsoft::WRL::ComPtr;

namespace {

using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
using CanUnloadNowFn = HRESULT(STDAPICALLTYPE*)();

std::wstring besideProgram(const wchar_t* fileName) {
  std::wstring path = modulePath(nullptr);
  return path.substr(0, path.find_last_of(L"\\/") + 1) + fileName;
}

}  // namespace

FilterModule::~FilterModule() {
  if (!module_) return;
  auto canUnloadNow = moduleProc<CanUnloadNowFn>(module_.get(), "DllCanUnloadNow");
  // An object still alive (or a thread of the module still running) would be left without
  // its code; the process end takes the module then.
  if (!canUnloadNow || canUnloadNow() != S_OK) module_.release();
}

HRESULT FilterModule::create(const wchar_t* fileName, REFCLSID clsid, REFIID iid, void** object) {
  *object = nullptr;
  if (!module_) {
    path_ = besideProgram(fileName);
    // The altered search order lets the module find its own dependencies beside itself.
    module_.reset(::LoadLibraryExW(path_.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    if (!module_) return HRESULT_FROM_WIN32(::GetLastError());
  }
  auto getClassObject = moduleProc<GetClassObjectFn>(module_.get(), "DllGetClassObject");
  if (!getClassObject) return HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
  ComPtr<IClassFactory> factory;
  HRESULT hr = getClassObject(clsid, IID_PPV_ARGS(&factory));
  if (FAILED(hr)) return hr;
  return factory->CreateInstance(nullptr, iid, object);
}

HRESULT FilterModule::createFilter(const wchar_t* fileName, REFCLSID clsid, IBaseFilter** filter) {
  *filter = nullptr;
  fromRegistration_ = true;
  const HRESULT registered = ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER,
                                                IID_IBaseFilter, reinterpret_cast<void**>(filter));
  if (SUCCEEDED(registered)) return S_OK;
  fromRegistration_ = false;
  const HRESULT beside = create(fileName, clsid, IID_IBaseFilter, reinterpret_cast<void**>(filter));
  if (FAILED(beside) && registered != REGDB_E_CLASSNOTREG &&
      ::GetFileAttributesW(path_.c_str()) == INVALID_FILE_ATTRIBUTES) {
    fromRegistration_ = true;
    return registered;
  }
  return beside;
}

std::wstring FilterModule::source() const {
  return fromRegistration_ ? L"the registered class" : path_;
}
