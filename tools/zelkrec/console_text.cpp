// Console text helpers. DirectShow's own codes are not in the system message table: the
// common ones have texts here, and quartz is asked for the rest.
#include "tools/zelkrec/console_text.h"

#include <dshow.h>
#include <shellapi.h>

#include <cstdio>
#include <cwchar>

#include "common/module_proc.h"
#include "common/win_raii.h"

std::string toUtf8(const std::wstring& text) {
  if (text.empty()) return {};
  int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                   0, nullptr, nullptr);
  std::string result(size, '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), size,
                        nullptr, nullptr);
  return result;
}

std::wstring fromUtf8(const std::string& text) {
  if (text.empty()) return {};
  int size =
      ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring result(size, L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(),
                        size);
  return result;
}

std::vector<std::string> commandLineArguments() {
  int count = 0;
  wchar_t** args = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  std::vector<std::string> result;
  if (!args) return result;
  for (int i = 1; i < count; ++i) result.push_back(toUtf8(args[i]));
  ::LocalFree(args);
  return result;
}

namespace {

std::wstring systemMessage(HRESULT hr) {
  wchar_t* buffer = nullptr;
  DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(hr), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring text = length ? std::wstring(buffer, length) : std::wstring();
  ::LocalFree(buffer);
  return text;
}

// The codes a recording is likely to meet; Wine's quartz only answers "error: 0x...".
std::wstring knownDirectShowMessage(HRESULT hr) {
  static const struct {
    HRESULT code;
    const wchar_t* text;
  } kKnown[] = {
      {VFW_E_INVALIDMEDIATYPE, L"the media type is not valid"},
      {VFW_E_NOT_CONNECTED, L"a pin is not connected"},
      {VFW_E_NO_ACCEPTABLE_TYPES, L"the pins agree on no media type"},
      {VFW_E_CANNOT_CONNECT, L"no combination of filters could connect the pins"},
      {VFW_E_TYPE_NOT_ACCEPTED, L"the media type was not accepted"},
      {VFW_E_BADALIGN, L"an allocator was given an invalid alignment"},
      {VFW_E_SIZENOTSET, L"an allocator's buffer size was not set"},
      {VFW_E_WRONG_STATE, L"the operation is not valid in the filter's current state"},
      {VFW_E_NO_CLOCK, L"the graph has no reference clock"},
      {VFW_E_RUNTIME_ERROR, L"a run-time error occurred"},
  };
  for (const auto& known : kKnown) {
    if (known.code == hr) return known.text;
  }
  return {};
}

std::wstring quartzMessage(HRESULT hr) {
  using ErrorTextFn = DWORD(WINAPI*)(HRESULT, wchar_t*, DWORD);
  UniqueModule quartz(::LoadLibraryW(L"quartz.dll"));
  if (!quartz) return {};
  auto errorText = moduleProc<ErrorTextFn>(quartz.get(), "AMGetErrorTextW");
  wchar_t buffer[256] = {};
  if (!errorText || errorText(hr, buffer, ARRAYSIZE(buffer)) == 0) return {};
  // A text that only repeats the code says nothing.
  if (std::wcsstr(buffer, L"0x")) return {};
  return buffer;
}

// Messages end in ".\r\n" and start in upper case; inside parentheses neither reads well.
std::string tidy(std::wstring text) {
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ' ||
                           text.back() == L'.')) {
    text.pop_back();
  }
  if (!text.empty() && text[0] >= L'A' && text[0] <= L'Z' &&
      !(text.size() > 1 && text[1] >= L'A' && text[1] <= L'Z')) {
    text[0] = static_cast<wchar_t>(text[0] - L'A' + L'a');
  }
  return toUtf8(text);
}

}  // namespace

std::string describeHresult(HRESULT hr) {
  char code[16];
  std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(hr));
  std::wstring text = systemMessage(hr);
  if (text.empty()) text = knownDirectShowMessage(hr);
  if (text.empty()) text = quartzMessage(hr);
  if (text.empty()) return code;
  return std::string(code) + " (" + tidy(text) + ")";
}

std::string formatMegabytes(unsigned long long bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
  return text;
}

std::string frameCount(long long frames) {
  return std::to_string(frames) + (frames == 1 ? " frame" : " frames");
}

std::string formatNumber(const char* format, double value) {
  char text[32];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

std::wstring fullPath(const std::wstring& path) {
  DWORD size = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (size == 0) return path;
  std::wstring full(size, L'\0');
  size = ::GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
  full.resize(size);
  return full;
}

void say(const std::string& line) {
  std::fputs(("zelkrec: " + line + "\n").c_str(), stdout);
  std::fflush(stdout);
}

int fail(const std::string& line) {
  std::fflush(stdout);
  std::fputs(("zelkrec: " + line + "\n").c_str(), stderr);
  std::fflush(stderr);
  return 1;
}

int failWith(const std::string& what, HRESULT hr) {
  return fail(what + " failed: " + describeHresult(hr));
}
