// The crash tests' scratch folder.
#include "scratch_folder.h"

#include <windows.h>

#include "common/win_raii.h"

namespace minidump_check {

ScratchFolder::ScratchFolder() {
  wchar_t temp[MAX_PATH + 1];
  const DWORD length = ::GetTempPathW(MAX_PATH + 1, temp);
  if (length == 0 || length > MAX_PATH) return;
  const std::wstring base = std::wstring(temp, length) + L"zelkcrash-test-" +
                            std::to_wstring(::GetCurrentProcessId()) + L"-";
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::wstring candidate = base + std::to_wstring(attempt);
    if (::CreateDirectoryW(candidate.c_str(), nullptr)) {
      path_ = std::move(candidate);
      return;
    }
  }
}

ScratchFolder::~ScratchFolder() {
  if (path_.empty()) return;
  {
    WIN32_FIND_DATAW found;
    UniqueFileSearch search(::FindFirstFileW((path_ + L"\\*").c_str(), &found));
    if (search) {
      do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
          ::DeleteFileW((path_ + L"\\" + found.cFileName).c_str());
        }
      } while (::FindNextFileW(search.get(), &found));
    }
  }
  ::RemoveDirectoryW(path_.c_str());
}

}  // namespace minidump_check
