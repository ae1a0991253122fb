// PNG files for the pictures of a playback.
#include "tools/zelkrec/png_folder_writer.h"

#include <cwchar>
#include <iterator>

#include "common/win_raii.h"
#include "tools/zelkrec/console_text.h"
#include "tools/zelkrec/png_encoder.h"

PngFolderWriter::PngFolderWriter(std::wstring folder) : folder_(std::move(folder)) {}

HRESULT PngFolderWriter::consume(const RgbPicture& picture) {
  wchar_t name[32];
  std::swprintf(name, std::size(name), L"frame-%06lld.png", next_);
  const std::wstring path = folder_ + L"\\" + name;
  if (!encodePng(picture, &file_)) {
    failure_ = "encoding " + toUtf8(path) + " failed (out of memory)";
    return E_OUTOFMEMORY;
  }
  UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  HRESULT hr = S_OK;
  if (!file ||
      !::WriteFile(file.get(), file_.data(), static_cast<DWORD>(file_.size()), &written, nullptr)) {
    hr = HRESULT_FROM_WIN32(::GetLastError());
  } else if (written != file_.size()) {
    hr = STG_E_MEDIUMFULL;
  }
  if (FAILED(hr)) {
    failure_ = "writing " + toUtf8(path) + " failed: " + describeHresult(hr);
    return hr;
  }
  ++next_;
  return S_OK;
}

HRESULT prepareFolder(const std::wstring& folder) {
  if (::CreateDirectoryW(folder.c_str(), nullptr)) return S_OK;
  const DWORD error = ::GetLastError();
  const DWORD attributes = ::GetFileAttributesW(folder.c_str());
  if (error == ERROR_ALREADY_EXISTS && attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return S_OK;
  }
  return HRESULT_FROM_WIN32(error);
}
