// The registry key object: typed values below one open key, with subkeys reached through the
// value names.
#include <windows.h>

#include "common/registry_key.h"

#include <cwchar>
#include <new>
#include <utility>

namespace {

HRESULT createKey(HKEY parent, const wchar_t* path, UniqueRegKey& key) {
  if (!parent || !path) return E_FAIL;
  LSTATUS status = ::RegCreateKeyExW(parent, path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                     KEY_ALL_ACCESS, nullptr, key.put(), nullptr);
  return status == ERROR_SUCCESS ? S_OK : E_FAIL;
}

// Where one value lives for one operation: the object's own key, or the subkey its name
// reaches into, held open only as long as this lives.
class ValueTarget {
 public:
  HRESULT open(HKEY key, const wchar_t* name) {
    if (!key) return E_UNEXPECTED;
    const wchar_t* slash = std::wcsrchr(name, L'\\');
    if (!slash) {
      key_ = key;
      name_ = name;
      return S_OK;
    }
    const std::wstring path(name, slash);
    HRESULT hr = createKey(key, path.c_str(), subkey_);
    if (FAILED(hr)) return hr;
    key_ = subkey_.get();
    name_ = slash + 1;  // empty: the subkey's default value
    return S_OK;
  }

  HKEY key() const { return key_; }
  const wchar_t* name() const { return name_; }

 private:
  UniqueRegKey subkey_;
  HKEY key_ = nullptr;
  const wchar_t* name_ = nullptr;
};

HRESULT setValue(HKEY key, const wchar_t* name, DWORD type, const void* data, DWORD bytes) {
  ValueTarget target;
  HRESULT hr = target.open(key, name);
  if (FAILED(hr)) return hr;
  LSTATUS status =
      ::RegSetValueExW(target.key(), target.name(), 0, type, static_cast<const BYTE*>(data), bytes);
  return status == ERROR_SUCCESS ? S_OK : E_FAIL;
}

// A value of fixed type and size; anything else counts as missing.
HRESULT queryFixed(HKEY key, const wchar_t* name, DWORD expectedType, void* data,
                   DWORD expectedBytes) {
  ValueTarget target;
  HRESULT hr = target.open(key, name);
  if (FAILED(hr)) return hr;
  DWORD type = REG_NONE;
  DWORD bytes = expectedBytes;
  LSTATUS status = ::RegQueryValueExW(target.key(), target.name(), nullptr, &type,
                                      static_cast<BYTE*>(data), &bytes);
  if (status == ERROR_FILE_NOT_FOUND || status == ERROR_MORE_DATA) return S_FALSE;
  if (status != ERROR_SUCCESS) return E_FAIL;
  return type == expectedType && bytes == expectedBytes ? S_OK : S_FALSE;
}

HRESULT queryString(HKEY key, const wchar_t* name, std::wstring& text) {
  ValueTarget target;
  HRESULT hr = target.open(key, name);
  if (FAILED(hr)) return hr;
  DWORD type = REG_NONE;
  DWORD bytes = 0;
  LSTATUS status = ::RegQueryValueExW(target.key(), target.name(), nullptr, &type, nullptr, &bytes);
  if (status == ERROR_FILE_NOT_FOUND) return S_FALSE;
  if (status != ERROR_SUCCESS) return E_FAIL;
  if (type != REG_SZ) return S_FALSE;

  // One character more than the value needs: an odd byte count still fits, and the text ends
  // in a zero even when the stored one lacks it.
  std::wstring buffer(bytes / sizeof(wchar_t) + 1, L'\0');
  bytes = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
  status = ::RegQueryValueExW(target.key(), target.name(), nullptr, &type,
                              reinterpret_cast<BYTE*>(buffer.data()), &bytes);
  if (status == ERROR_FILE_NOT_FOUND) return S_FALSE;  // removed between the two calls
  if (status != ERROR_SUCCESS) return E_FAIL;
  if (type != REG_SZ) return S_FALSE;
  buffer.resize(std::wcslen(buffer.c_str()));
  text = std::move(buffer);
  return S_OK;
}

// Runs the parts of a composite value in order and stops at the first that does not answer
// S_OK: a read's S_FALSE means that part was missing, and the later parts stay as they were.
template <class... Parts>
HRESULT inOrder(Parts&&... parts) {
  HRESULT hr = S_OK;
  (void)(((hr = parts()) == S_OK) && ...);
  return hr;
}

}  // namespace

RegistryKey::RegistryKey(HKEY root, const wchar_t* path, HRESULT* result) {
  HRESULT hr = createKey(root, path, key_);
  if (result) *result = hr;
}

RegistryKey::RegistryKey(const RegistryKey& parent, const wchar_t* path, HRESULT* result)
    : RegistryKey(parent.handle(), path, result) {}

RegistryKey RegistryKey::openForReading(HKEY root, const wchar_t* path, HRESULT* result) {
  RegistryKey key;
  const LSTATUS status =
      root && path ? ::RegOpenKeyExW(root, path, 0, KEY_READ, key.key_.put()) : ERROR_BADKEY;
  if (result) *result = status == ERROR_SUCCESS ? S_OK : E_FAIL;
  return key;
}

RegistryKey::~RegistryKey() { close(); }

RegistryKey::RegistryKey(RegistryKey&& other) noexcept : key_(std::move(other.key_)) {}

RegistryKey& RegistryKey::operator=(RegistryKey&& other) noexcept {
  if (this != &other) {
    close();
    key_ = std::move(other.key_);
  }
  return *this;
}

void RegistryKey::close() {
  if (key_) ::RegFlushKey(key_.get());
  key_.reset();
}

HRESULT RegistryKey::WritePlacement(const wchar_t* prefix, const WINDOWPLACEMENT& placement) {
  if (!prefix) return E_POINTER;
  const std::wstring base(prefix);
  return inOrder(
      [&] { return WriteUInt32((base + L"Flags").c_str(), placement.flags); },
      [&] { return WriteRect((base + L"NormalPos").c_str(), placement.rcNormalPosition); },
      [&] { return WriteUInt32((base + L"ShowCmd").c_str(), placement.showCmd); },
      [&] { return WritePoint((base + L"MaxPos").c_str(), placement.ptMaxPosition); },
      [&] { return WritePoint((base + L"MinPos").c_str(), placement.ptMinPosition); });
}

HRESULT RegistryKey::WriteSize(const wchar_t* prefix, const SIZE& size) {
  if (!prefix) return E_POINTER;
  const std::wstring base(prefix);
  return inOrder([&] { return WriteInt32((base + L"CX").c_str(), size.cx); },
                 [&] { return WriteInt32((base + L"CY").c_str(), size.cy); });
}

HRESULT RegistryKey::WritePoint(const wchar_t* prefix, const POINT& point) {
  if (!prefix) return E_POINTER;
  const std::wstring base(prefix);
  return inOrder([&] { return WriteInt32((base + L"X").c_str(), point.x); },
                 [&] { return WriteInt32((base + L"Y").c_str(), point.y); });
}

HRESULT RegistryKey::WriteRect(const wchar_t* prefix, const RECT& rect) {
  if (!prefix) return E_POINTER;
  const std::wstring base(prefix);
  return inOrder([&] { return WriteInt32((base + L"Left").c_str(), rect.left); },
                 [&] { return WriteInt32((base + L"Top").c_str(), rect.top); },
                 [&] { return WriteInt32((base + L"Right").c_str(), rect.right); },
                 [&] { return WriteInt32((base + L"Bottom").c_str(), rect.bottom); });
}

HRESULT RegistryKey::WriteDouble(const wchar_t* name, double value) {
  return WriteFloat(name, static_cast<float>(value));
}

HRESULT RegistryKey::WriteFloat(const wchar_t* name, float value) {
  wchar_t text[64];
  if (std::swprintf(text, sizeof(text) / sizeof(text[0]), L"%f", static_cast<double>(value)) < 0) {
    return E_FAIL;
  }
  return WriteString(name, text);
}

HRESULT RegistryKey::Write64(const wchar_t* name, int64_t value) {
  const auto bits = static_cast<uint64_t>(value);
  return Write64Value(name, static_cast<DWORD>(bits), static_cast<DWORD>(bits >> 32));
}

HRESULT RegistryKey::Write64Value(const wchar_t* name, DWORD low, DWORD high) {
  if (!name) return E_POINTER;
  const uint64_t value = (static_cast<uint64_t>(high) << 32) | low;
  return setValue(key_.get(), name, REG_QWORD, &value, sizeof(value));
}

HRESULT RegistryKey::WriteInt32(const wchar_t* name, int32_t value) {
  return WriteDword(name, static_cast<DWORD>(value));
}

HRESULT RegistryKey::WriteUInt32(const wchar_t* name, uint32_t value) {
  return WriteDword(name, static_cast<DWORD>(value));
}

HRESULT RegistryKey::WriteDword(const wchar_t* name, DWORD value) {
  if (!name) return E_POINTER;
  return setValue(key_.get(), name, REG_DWORD, &value, sizeof(value));
}

HRESULT RegistryKey::WriteString(const wchar_t* name, const wchar_t* text) {
  if (!name || !text) return E_POINTER;
  const size_t characters = std::wcslen(text) + 1;
  if (characters > MAXDWORD / sizeof(wchar_t)) return E_FAIL;
  return setValue(key_.get(), name, REG_SZ, text, static_cast<DWORD>(characters * sizeof(wchar_t)));
}

HRESULT RegistryKey::ReadPlacement(const wchar_t* prefix, WINDOWPLACEMENT* placement) {
  if (!prefix || !placement) return E_POINTER;
  placement->length = sizeof(WINDOWPLACEMENT);
  const std::wstring base(prefix);
  return inOrder(
      [&] { return ReadUInt32((base + L"Flags").c_str(), &placement->flags, 0); },
      [&] { return ReadRect((base + L"NormalPos").c_str(), &placement->rcNormalPosition); },
      [&] { return ReadUInt32((base + L"ShowCmd").c_str(), &placement->showCmd, 0); },
      [&] { return ReadPoint((base + L"MaxPos").c_str(), &placement->ptMaxPosition); },
      [&] { return ReadPoint((base + L"MinPos").c_str(), &placement->ptMinPosition); });
}

namespace {

// LONG is not int32_t to the compiler, though both are the same 32 bits here.
HRESULT readLong(RegistryKey& key, const std::wstring& name, LONG* field) {
  int32_t value = 0;
  HRESULT hr = key.ReadInt32(name.c_str(), &value, 0);
  *field = value;
  return hr;
}

}  // namespace

HRESULT RegistryKey::ReadSize(const wchar_t* prefix, SIZE* size) {
  if (!prefix || !size) return E_POINTER;
  const std::wstring base(prefix);
  return inOrder([&] { return readLong(*this, base + L"CX", &size->cx); },
                 [&] { return readLong(*this, base + L"CY", &size->cy); });
}

HRESULT RegistryKey::ReadPoint(const wchar_t* prefix, POINT* point) {
  if (!prefix || !point) return E_POINTER;
  const std::wstring base(prefix);
  return inOrder([&] { return readLong(*this, base + L"X", &point->x); },
                 [&] { return readLong(*this, base + L"Y", &point->y); });
}

HRESULT RegistryKey::ReadRect(const wchar_t* prefix, RECT* rect) {
  if (!prefix || !rect) return E_POINTER;
  const std::wstring base(prefix);
  return inOrder([&] { return readLong(*this, base + L"Left", &rect->left); },
                 [&] { return readLong(*this, base + L"Top", &rect->top); },
                 [&] { return readLong(*this, base + L"Right", &rect->right); },
                 [&] { return readLong(*this, base + L"Bottom", &rect->bottom); });
}

HRESULT RegistryKey::ReadDouble(const wchar_t* name, double* value, double defaultValue) {
  if (!name || !value) return E_POINTER;
  std::wstring text;
  HRESULT hr = ReadString(name, &text, L"");
  *value = hr == S_OK ? std::wcstod(text.c_str(), nullptr) : defaultValue;
  return hr;
}

HRESULT RegistryKey::ReadFloat(const wchar_t* name, float* value, float defaultValue) {
  if (!name || !value) return E_POINTER;
  std::wstring text;
  HRESULT hr = ReadString(name, &text, L"");
  *value = hr == S_OK ? static_cast<float>(std::wcstod(text.c_str(), nullptr)) : defaultValue;
  return hr;
}

HRESULT RegistryKey::Read64(const wchar_t* name, int64_t* value, int64_t defaultValue) {
  if (!name || !value) return E_POINTER;
  uint64_t bits = static_cast<uint64_t>(defaultValue);
  HRESULT hr = Read64Value(name, &bits, static_cast<uint64_t>(defaultValue));
  *value = static_cast<int64_t>(bits);
  return hr;
}

HRESULT RegistryKey::Read64Value(const wchar_t* name, uint64_t* value, uint64_t defaultValue) {
  if (!name || !value) return E_POINTER;
  *value = defaultValue;
  uint64_t data = 0;
  HRESULT hr = queryFixed(key_.get(), name, REG_QWORD, &data, sizeof(data));
  if (hr == S_OK) *value = data;
  return hr;
}

HRESULT RegistryKey::ReadInt32(const wchar_t* name, int32_t* value, int32_t defaultValue) {
  if (!name || !value) return E_POINTER;
  DWORD bits = static_cast<DWORD>(defaultValue);
  HRESULT hr = ReadDword(name, &bits, static_cast<DWORD>(defaultValue));
  *value = static_cast<int32_t>(bits);
  return hr;
}

HRESULT RegistryKey::ReadUInt32(const wchar_t* name, uint32_t* value, uint32_t defaultValue) {
  if (!name || !value) return E_POINTER;
  DWORD bits = defaultValue;
  HRESULT hr = ReadDword(name, &bits, defaultValue);
  *value = static_cast<uint32_t>(bits);
  return hr;
}

HRESULT RegistryKey::ReadDword(const wchar_t* name, DWORD* value, DWORD defaultValue) {
  if (!name || !value) return E_POINTER;
  *value = defaultValue;
  DWORD data = 0;
  HRESULT hr = queryFixed(key_.get(), name, REG_DWORD, &data, sizeof(data));
  if (hr == S_OK) *value = data;
  return hr;
}

HRESULT RegistryKey::ReadBstr(const wchar_t* name, BSTR* text, const wchar_t* defaultValue) {
  if (!text) return E_POINTER;
  *text = nullptr;
  if (!name) return E_POINTER;
  std::wstring value;
  HRESULT hr = ReadString(name, &value, defaultValue);
  if (hr == E_OUTOFMEMORY) return hr;
  *text = ::SysAllocStringLen(value.data(), static_cast<UINT>(value.size()));
  return *text ? hr : E_OUTOFMEMORY;
}

HRESULT RegistryKey::ReadString(const wchar_t* name, std::wstring* text,
                                const wchar_t* defaultValue) {
  if (!name || !text) return E_POINTER;
  try {
    HRESULT hr = queryString(key_.get(), name, *text);
    if (hr != S_OK) text->assign(defaultValue ? defaultValue : L"");
    return hr;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT RegistryKey::DeleteValue(const wchar_t* name) {
  if (!name) return E_POINTER;
  ValueTarget target;
  HRESULT hr = target.open(key_.get(), name);
  if (FAILED(hr)) return hr;
  LSTATUS status = ::RegDeleteValueW(target.key(), target.name());
  return status == ERROR_SUCCESS ? S_OK : E_FAIL;
}
