// The values of one registry key as they were, written back later. The capture filter keeps a
// copy of its settings in the registry and saves it on every change; a document put back
// through the filter cannot say "no window" (the filter takes only a handle that names a
// window), so after following a window the copy would keep that window. The recorder puts the
// copy back byte for byte once the filter is gone. Used from one thread.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

class RegistrySnapshot {
 public:
  RegistrySnapshot() = default;
  // Restores if restore() was not called.
  ~RegistrySnapshot();
  RegistrySnapshot(const RegistrySnapshot&) = delete;
  RegistrySnapshot& operator=(const RegistrySnapshot&) = delete;

  // Reads every value of `path` under `root`; a key that is not there is remembered as such.
  void take(HKEY root, const wchar_t* path);
  // Makes the key hold exactly the values read, once: values added since are deleted. A key
  // that was not there is left as it is now (the filter made it, as any first use would).
  // Answers the first failure.
  HRESULT restore();

 private:
  struct Value {
    std::wstring name;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
  };
  HKEY root_ = nullptr;
  std::wstring path_;
  bool existed_ = false;
  bool pending_ = false;
  std::vector<Value> values_;
};
