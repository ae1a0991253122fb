// Zelkcrash.dll: an unhandled-exception filter that writes a minidump of the crashing process
// to the user's temporary folder, as <program>-<pid>-<YYYYMMDD-HHMMSS>.dmp, then ends the
// process with the exception code.
//
// The dump is written by a thread the filter starts and waits for: the crashing thread's stack
// may be nearly used up or damaged, and MiniDumpWriteDump needs a good deal of it. The wait is
// bounded, since a new thread cannot get going while the crashed one holds the loader lock.
// What can be done ahead (loading dbghelp, the file path up to its time stamp) is done when the
// filter is installed, so that a crash does as little as it can in a broken process.
#include <windows.h>
#include <dbghelp.h>

#include <atomic>

#include "common/module_proc.h"
#include "common/win_raii.h"
#include "crash/zelkcrash.h"

namespace {

constexpr DWORD kDumpWaitMs = 30000;

using MiniDumpWriteDumpProc = BOOL(WINAPI*)(HANDLE, DWORD, HANDLE, MINIDUMP_TYPE,
                                            PMINIDUMP_EXCEPTION_INFORMATION,
                                            PMINIDUMP_USER_STREAM_INFORMATION,
                                            PMINIDUMP_CALLBACK_INFORMATION);

// Room for the temporary folder, the program's name, the process id and the time stamp.
constexpr size_t kPathCapacity = 2 * MAX_PATH + 64;

// Set up once by the first call of the entry point and read-only afterwards.
struct Handler {
  MiniDumpWriteDumpProc writeDump = nullptr;
  wchar_t pathPrefix[kPathCapacity] = {};  // <temp folder><program>-<pid>-
};

Handler g_handler;
INIT_ONCE g_initOnce = INIT_ONCE_STATIC_INIT;
int g_initResult = 0;

LONG g_crashEntered = 0;
std::atomic<DWORD> g_writerThreadId{0};

struct DumpRequest {
  EXCEPTION_POINTERS* exception;
  DWORD threadId;
};

bool append(wchar_t* path, size_t& length, const wchar_t* text) {
  for (; *text; ++text) {
    if (length + 1 >= kPathCapacity) return false;
    path[length++] = *text;
  }
  path[length] = L'\0';
  return true;
}

// Decimal digits with leading zeros up to `width`; no runtime call, as the filter may run
// with the runtime's locks held by the crashed thread.
bool appendNumber(wchar_t* path, size_t& length, unsigned value, int width) {
  wchar_t digits[16];
  int count = 0;
  do {
    digits[count++] = static_cast<wchar_t>(L'0' + value % 10);
    value /= 10;
  } while (value != 0 && count < 15);
  while (count < width && count < 15) digits[count++] = L'0';
  wchar_t text[16];
  for (int i = 0; i < count; ++i) text[i] = digits[count - 1 - i];
  text[count] = L'\0';
  return append(path, length, text);
}

DWORD prepare(Handler& handler) {
  // From the system folder only: a dbghelp.dll beside the program is not ours to trust.
  wchar_t dbghelpPath[kPathCapacity];
  size_t dbghelpLength = ::GetSystemDirectoryW(dbghelpPath, MAX_PATH);
  if (dbghelpLength == 0 || dbghelpLength >= MAX_PATH) return ERROR_PATH_NOT_FOUND;
  if (!append(dbghelpPath, dbghelpLength, L"\\dbghelp.dll")) return ERROR_BUFFER_OVERFLOW;
  // Kept loaded for the life of the process: the filter may run at any time.
  HMODULE dbghelp = ::LoadLibraryW(dbghelpPath);
  if (!dbghelp) return ::GetLastError();
  handler.writeDump = moduleProc<MiniDumpWriteDumpProc>(dbghelp, "MiniDumpWriteDump");
  if (!handler.writeDump) return ::GetLastError();

  wchar_t folder[MAX_PATH + 1];
  const DWORD folderLength = ::GetTempPathW(MAX_PATH + 1, folder);
  if (folderLength == 0 || folderLength > MAX_PATH) return ERROR_PATH_NOT_FOUND;

  wchar_t program[MAX_PATH];
  const DWORD programLength = ::GetModuleFileNameW(nullptr, program, MAX_PATH);
  if (programLength == 0 || programLength >= MAX_PATH) return ERROR_BAD_PATHNAME;
  wchar_t* name = program;
  for (wchar_t* p = program; *p; ++p) {
    if (*p == L'\\' || *p == L'/') name = p + 1;
  }
  if (wchar_t* dot = wcsrchr(name, L'.')) *dot = L'\0';

  size_t length = 0;
  if (!append(handler.pathPrefix, length, folder) || !append(handler.pathPrefix, length, name) ||
      !append(handler.pathPrefix, length, L"-") ||
      !appendNumber(handler.pathPrefix, length, ::GetCurrentProcessId(), 1) ||
      !append(handler.pathPrefix, length, L"-")) {
    return ERROR_BUFFER_OVERFLOW;
  }

  // The filter lives in this module, so it must stay loaded even if the caller frees it.
  HMODULE self = nullptr;
  if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                            reinterpret_cast<LPCWSTR>(&prepare), &self)) {
    return ::GetLastError();
  }
  return ERROR_SUCCESS;
}

bool dumpPath(wchar_t* path) {
  size_t length = 0;
  if (!append(path, length, g_handler.pathPrefix)) return false;
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  return appendNumber(path, length, now.wYear, 4) && appendNumber(path, length, now.wMonth, 2) &&
         appendNumber(path, length, now.wDay, 2) && append(path, length, L"-") &&
         appendNumber(path, length, now.wHour, 2) && appendNumber(path, length, now.wMinute, 2) &&
         appendNumber(path, length, now.wSecond, 2) && append(path, length, L".dmp");
}

DWORD WINAPI writeDump(void* parameter) {
  g_writerThreadId = ::GetCurrentThreadId();
  const auto* request = static_cast<const DumpRequest*>(parameter);
  wchar_t path[kPathCapacity];
  if (!dumpPath(path)) return ERROR_BUFFER_OVERFLOW;
  UniqueFileHandle file(::CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return ::GetLastError();

  MINIDUMP_EXCEPTION_INFORMATION exception = {};
  exception.ThreadId = request->threadId;
  exception.ExceptionPointers = request->exception;
  exception.ClientPointers = FALSE;
  const HANDLE process = ::GetCurrentProcess();
  const DWORD processId = ::GetCurrentProcessId();
  const auto detailed =
      static_cast<MINIDUMP_TYPE>(MiniDumpWithThreadInfo | MiniDumpWithIndirectlyReferencedMemory);
  if (g_handler.writeDump(process, processId, file.get(), detailed, &exception, nullptr, nullptr)) {
    return ERROR_SUCCESS;
  }
  // An older dbghelp may refuse the richer type; a plain dump still shows where it crashed.
  LARGE_INTEGER start = {};
  if (::SetFilePointerEx(file.get(), start, nullptr, FILE_BEGIN) && ::SetEndOfFile(file.get()) &&
      g_handler.writeDump(process, processId, file.get(), MiniDumpNormal, &exception, nullptr,
                          nullptr)) {
    return ERROR_SUCCESS;
  }
  const DWORD error = ::GetLastError();
  file.reset();
  ::DeleteFileW(path);
  return error;
}

LONG WINAPI crashFilter(EXCEPTION_POINTERS* exception) {
  if (::InterlockedCompareExchange(&g_crashEntered, 1, 0) != 0) {
    // The first crash decides how the process ends. If the writer itself crashed, let the
    // crashed thread go on; any other thread waits until the first one ends the process.
    if (::GetCurrentThreadId() == g_writerThreadId) {
      ::ExitThread(exception->ExceptionRecord->ExceptionCode);
    }
    ::Sleep(kDumpWaitMs + 5000);
    return EXCEPTION_EXECUTE_HANDLER;
  }
  DumpRequest request = {exception, ::GetCurrentThreadId()};
  UniqueHandle writer(::CreateThread(nullptr, 0, writeDump, &request, 0, nullptr));
  if (writer) ::WaitForSingleObject(writer.get(), kDumpWaitMs);
  // The platform then ends the process with the exception code.
  return EXCEPTION_EXECUTE_HANDLER;
}

BOOL CALLBACK initialize(INIT_ONCE*, void*, void**) {
  const DWORD error = prepare(g_handler);
  if (error == ERROR_SUCCESS) ::SetUnhandledExceptionFilter(crashFilter);
  g_initResult = static_cast<int>(error);
  return TRUE;
}

}  // namespace

extern "C" int WINAPI Zelkcrash_InitializeDebugHandler(int flags) {
  // Flags other than 0 are reserved and mean the same as 0.
  (void)flags;
  ::InitOnceExecuteOnce(&g_initOnce, initialize, nullptr, nullptr);
  return g_initResult;
}
