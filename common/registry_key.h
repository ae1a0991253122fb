// One open registry key with typed values: strings, 32- and 64-bit numbers, floating-point
// numbers kept as text, and points, sizes, rectangles and window placements spread over several
// values named after a prefix. Every module keeps its settings through it.
//
// A value name may reach into subkeys: everything before its last backslash names a subkey
// below this key (created when missing, closed again after the one operation), the rest the
// value in it; an empty rest means the subkey's default value.
//
// Results: E_POINTER for a missing name, prefix, text or out argument (nothing is touched),
// E_UNEXPECTED when no key is open, E_FAIL when a subkey cannot be created or the registry
// call fails. A read answers S_OK when the value exists in the expected form and S_FALSE with
// the default in the out argument when it is missing or of another type or size; on
// E_UNEXPECTED and E_FAIL the default is stored too, so callers that ignore the result still
// get a defined value. Composite shapes stop at the first part that does not give S_OK and
// answer its result; the parts after it are left as they were.
//
// Not thread-safe: one thread at a time per object.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <cstdint>
#include <string>

#include "common/win_raii.h"

class RegistryKey {
 public:
  // Opens `path` below `root`, creating it when missing. `*result` is S_OK when a key is open,
  // E_FAIL otherwise.
  RegistryKey(HKEY root, const wchar_t* path, HRESULT* result = nullptr);
  // A key below `parent`'s key; E_FAIL when `parent` has none.
  RegistryKey(const RegistryKey& parent, const wchar_t* path, HRESULT* result = nullptr);
  // Opens an existing `path` below `root` for reading only (writes then fail); *result as
  // above.
  static RegistryKey openForReading(HKEY root, const wchar_t* path, HRESULT* result = nullptr);
  // Flushes and closes the key.
  virtual ~RegistryKey();

  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;
  RegistryKey(RegistryKey&& other) noexcept;
  RegistryKey& operator=(RegistryKey&& other) noexcept;

  bool IsOpen() const { return static_cast<bool>(key_); }
  HKEY handle() const { return key_.get(); }

  // Placement: prefix + "Flags", "NormalPos" (a rectangle), "ShowCmd", "MaxPos", "MinPos"
  // (points). The length field is not stored; a read sets it.
  virtual HRESULT WritePlacement(const wchar_t* prefix, const WINDOWPLACEMENT& placement);
  // prefix + "CX", "CY".
  virtual HRESULT WriteSize(const wchar_t* prefix, const SIZE& size);
  // prefix + "X", "Y".
  virtual HRESULT WritePoint(const wchar_t* prefix, const POINT& point);
  // prefix + "Left", "Top", "Right", "Bottom".
  virtual HRESULT WriteRect(const wchar_t* prefix, const RECT& rect);
  // Kept with single precision, like WriteFloat.
  virtual HRESULT WriteDouble(const wchar_t* name, double value);
  // REG_SZ with the value formatted "%f".
  virtual HRESULT WriteFloat(const wchar_t* name, float value);
  virtual HRESULT Write64(const wchar_t* name, int64_t value);
  // REG_QWORD made of two halves.
  virtual HRESULT Write64Value(const wchar_t* name, DWORD low, DWORD high);
  virtual HRESULT WriteInt32(const wchar_t* name, int32_t value);
  virtual HRESULT WriteUInt32(const wchar_t* name, uint32_t value);
  // REG_DWORD.
  virtual HRESULT WriteDword(const wchar_t* name, DWORD value);
  // REG_SZ with its terminating zero.
  virtual HRESULT WriteString(const wchar_t* name, const wchar_t* text);

  // Missing parts read as 0.
  virtual HRESULT ReadPlacement(const wchar_t* prefix, WINDOWPLACEMENT* placement);
  virtual HRESULT ReadSize(const wchar_t* prefix, SIZE* size);
  virtual HRESULT ReadPoint(const wchar_t* prefix, POINT* point);
  virtual HRESULT ReadRect(const wchar_t* prefix, RECT* rect);
  virtual HRESULT ReadDouble(const wchar_t* name, double* value, double defaultValue);
  virtual HRESULT ReadFloat(const wchar_t* name, float* value, float defaultValue);
  virtual HRESULT Read64(const wchar_t* name, int64_t* value, int64_t defaultValue);
  virtual HRESULT Read64Value(const wchar_t* name, uint64_t* value, uint64_t defaultValue);
  virtual HRESULT ReadInt32(const wchar_t* name, int32_t* value, int32_t defaultValue);
  virtual HRESULT ReadUInt32(const wchar_t* name, uint32_t* value, uint32_t defaultValue);
  virtual HRESULT ReadDword(const wchar_t* name, DWORD* value, DWORD defaultValue);
  // `*text` receives a new string the caller frees with SysFreeString (null on E_POINTER and
  // when memory runs out). A null default reads as an empty string.
  virtual HRESULT ReadBstr(const wchar_t* name, BSTR* text, const wchar_t* defaultValue);
  // Only REG_SZ; the text ends at its first zero. A null default reads as an empty string.
  virtual HRESULT ReadString(const wchar_t* name, std::wstring* text, const wchar_t* defaultValue);
  virtual HRESULT DeleteValue(const wchar_t* name);

 private:
  RegistryKey() = default;
  void close();

  UniqueRegKey key_;
};
