// Owners for the Win32 and COM resources the modules use: kernel handles, hooks, modules,
// registry keys, GDI objects and device contexts, task memory and BSTRs. Each frees its
// resource exactly once; copies are deleted, moves allowed.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <utility>

#include "common/unique_resource.h"

namespace raii_traits {

struct KernelHandle {
  using Handle = HANDLE;
  static HANDLE empty() { return nullptr; }
  static void close(HANDLE h) { ::CloseHandle(h); }
};

// CreateFile and a few others say "none" with INVALID_HANDLE_VALUE.
struct FileHandle {
  using Handle = HANDLE;
  static HANDLE empty() { return INVALID_HANDLE_VALUE; }
  static void close(HANDLE h) { ::CloseHandle(h); }
};

// FindFirstFile's search handle.
struct FileSearch {
  using Handle = HANDLE;
  static HANDLE empty() { return INVALID_HANDLE_VALUE; }
  static void close(HANDLE h) { ::FindClose(h); }
};

struct Hook {
  using Handle = HHOOK;
  static HHOOK empty() { return nullptr; }
  static void close(HHOOK h) { ::UnhookWindowsHookEx(h); }
};

struct Module {
  using Handle = HMODULE;
  static HMODULE empty() { return nullptr; }
  static void close(HMODULE h) { ::FreeLibrary(h); }
};

struct RegKey {
  using Handle = HKEY;
  static HKEY empty() { return nullptr; }
  static void close(HKEY h) { ::RegCloseKey(h); }
};

template <class T>
struct GdiObject {
  using Handle = T;
  static T empty() { return nullptr; }
  static void close(T h) { ::DeleteObject(h); }
};

struct MemoryDC {
  using Handle = HDC;
  static HDC empty() { return nullptr; }
  static void close(HDC h) { ::DeleteDC(h); }
};

struct Bstr {
  using Handle = BSTR;
  static BSTR empty() { return nullptr; }
  static void close(BSTR h) { ::SysFreeString(h); }
};

}  // namespace raii_traits

using UniqueHandle = UniqueResource<raii_traits::KernelHandle>;
using UniqueFileHandle = UniqueResource<raii_traits::FileHandle>;
using UniqueFileSearch = UniqueResource<raii_traits::FileSearch>;
using UniqueHook = UniqueResource<raii_traits::Hook>;
using UniqueModule = UniqueResource<raii_traits::Module>;
using UniqueRegKey = UniqueResource<raii_traits::RegKey>;
using ScopedBitmap = UniqueResource<raii_traits::GdiObject<HBITMAP>>;
using UniqueGdiBrush = UniqueResource<raii_traits::GdiObject<HBRUSH>>;
using UniqueGdiFont = UniqueResource<raii_traits::GdiObject<HFONT>>;
using UniqueMemoryDC = UniqueResource<raii_traits::MemoryDC>;
using UniqueBstr = UniqueResource<raii_traits::Bstr>;

// A window's device context remembers its window, which ReleaseDC needs. By default the
// client area's DC (GetDC); `WholeWindow` gives the DC of the whole window, frame included.
class WindowDC {
 public:
  enum Area { ClientArea, WholeWindow };
  explicit WindowDC(HWND window, Area area = ClientArea)
      : window_(window), dc_(area == WholeWindow ? ::GetWindowDC(window) : ::GetDC(window)) {}
  ~WindowDC() {
    if (dc_) ::ReleaseDC(window_, dc_);
  }
  WindowDC(const WindowDC&) = delete;
  WindowDC& operator=(const WindowDC&) = delete;

  HDC get() const { return dc_; }
  explicit operator bool() const { return dc_ != nullptr; }

 private:
  HWND window_;
  HDC dc_;
};

// Selects a GDI object into a DC for a scope and puts the previous one back.
class SelectObjectGuard {
 public:
  SelectObjectGuard(HDC dc, HGDIOBJ object) : dc_(dc), previous_(::SelectObject(dc, object)) {}
  ~SelectObjectGuard() {
    if (previous_ && previous_ != HGDI_ERROR) ::SelectObject(dc_, previous_);
  }
  SelectObjectGuard(const SelectObjectGuard&) = delete;
  SelectObjectGuard& operator=(const SelectObjectGuard&) = delete;

  bool selected() const { return previous_ && previous_ != HGDI_ERROR; }

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

// Memory from CoTaskMemAlloc, as COM interfaces hand it to their callers.
template <class T>
class CoTaskMemPtr {
 public:
  CoTaskMemPtr() = default;
  explicit CoTaskMemPtr(T* p) : p_(p) {}
  ~CoTaskMemPtr() { ::CoTaskMemFree(p_); }
  CoTaskMemPtr(const CoTaskMemPtr&) = delete;
  CoTaskMemPtr& operator=(const CoTaskMemPtr&) = delete;
  CoTaskMemPtr(CoTaskMemPtr&& other) noexcept : p_(other.release()) {}
  CoTaskMemPtr& operator=(CoTaskMemPtr&& other) noexcept {
    if (this != &other) {
      ::CoTaskMemFree(p_);
      p_ = other.release();
    }
    return *this;
  }

  T* get() const { return p_; }
  T* operator->() const { return p_; }
  T* release() { return std::exchange(p_, nullptr); }
  T** put() {
    ::CoTaskMemFree(std::exchange(p_, nullptr));
    return &p_;
  }

 private:
  T* p_ = nullptr;
};

// CoInitializeEx for the lifetime of a scope; CoUninitialize only if it succeeded.
class ComApartment {
 public:
  explicit ComApartment(DWORD model = COINIT_MULTITHREADED)
      : hr_(::CoInitializeEx(nullptr, model)) {}
  ~ComApartment() {
    if (SUCCEEDED(hr_)) ::CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

  HRESULT result() const { return hr_; }

 private:
  HRESULT hr_;
};
