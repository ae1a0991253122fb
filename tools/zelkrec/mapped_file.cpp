// Read-only file mapping.
#include "tools/zelkrec/mapped_file.h"

HRESULT MappedFile::open(const std::wstring& path) {
  file_.reset(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file_) return HRESULT_FROM_WIN32(::GetLastError());
  LARGE_INTEGER size = {};
  if (!::GetFileSizeEx(file_.get(), &size)) return HRESULT_FROM_WIN32(::GetLastError());
  if (static_cast<ULONGLONG>(size.QuadPart) > SIZE_MAX) return E_OUTOFMEMORY;
  if (size.QuadPart == 0) return S_OK;
  mapping_.reset(::CreateFileMappingW(file_.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
  if (!mapping_) return HRESULT_FROM_WIN32(::GetLastError());
  view_.reset(::MapViewOfFile(mapping_.get(), FILE_MAP_READ, 0, 0, 0));
  if (!view_) return HRESULT_FROM_WIN32(::GetLastError());
  size_ = static_cast<size_t>(size.QuadPart);
  return S_OK;
}
