// Reading configuration documents from disk and from URLs (decoded by their byte-order mark),
// finding the module's directory, and the ANSI conversions of the registry copy.
#include <windows.h>
#include <wininet.h>

#include <climits>
#include <cwchar>
#include <new>

#include "config/config_sources.h"
#include "common/guid_text.h"
#include "common/win_raii.h"

namespace {

struct InternetHandleTraits {
  using Handle = HINTERNET;
  static HINTERNET empty() { return nullptr; }
  static void close(HINTERNET h) { ::InternetCloseHandle(h); }
};
using UniqueInternetHandle = UniqueResource<InternetHandleTraits>;

constexpr DWORD kUrlChunk = 4096;

HRESULT lastError() {
  const DWORD error = ::GetLastError();
  return error == ERROR_SUCCESS ? E_FAIL : HRESULT_FROM_WIN32(error);
}

// The bytes from `start` on, in `codePage`.
HRESULT bytesToText(const std::string& bytes, size_t start, UINT codePage, std::wstring* text) {
  text->clear();
  if (bytes.size() <= start) return S_OK;
  if (bytes.size() - start > INT_MAX) return E_OUTOFMEMORY;
  const char* data = bytes.data() + start;
  const int length = static_cast<int>(bytes.size() - start);
  const int count = ::MultiByteToWideChar(codePage, 0, data, length, nullptr, 0);
  if (count <= 0) return lastError();
  try {
    text->resize(count);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  if (::MultiByteToWideChar(codePage, 0, data, length, text->data(), count) != count) {
    text->clear();
    return lastError();
  }
  return S_OK;
}

// A document that starts with a byte-order mark is in that encoding, mark left out; any other
// is in the ANSI code page, as documents always were. Of UTF-16 only whole code units count:
// an odd last byte cannot be part of a character.
HRESULT documentToText(const std::string& bytes, std::wstring* text) {
  text->clear();
  const auto startsWith = [&bytes](const char* mark, size_t length) {
    return bytes.size() >= length && bytes.compare(0, length, mark, length) == 0;
  };
  if (startsWith("\xEF\xBB\xBF", 3)) return bytesToText(bytes, 3, CP_UTF8, text);
  const bool little = startsWith("\xFF\xFE", 2);
  if (!little && !startsWith("\xFE\xFF", 2)) return bytesToText(bytes, 0, CP_THREAD_ACP, text);
  const size_t units = (bytes.size() - 2) / 2;
  try {
    text->resize(units);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  for (size_t i = 0; i < units; ++i) {
    const auto first = static_cast<unsigned char>(bytes[2 + 2 * i]);
    const auto second = static_cast<unsigned char>(bytes[3 + 2 * i]);
    (*text)[i] = static_cast<wchar_t>(little ? first | (second << 8) : (first << 8) | second);
  }
  return S_OK;
}

// An HTTP error page is not the document asked for. Other schemes have no status.
bool httpFailed(HINTERNET request) {
  DWORD status = 0;
  DWORD size = sizeof(status);
  if (!::HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                        nullptr)) {
    return false;
  }
  return status >= 400;
}

std::wstring registeredServerPath(const CLSID& serverClass) {
  const std::wstring key =
      L"Software\\Classes\\CLSID\\" + formatGuid(serverClass) + L"\\InprocServer32";
  // The value may change between asking for its size and reading it; try again then.
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD size = 0;
    LSTATUS status = ::RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), nullptr, RRF_RT_REG_SZ,
                                    nullptr, nullptr, &size);
    if (status != ERROR_SUCCESS || size < sizeof(wchar_t)) return {};
    std::wstring path(size / sizeof(wchar_t), L'\0');
    status = ::RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr,
                            path.data(), &size);
    if (status == ERROR_MORE_DATA) continue;
    if (status != ERROR_SUCCESS) return {};
    path.resize(wcsnlen(path.c_str(), size / sizeof(wchar_t)));
    return path;
  }
  return {};
}

}  // namespace

HRESULT readDiskFile(const std::wstring& path, std::wstring* text) {
  if (!text) return E_POINTER;
  text->clear();
  UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return E_FAIL;
  LARGE_INTEGER size;
  if (!::GetFileSizeEx(file.get(), &size)) return E_FAIL;
  if (size.QuadPart == 0) return S_OK;
  // One read takes at most 4 GB - 1; reading only the low part of a larger size would hand
  // back a cut-off document as if it were whole.
  if (size.QuadPart > MAXDWORD) return E_OUTOFMEMORY;
  const auto length = static_cast<DWORD>(size.QuadPart);

  std::string bytes;
  try {
    bytes.resize(length);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  DWORD read = 0;
  if (!::ReadFile(file.get(), bytes.data(), length, &read, nullptr) || read != length) {
    return E_FAIL;
  }
  return documentToText(bytes, text);
}

HRESULT readUrl(const std::wstring& address, std::wstring* text) {
  if (!text) return E_POINTER;
  text->clear();
  UniqueInternetHandle session(
      ::InternetOpenW(L"Zelkgrab", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (!session) return E_UNEXPECTED;
  // Flags 2 (FTP_TRANSFER_TYPE_BINARY): an ftp: address hands over its bytes unchanged; the
  // value selects nothing for http. Context 1: there is no status callback to tell apart.
  UniqueInternetHandle request(
      ::InternetOpenUrlW(session.get(), address.c_str(), nullptr, 0, 2, 1));
  if (!request) return E_UNEXPECTED;
  if (httpFailed(request.get())) return E_FAIL;

  std::string bytes;
  size_t used = 0;
  for (;;) {
    try {
      bytes.resize(used + kUrlChunk);
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
    DWORD got = 0;
    if (!::InternetReadFile(request.get(), bytes.data() + used, kUrlChunk, &got)) return E_FAIL;
    if (got == 0) break;
    used += got;
  }
  bytes.resize(used);
  return documentToText(bytes, text);
}

std::wstring moduleDirectory(HMODULE module, const CLSID& serverClass) {
  std::wstring path(500, L'\0');
  for (;;) {
    const DWORD length = ::GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
    // A full buffer may hold a cut-off path.
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  if (path.empty()) path = registeredServerPath(serverClass);
  const size_t slash = path.find_last_of(L'\\');
  if (slash == std::wstring::npos) return {};
  path.resize(slash + 1);
  return path;
}

std::string wideToAnsi(const std::wstring& text) {
  if (text.empty() || text.size() > INT_MAX) return {};
  const int length = static_cast<int>(text.size());
  const int count =
      ::WideCharToMultiByte(CP_THREAD_ACP, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  if (count <= 0) return {};
  std::string bytes(count, '\0');
  if (::WideCharToMultiByte(CP_THREAD_ACP, 0, text.data(), length, bytes.data(), count, nullptr,
                            nullptr) != count) {
    return {};
  }
  return bytes;
}

std::wstring ansiToWide(const std::string& bytes) {
  std::wstring text;
  if (FAILED(bytesToText(bytes, 0, CP_THREAD_ACP, &text))) return {};
  return text;
}
