// Writes each picture of a playback as a PNG file into one folder, numbered from 0 in stream
// order: frame-000000.png, frame-000001.png, ... (files of those names are replaced). The frame
// sink calls it on the streaming thread.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tools/zelkrec/frame_consumer.h"

// Creates the folder if it is not there; a file of that name is an error.
HRESULT prepareFolder(const std::wstring& folder);

class PngFolderWriter final : public FrameConsumer {
 public:
  // `folder` exists.
  explicit PngFolderWriter(std::wstring folder);

  HRESULT consume(const RgbPicture& picture) override;
  std::string failure() const override { return failure_; }

 private:
  std::wstring folder_;
  long long next_ = 0;
  std::vector<std::uint8_t> file_;  // kept from one frame to the next
  std::string failure_;
};
