// A control client for the soak's fault runs, killed in the middle of its wait: it finds the
// capture filter of process PID in the running object table, sets the event
// "ZelkFaultClientWaiting-<own pid>" and calls CheckEvent with MS milliseconds.
//   fault_client PID MS
// Exit code 0 when the wait ended (S_OK or S_FALSE), 1 when the filter or the call failed, 2 on
// bad arguments.
#include <windows.h>
#include <objbase.h>
#include <wrl/client.h>

#include <cstdlib>
#include <string>

#include "common/win_raii.h"
#include "tests/soak/listed_filters.h"

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  const auto pid = static_cast<DWORD>(std::strtoul(argv[1], nullptr, 10));
  const auto ms = static_cast<ULONG>(std::strtoul(argv[2], nullptr, 10));
  if (pid == 0) return 2;
  ComApartment apartment(COINIT_MULTITHREADED);
  Microsoft::WRL::ComPtr<IZelkgrab> control;
  if (FAILED(controlOfListedFilter(pid, 10000, &control))) return 1;
  const std::wstring name = L"ZelkFaultClientWaiting-" + std::to_wstring(::GetCurrentProcessId());
  UniqueHandle waiting(::CreateEventW(nullptr, TRUE, FALSE, name.c_str()));
  if (!waiting || !::SetEvent(waiting.get())) return 1;
  return SUCCEEDED(control->CheckEvent(ms)) ? 0 : 1;
}
