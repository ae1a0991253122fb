// The soak's control client: for SECONDS, finds the capture filters of process PID in the
// running object table and changes their settings through IZelkgrab, as a control program in
// another process would, while the host builds and tears down its graphs. Only settings that
// keep the frame size: the area's place, the pointer, the clicks and the border colour. A call
// may meet a filter that is going away; such calls are counted, not failures. At the end one
// line: calls made, refused, and the longest call.
//   soak_client PID SECONDS RUN
// RUN numbers the random choices, so that a run can be repeated.
// Exit code 0, or 1 when a call took longer than 5 s (a hang), 2 on bad arguments.
#include <windows.h>
#include <objbase.h>
#include <wrl/client.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <random>
#include <string>
#include <vector>

#include "common/win_raii.h"
#include "tests/soak/listed_filters.h"
#include "zelkgrab.h"

using Microsoft::WRL::ComPtr;

namespace {

std::wstring randomChange(std::mt19937& random) {
  const int left = std::uniform_int_distribution<int>(0, 1500)(random);
  const int top = std::uniform_int_distribution<int>(0, 800)(random);
  const unsigned colour = random() & 0xFFFFFF;
  wchar_t document[400];
  std::swprintf(document, 400,
                L"<configuration><params><rect left=\"%d\" top=\"%d\" right=\"%d\" "
                L"bottom=\"%d\"/><border r=\"%u\" g=\"%u\" b=\"%u\"/><flags showmouse=\"%u\" "
                L"showclicks=\"%u\"/></params></configuration>",
                left, top, left + 320, top + 240, colour & 0xFF, (colour >> 8) & 0xFF, colour >> 16,
                random() & 1u, random() & 1u);
  return document;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: soak_client PID SECONDS RUN\n");
    return 2;
  }
  const DWORD pid = std::strtoul(argv[1], nullptr, 10);
  const double seconds = std::atof(argv[2]);
  std::mt19937 random(static_cast<unsigned>(std::strtoul(argv[3], nullptr, 10)));
  ComApartment apartment(COINIT_MULTITHREADED);
  ComPtr<IRunningObjectTable> table;
  if (FAILED(::GetRunningObjectTable(0, &table))) {
    std::fprintf(stderr, "soak_client: no running object table\n");
    return 1;
  }
  long long calls = 0;
  long long refused = 0;
  double longestMs = 0;
  const auto end = std::chrono::steady_clock::now() +
                   std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
  while (std::chrono::steady_clock::now() < end) {
    for (const ComPtr<IMoniker>& entry : listedFilters(table.Get(), pid)) {
      const auto started = std::chrono::steady_clock::now();
      ComPtr<IUnknown> object;
      ComPtr<IZelkgrab> control;
      HRESULT hr = table->GetObject(entry.Get(), &object);
      // Wine has answered success with no object for an entry whose object was disconnected.
      if (SUCCEEDED(hr) && !object) hr = RPC_E_DISCONNECTED;
      if (SUCCEEDED(hr)) {
        hr = object->QueryInterface(IID_IZelkgrab, reinterpret_cast<void**>(control.GetAddressOf()));
      }
      if (SUCCEEDED(hr)) {
        UniqueBstr document(::SysAllocString(randomChange(random).c_str()));
        hr = control->put_sc_props(document.get());
      }
      ++calls;
      if (FAILED(hr)) ++refused;
      const double ms = std::chrono::duration<double, std::milli>(
                            std::chrono::steady_clock::now() - started)
                            .count();
      if (ms > longestMs) longestMs = ms;
    }
    ::Sleep(std::uniform_int_distribution<int>(50, 250)(random));
  }
  std::printf("soak_client: %lld calls, %lld refused (the filter was going), longest %.0f ms\n",
              calls, refused, longestMs);
  return longestMs > 5000 ? 1 : 0;
}
