// Zelkcrash.dll in a process that really crashes: crashing_program.exe installs the handler and
// writes through a null pointer, with TMP and TEMP pointing at a fresh folder of the test. It
// must end with the access violation's code and leave exactly one minidump there, named for the
// program, its process id and the time, that holds the exception and the crashing thread.
#include <windows.h>

#include <gtest/gtest.h>

#include <cwchar>
#include <cwctype>
#include <memory>
#include <string>
#include <string_view>

#include "common/com_registration.h"
#include "common/win_raii.h"
#include "minidump_check.h"
#include "scratch_folder.h"

namespace {

using minidump_check::ScratchFolder;

// Starting a Wine process and writing the dump take a second or two; this is far beyond that.
constexpr DWORD kProgramWaitMs = 60000;

std::wstring besideThisProgram(const wchar_t* name) {
  std::wstring path = modulePath(nullptr);
  return path.substr(0, path.find_last_of(L"\\/") + 1) + name;
}

bool startsWithName(std::wstring_view entry, std::wstring_view name) {
  if (entry.size() < name.size()) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    if (std::towupper(entry[i]) != std::towupper(name[i])) return false;
  }
  return true;
}

// This process's environment with TMP and TEMP set to `folder`, as CreateProcessW takes it.
std::wstring environmentWithTemp(const std::wstring& folder) {
  struct FreeStrings {
    void operator()(wchar_t* strings) const { ::FreeEnvironmentStringsW(strings); }
  };
  std::unique_ptr<wchar_t, FreeStrings> strings(::GetEnvironmentStringsW());
  std::wstring block;
  for (const wchar_t* entry = strings.get(); entry && *entry; entry += wcslen(entry) + 1) {
    if (startsWithName(entry, L"TMP=") || startsWithName(entry, L"TEMP=")) continue;
    block.append(entry).push_back(L'\0');
  }
  block.append(L"TMP=" + folder).push_back(L'\0');
  block.append(L"TEMP=" + folder).push_back(L'\0');
  block.push_back(L'\0');
  return block;
}

struct Outcome {
  DWORD processId = 0;
  DWORD exitCode = 0;
};

// Runs crashing_program.exe with `argument` and the temporary folder `folder` until it ends.
void runCrashingProgram(const std::wstring& folder, const wchar_t* argument, Outcome* outcome) {
  const std::wstring path = besideThisProgram(L"crashing_program.exe");
  std::wstring line = L"\"" + path + L"\"";
  if (argument) line += std::wstring(L" ") + argument;
  std::wstring environment = environmentWithTemp(folder);
  STARTUPINFOW startup = {sizeof(startup)};
  PROCESS_INFORMATION started = {};
  ASSERT_TRUE(::CreateProcessW(path.c_str(), line.data(), nullptr, nullptr, FALSE,
                               CREATE_UNICODE_ENVIRONMENT, environment.data(), nullptr, &startup,
                               &started))
      << "error " << ::GetLastError();
  UniqueHandle process(started.hProcess);
  UniqueHandle thread(started.hThread);
  outcome->processId = started.dwProcessId;
  if (::WaitForSingleObject(process.get(), kProgramWaitMs) != WAIT_OBJECT_0) {
    ::TerminateProcess(process.get(), 1);
    ::WaitForSingleObject(process.get(), 5000);
    FAIL() << "crashing_program.exe did not end within " << kProgramWaitMs << " ms";
  }
  ASSERT_TRUE(::GetExitCodeProcess(process.get(), &outcome->exitCode));
}

bool isDigits(std::wstring_view text) {
  if (text.empty()) return false;
  for (wchar_t c : text) {
    if (c < L'0' || c > L'9') return false;
  }
  return true;
}

// Exactly one dump of the crash in `folder`, named crashing_program-<pid>-YYYYMMDD-HHMMSS.dmp and
// holding the access violation.
void expectOneDumpOfAccessViolation(const std::wstring& folder, const Outcome& outcome) {
  const auto names = minidump_check::dumpFiles(folder, L"crashing_program");
  ASSERT_EQ(names.size(), 1u);
  const std::wstring& name = names.front();
  const std::wstring prefix = L"crashing_program-" + std::to_wstring(outcome.processId) + L"-";
  ASSERT_EQ(name.rfind(prefix, 0), 0u) << "the name holds the process id";
  const std::wstring_view stamp = std::wstring_view(name).substr(prefix.size());
  ASSERT_EQ(stamp.size(), 19u) << "YYYYMMDD-HHMMSS.dmp";
  EXPECT_TRUE(isDigits(stamp.substr(0, 8)));
  EXPECT_EQ(stamp[8], L'-');
  EXPECT_TRUE(isDigits(stamp.substr(9, 6)));
  EXPECT_EQ(stamp.substr(15), L".dmp");

  std::string why;
  EXPECT_TRUE(minidump_check::isMinidumpOfException(folder + L"\\" + name,
                                                    EXCEPTION_ACCESS_VIOLATION, &why))
      << why;
}

TEST(CrashHandler, CrashEndsWithItsCodeAndLeavesOneMinidumpOfIt) {
  ScratchFolder folder;
  ASSERT_FALSE(folder.path().empty());
  Outcome outcome;
  ASSERT_NO_FATAL_FAILURE(runCrashingProgram(folder.path(), nullptr, &outcome));
  EXPECT_EQ(outcome.exitCode, static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION))
      << "exit code 0x" << std::hex << outcome.exitCode;
  expectOneDumpOfAccessViolation(folder.path(), outcome);
}

TEST(CrashHandler, SecondInitializationStillLeavesOneMinidump) {
  ScratchFolder folder;
  ASSERT_FALSE(folder.path().empty());
  Outcome outcome;
  ASSERT_NO_FATAL_FAILURE(runCrashingProgram(folder.path(), L"twice", &outcome));
  EXPECT_EQ(outcome.exitCode, static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION))
      << "exit code 0x" << std::hex << outcome.exitCode;
  expectOneDumpOfAccessViolation(folder.path(), outcome);
}

}  // namespace
