// Rebuilds the picture from compressed samples: keeps the reconstruction of a W x H frame of
// 32-bit pixels between samples and applies each sample's items to it (clear, raw rectangle,
// difference rectangle). Samples are untrusted input: every record is checked against the
// frame and the sample before it is applied, and nothing outside the picture and the
// inflation scratch is ever written. Portable: no <windows.h>.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "codec/record_header.h"
#include "codec/parallel_inflate.h"
#include "common/portable.h"

namespace codec {

class FrameReader {
 public:
  // Gives the picture a size. A new size starts from a black picture; the same size keeps
  // it. E_INVALIDARG for sizes below 1 or too large to address, E_OUTOFMEMORY (the reader
  // then has no picture and width() and height() are 0).
  HRESULT setSize(int32_t width, int32_t height);

  // Applies one sample of `length` bytes; a sync point starts from black. Items are read in
  // order: a record that does not fit the frame or does not inflate to exactly its
  // rectangle is skipped, a record that runs past the end of the sample ends the reading.
  // Does nothing before setSize has succeeded.
  void applySample(const uint8_t* sample, size_t length, bool syncPoint);

  int32_t width() const { return width_; }
  int32_t height() const { return height_; }

  // width() x height() pixels, rows of width() words in memory order, no padding.
  const uint32_t* pixels() const { return picture_.get(); }

 private:
  void clearPicture();
  void applyRecord(const RecordHeader& header, const uint8_t* compressed);

  int32_t width_ = 0;
  int32_t height_ = 0;
  std::unique_ptr<uint32_t[]> picture_;
  std::unique_ptr<uint32_t[]> scratch_;  // inflated record content, never applied stale
  bool black_ = false;  // every pixel 0: nothing applied since the last clear
  ParallelInflater inflater_;
};

}  // namespace codec
