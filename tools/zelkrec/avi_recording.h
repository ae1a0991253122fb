// A recording opened for playback: the file mapped into memory and what the AVI reader found
// in it. The command that opens it and the source filter that delivers its frames share it;
// nothing changes it once opened, so any thread may read it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <span>
#include <string>

#include "tools/zelkrec/avi_reader.h"
#include "tools/zelkrec/mapped_file.h"

class AviRecording {
 public:
  // False with a one-line `error` ("reading X failed: ...") when the file cannot be opened or
  // is no AVI file with a video stream.
  bool open(const std::wstring& path, std::string* error);

  std::span<const std::uint8_t> bytes() const { return file_.bytes(); }
  const AviContents& contents() const { return contents_; }
  const AviVideoFormat& video() const { return contents_.video; }
  std::span<const std::uint8_t> frame(size_t index) const {
    return frameBytes(file_.bytes(), contents_.frames[index]);
  }

 private:
  MappedFile file_;
  AviContents contents_;
};
