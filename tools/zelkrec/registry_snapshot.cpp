// Reading and writing back one registry key's values.
#include "tools/zelkrec/registry_snapshot.h"

#include <algorithm>

namespace {

class OpenKey {
 public:
  OpenKey(HKEY root, const std::wstring& path, REGSAM access) {
    result_ = ::RegOpenKeyExW(root, path.c_str(), 0, access, &key_);
  }
  ~OpenKey() {
    if (result_ == ERROR_SUCCESS) ::RegCloseKey(key_);
  }
  OpenKey(const OpenKey&) = delete;
  OpenKey& operator=(const OpenKey&) = delete;
  LSTATUS result() const { return result_; }
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
  LSTATUS result_;
};

}  // namespace

RegistrySnapshot::~RegistrySnapshot() { restore(); }

void RegistrySnapshot::take(HKEY root, const wchar_t* path) {
  pending_ = true;
  root_ = root;
  path_ = path;
  values_.clear();
  OpenKey key(root, path_, KEY_READ);
  existed_ = key.result() == ERROR_SUCCESS;
  if (!existed_) return;
  for (DWORD index = 0;; ++index) {
    wchar_t name[16384];
    DWORD nameLength = ARRAYSIZE(name);
    Value value;
    DWORD size = 0;
    if (::RegEnumValueW(key.get(), index, name, &nameLength, nullptr, &value.type, nullptr,
                        &size) != ERROR_SUCCESS) {
      break;
    }
    value.name.assign(name, nameLength);
    value.data.resize(size);
    if (::RegQueryValueExW(key.get(), value.name.c_str(), nullptr, &value.type,
                           value.data.data(), &size) != ERROR_SUCCESS) {
      continue;
    }
    value.data.resize(size);
    values_.push_back(std::move(value));
  }
}

HRESULT RegistrySnapshot::restore() {
  if (!pending_ || !existed_) return S_OK;
  pending_ = false;
  OpenKey key(root_, path_, KEY_READ | KEY_SET_VALUE);
  if (key.result() != ERROR_SUCCESS) return HRESULT_FROM_WIN32(key.result());
  // Values that were not there are deleted; the list is read first, as deleting moves indexes.
  std::vector<std::wstring> added;
  for (DWORD index = 0;; ++index) {
    wchar_t name[16384];
    DWORD nameLength = ARRAYSIZE(name);
    if (::RegEnumValueW(key.get(), index, name, &nameLength, nullptr, nullptr, nullptr,
                        nullptr) != ERROR_SUCCESS) {
      break;
    }
    const std::wstring current(name, nameLength);
    const bool known = std::any_of(values_.begin(), values_.end(),
                                   [&](const Value& value) { return value.name == current; });
    if (!known) added.push_back(current);
  }
  HRESULT first = S_OK;
  for (const std::wstring& name : added) {
    const LSTATUS status = ::RegDeleteValueW(key.get(), name.c_str());
    if (status != ERROR_SUCCESS && SUCCEEDED(first)) first = HRESULT_FROM_WIN32(status);
  }
  for (const Value& value : values_) {
    const LSTATUS status =
        ::RegSetValueExW(key.get(), value.name.c_str(), 0, value.type, value.data.data(),
                         static_cast<DWORD>(value.data.size()));
    if (status != ERROR_SUCCESS && SUCCEEDED(first)) first = HRESULT_FROM_WIN32(status);
  }
  return first;
}
