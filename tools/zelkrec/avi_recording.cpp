// Opening a recording for playback.
#include "tools/zelkrec/avi_recording.h"

#include "tools/zelkrec/console_text.h"

bool AviRecording::open(const std::wstring& path, std::string* error) {
  const HRESULT hr = file_.open(path);
  if (FAILED(hr)) {
    *error = "opening " + toUtf8(path) + " failed: " + describeHresult(hr);
    return false;
  }
  AviReadResult read = readAvi(file_.bytes());
  if (!read.ok()) {
    *error = "reading " + toUtf8(path) + " failed: " + read.error;
    return false;
  }
  contents_ = std::move(read.contents);
  return true;
}
