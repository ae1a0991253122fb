// A new folder in the temporary folder for a crash test's dumps, removed with the files in it
// when the test ends.
#pragma once

#include <string>

namespace minidump_check {

class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  // Empty when no folder could be made.
  const std::wstring& path() const { return path_; }

 private:
  std::wstring path_;
};

}  // namespace minidump_check
