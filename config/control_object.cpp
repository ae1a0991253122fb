// Control objects of the capture pin and their late binding.
#include "config/control_object.h"

#include <mutex>
#include <new>

#include "common/com_registration.h"
#include "common/module_proc.h"

namespace {

// Loaded once from the module's own type library and kept for the module's lifetime.
HRESULT controlTypeInfo(ITypeInfo** info) {
  static std::once_flag loaded;
  static ITypeInfo* typeInfo = nullptr;
  static HRESULT result = E_FAIL;
  std::call_once(loaded, [] {
    Microsoft::WRL::ComPtr<ITypeLib> library;
    result = ::LoadTypeLib(modulePath(currentModule()).c_str(), &library);
    if (SUCCEEDED(result)) result = library->GetTypeInfoOfGuid(IID_IZelkgrab, &typeInfo);
  });
  if (FAILED(result)) return result;
  *info = typeInfo;
  typeInfo->AddRef();
  return S_OK;
}

// Calls from other processes run on the thread of the apartment that handed the object out.
// When that is a program's window thread (a single-threaded apartment), a client's long wait,
// or one whose client has died, must not freeze the program: the thread goes on dispatching
// its messages, and with them other calls, while it waits.
bool onWindowThread() {
  APTTYPE apartment;
  APTTYPEQUALIFIER qualifier;
  return SUCCEEDED(::CoGetApartmentType(&apartment, &qualifier)) &&
         (apartment == APTTYPE_STA || apartment == APTTYPE_MAINSTA);
}

// WAIT_OBJECT_0 once `event` is set, WAIT_TIMEOUT after `timeMs` or when the program quits
// (the quit message is posted again for the program's own loop). With 0 it only looks.
DWORD waitDispatching(HANDLE event, ULONG timeMs) {
  const ULONGLONG deadline = ::GetTickCount64() + timeMs;
  for (;;) {
    const ULONGLONG now = ::GetTickCount64();
    if (timeMs != INFINITE && now >= deadline) return ::WaitForSingleObject(event, 0);
    const DWORD left = timeMs == INFINITE ? INFINITE : static_cast<DWORD>(deadline - now);
    const DWORD woke =
        ::MsgWaitForMultipleObjectsEx(1, &event, left, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (woke != WAIT_OBJECT_0 + 1) return woke == WAIT_OBJECT_0 ? woke : WAIT_TIMEOUT;
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        ::PostQuitMessage(static_cast<int>(message.wParam));
        return WAIT_TIMEOUT;
      }
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
  }
}

}  // namespace

ControlObject::ControlObject(IUnknown* filter, ParameterOwner* owner)
    : CUnknownImpl(nullptr),
      filter_(filter),
      owner_(owner),
      changed_(::CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

ControlObject::~ControlObject() {
  if (owner_) owner_->RemoveListener(this);
}

HRESULT ControlObject::NonDelegatingQueryInterface(REFIID iid, void** object) {
  if (iid == IID_IZelkgrab) return GetInterface(static_cast<IZelkgrab*>(this), object);
  if (iid == IID_IDispatch) return GetInterface(static_cast<IDispatch*>(this), object);
  return CUnknownImpl::NonDelegatingQueryInterface(iid, object);
}

void ControlObject::Signal() { ::SetEvent(changed_.get()); }

HRESULT ControlObject::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 1;
  return S_OK;
}

HRESULT ControlObject::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
  if (!info) return E_POINTER;
  *info = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  return controlTypeInfo(info);
}

HRESULT ControlObject::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  Microsoft::WRL::ComPtr<ITypeInfo> info;
  HRESULT hr = controlTypeInfo(&info);
  if (FAILED(hr)) return hr;
  return info->GetIDsOfNames(names, count, ids);
}

HRESULT ControlObject::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* parameters,
                              VARIANT* result, EXCEPINFO* exception, UINT* argumentError) {
  Microsoft::WRL::ComPtr<ITypeInfo> info;
  HRESULT hr = controlTypeInfo(&info);
  if (FAILED(hr)) return hr;
  return info->Invoke(static_cast<IZelkgrab*>(this), id, flags, parameters, result, exception,
                      argumentError);
}

HRESULT ControlObject::get_sc_prop(BSTR prop, LONG* param) {
  if (!owner_ || !prop || !param) return E_POINTER;
  int32_t value = 0;
  HRESULT hr = owner_->GetParam(prop, &value);
  if (hr == S_OK) *param = value;
  return hr;
}

HRESULT ControlObject::put_sc_prop(BSTR prop, LONG param) {
  if (!owner_ || !prop) return E_POINTER;
  return owner_->SetParam(prop, param);
}

HRESULT ControlObject::get_sc_props(BSTR* props) {
  if (!owner_ || !props) return E_POINTER;
  *props = nullptr;
  std::wstring text;
  HRESULT hr = owner_->GetDocument(&text);
  if (FAILED(hr)) return hr;
  *props = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return *props ? S_OK : E_OUTOFMEMORY;
}

HRESULT ControlObject::put_sc_props(BSTR props) {
  if (!owner_ || !props) return E_POINTER;
  return owner_->PutDocument(props);
}

HRESULT ControlObject::CheckEvent(ULONG timeMs) {
  if (!owner_) return E_POINTER;
  return (onWindowThread() ? waitDispatching(changed_.get(), timeMs)
                           : ::WaitForSingleObject(changed_.get(), timeMs)) == WAIT_OBJECT_0
             ? S_OK
             : S_FALSE;
}
