// A second process holding one capture filter, as a media application would: the filter is
// made from Zelkgrab.ax beside this program, so it lists itself in the running object table
// and holds the panel's instance enumerator. It lets the filter go and ends when the test sets
// the event "ZelkFilterHostQuit-<pid>", or after SECONDS.
//   filter_host SECONDS
// Exit code 0 after a normal end, 1 when the filter could not be made, 2 on bad arguments.
#include <windows.h>
#include <objbase.h>
#include <strmif.h>

#include <cstdlib>
#include <string>

#include "common/com_registration.h"
#include "common/module_proc.h"
#include "common/win_raii.h"
#include "zelkgrab.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 2 || _wtoi(argv[1]) <= 0) return 2;
  const DWORD seconds = static_cast<DWORD>(_wtoi(argv[1]));
  const std::wstring quitName = L"ZelkFilterHostQuit-" + std::to_wstring(::GetCurrentProcessId());
  UniqueHandle quit(::CreateEventW(nullptr, TRUE, FALSE, quitName.c_str()));
  if (!quit) return 1;

  std::wstring path = modulePath(nullptr);
  path = path.substr(0, path.find_last_of(L"\\/") + 1) + L"Zelkgrab.ax";
  // Loaded before and freed after the apartment: COM lets go of what other processes held
  // of the filter only as the apartment ends.
  UniqueModule module(::LoadLibraryW(path.c_str()));
  ComApartment apartment(COINIT_MULTITHREADED);
  using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
  const auto getClassObject = moduleProc<GetClassObject>(module.get(), "DllGetClassObject");
  if (!getClassObject) return 1;
  IClassFactory* factory = nullptr;
  if (FAILED(
          getClassObject(CLSID_Zelkgrab, IID_IClassFactory, reinterpret_cast<void**>(&factory)))) {
    return 1;
  }
  IBaseFilter* filter = nullptr;
  const HRESULT hr =
      factory->CreateInstance(nullptr, IID_IBaseFilter, reinterpret_cast<void**>(&filter));
  factory->Release();
  if (FAILED(hr)) return 1;

  ::WaitForSingleObject(quit.get(), seconds * 1000);
  filter->Release();
  return 0;
}
