// Reads a minidump as a debugger would: through dbghelp's stream directory, from a read-only
// view of the file. Every stream is checked to lie inside the file before it is read.
#include <windows.h>
#include <dbghelp.h>

#include "minidump_check.h"

#include <cstddef>
#include <cstdio>
#include <cstring>

#include "common/unique_resource.h"
#include "common/win_raii.h"

namespace minidump_check {
namespace {

struct MappedViewTraits {
  using Handle = void*;
  static void* empty() { return nullptr; }
  static void close(void* view) { ::UnmapViewOfFile(view); }
};
using UniqueMappedView = UniqueResource<MappedViewTraits>;

std::string utf8(const std::wstring& text) {
  const int size =
      ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return {};
  std::string result(static_cast<size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, result.data(), size, nullptr, nullptr);
  result.pop_back();
  return result;
}

std::string hex(DWORD value) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%08lX", static_cast<unsigned long>(value));
  return text;
}

bool fail(std::string* why, const std::string& text) {
  if (why) *why = text;
  return false;
}

// The stream of `type` if the dump has one that fits inside the file and is at least
// `minimumSize` bytes long.
const void* findStream(void* dump, ULONGLONG fileSize, ULONG type, ULONG minimumSize, ULONG* size) {
  MINIDUMP_DIRECTORY* directory = nullptr;
  void* stream = nullptr;
  ULONG streamSize = 0;
  if (!::MiniDumpReadDumpStream(dump, type, &directory, &stream, &streamSize) || !stream ||
      !directory) {
    return nullptr;
  }
  const ULONGLONG end =
      static_cast<ULONGLONG>(directory->Location.Rva) + directory->Location.DataSize;
  if (end > fileSize || streamSize < minimumSize) return nullptr;
  *size = streamSize;
  return stream;
}

}  // namespace

std::vector<std::wstring> dumpFiles(const std::wstring& folder, const std::wstring& program) {
  std::vector<std::wstring> names;
  const std::wstring pattern = folder + L"\\" + program + L"-*.dmp";
  WIN32_FIND_DATAW found;
  UniqueFileSearch search(::FindFirstFileW(pattern.c_str(), &found));
  if (!search) return names;
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
  } while (::FindNextFileW(search.get(), &found));
  return names;
}

bool isMinidumpOfException(const std::wstring& path, DWORD code, std::string* why) {
  const std::string name = utf8(path);
  UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file)
    return fail(why, "cannot open " + name + ": error " + std::to_string(::GetLastError()));
  LARGE_INTEGER size = {};
  if (!::GetFileSizeEx(file.get(), &size)) return fail(why, "cannot read the size of " + name);
  const auto fileSize = static_cast<ULONGLONG>(size.QuadPart);
  if (fileSize < sizeof(MINIDUMP_HEADER)) {
    return fail(why,
                name + " is too short for a minidump (" + std::to_string(fileSize) + " bytes)");
  }

  char signature[4] = {};
  DWORD read = 0;
  if (!::ReadFile(file.get(), signature, sizeof(signature), &read, nullptr) ||
      read != sizeof(signature) || std::memcmp(signature, "MDMP", sizeof(signature)) != 0) {
    return fail(why, name + " does not start with MDMP");
  }

  UniqueHandle mapping(::CreateFileMappingW(file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
  if (!mapping) return fail(why, "cannot map " + name);
  UniqueMappedView view(::MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0));
  if (!view) return fail(why, "cannot map a view of " + name);

  ULONG streamSize = 0;
  const auto* exception = static_cast<const MINIDUMP_EXCEPTION_STREAM*>(findStream(
      view.get(), fileSize, ExceptionStream, sizeof(MINIDUMP_EXCEPTION_STREAM), &streamSize));
  if (!exception) return fail(why, name + " has no exception stream");
  const DWORD found = exception->ExceptionRecord.ExceptionCode;
  if (found != code) {
    return fail(why, name + " holds exception " + hex(found) + ", not " + hex(code));
  }

  const auto* threads = static_cast<const MINIDUMP_THREAD_LIST*>(
      findStream(view.get(), fileSize, ThreadListStream, sizeof(ULONG32), &streamSize));
  if (!threads) return fail(why, name + " has no thread list");
  const ULONG32 count = threads->NumberOfThreads;
  if (count == 0 ||
      streamSize < offsetof(MINIDUMP_THREAD_LIST, Threads) + count * sizeof(MINIDUMP_THREAD)) {
    return fail(why, name + "'s thread list is empty or cut short");
  }
  for (ULONG32 i = 0; i < count; ++i) {
    if (threads->Threads[i].ThreadId == exception->ThreadId) return true;
  }
  return fail(why, name + "'s thread list lacks the crashing thread " +
                       std::to_string(exception->ThreadId));
}

}  // namespace minidump_check
