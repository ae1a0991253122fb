// A file mapped read-only into memory, for readers that see it as one range of bytes. One
// owner for the file, its mapping and the view; an empty file gives an empty range, since
// Windows maps no empty file.
#pragma once

#include <windows.h>

#include <cstdint>
#include <span>
#include <string>

#include "common/win_raii.h"

namespace raii_traits {

struct MappedView {
  using Handle = const void*;
  static const void* empty() { return nullptr; }
  static void close(const void* view) { ::UnmapViewOfFile(view); }
};

}  // namespace raii_traits

class MappedFile {
 public:
  MappedFile() = default;
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  HRESULT open(const std::wstring& path);
  std::span<const std::uint8_t> bytes() const {
    return {static_cast<const std::uint8_t*>(view_.get()), size_};
  }

 private:
  UniqueFileHandle file_;
  UniqueHandle mapping_;
  UniqueResource<raii_traits::MappedView> view_;
  size_t size_ = 0;
};
