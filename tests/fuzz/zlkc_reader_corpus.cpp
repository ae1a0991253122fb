// Writes the committed starting corpus of the reader fuzz target with our own encoder: key,
// difference and empty samples of small frames, and a hand-assembled sample with every kind
// of item (clear marker, unknown type bytes, raw and difference records with high type bits,
// a record outside the frame, a truncated record). Run by hand: zlkc_reader_corpus <dir>.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "codec/frame_encoder.h"
#include "codec/frame_format.h"
#include "codec/frame_writer.h"
#include "zlkc_reader_input.h"

namespace {

using Bytes = std::vector<uint8_t>;

class BytesFrame : public codec::SourceFrame {
 public:
  explicit BytesFrame(Bytes bytes) : bytes_(std::move(bytes)) {}
  uint8_t* data() override { return bytes_.data(); }
  size_t length() const override { return bytes_.size(); }

 private:
  Bytes bytes_;
};

// A frame of soft gradients with a few distinct pixels, like a small screen region.
Bytes screenFrame(int32_t width, int32_t height, uint32_t shift) {
  Bytes frame(static_cast<size_t>(width) * height * 4);
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      const uint32_t pixel = ((x * 16 + shift) & 0xFF) | ((y * 32) & 0xFF) << 8 | 0x400000;
      codec::storePixel(frame.data() + 4 * (static_cast<size_t>(y) * width + x), pixel);
    }
  }
  return frame;
}

bool writeCorpusFile(const std::string& path, int32_t width, int32_t height, bool syncPoint,
               const Bytes& sample) {
  Bytes input{static_cast<uint8_t>(width - 1), static_cast<uint8_t>(height - 1),
              static_cast<uint8_t>(syncPoint ? zlkc_reader_input::kSyncPoint : 0)};
  input.insert(input.end(), sample.begin(), sample.end());
  std::ofstream file(path, std::ios::binary);
  file.write(reinterpret_cast<const char*>(input.data()),
             static_cast<std::streamsize>(input.size()));
  return static_cast<bool>(file);
}

// Encodes `frames` in order and writes each sample as corpus file `<name>-<index>`.
bool writeSequence(const std::string& dir, const std::string& name, int32_t width, int32_t height,
                   const std::vector<Bytes>& frames) {
  codec::FrameEncoder encoder;
  for (size_t i = 0; i < frames.size(); ++i) {
    Bytes out(codec::sampleCapacity(frames[i].size()));
    codec::EncodedSample sample;
    if (encoder.encode(std::make_unique<BytesFrame>(frames[i]), width, height, out.data(),
                       out.size(), &sample) != S_OK) {
      return false;
    }
    out.resize(sample.length);
    if (!writeCorpusFile(dir + "/" + name + "-" + std::to_string(i), width, height, sample.syncPoint,
                   out)) {
      return false;
    }
  }
  return true;
}

// Every item kind in one sample of a 12 x 9 frame.
bool writeMixed(const std::string& dir) {
  const int32_t width = 12, height = 9;
  const Bytes frame = screenFrame(width, height, 0);
  Bytes content(frame.begin(), frame.begin() + 4 * 3 * 2);  // 3 x 2 pixels
  Bytes sample(1000);
  codec::FrameWriter writer(sample.data(), sample.size());
  if (writer.addClearMarker() != S_OK ||
      writer.addRectangle(codec::kRawRectangle, {2, 1, 5, 3}, content.data(), 9) != S_OK) {
    return false;
  }
  for (size_t i = 0; i < content.size(); i += 4) content[i + 3] = 0xFF;  // all changed
  if (writer.addRectangle(codec::kDifferenceRectangle, {8, 6, 11, 8}, content.data(), 6) != S_OK ||
      writer.addRectangle(codec::kRawRectangle, {10, 8, 13, 10}, content.data(), 1) != S_OK ||
      writer.addRectangle(codec::kRawRectangle, {0, 0, 3, 2}, content.data(), 0) != S_OK) {
    return false;
  }
  sample.resize(writer.length());
  const size_t rawAt = 1;
  const size_t differenceAt = rawAt + 21 + (sample[rawAt + 17] | sample[rawAt + 18] << 8);
  sample[rawAt] = 0x21;
  sample[differenceAt] = 0x31;
  sample.insert(sample.begin() + differenceAt, {0x00, 0x0F, 0x12});
  sample.resize(sample.size() - 5);  // the last record runs past the end
  return writeCorpusFile(dir + "/mixed-items", width, height, false, sample);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: zlkc_reader_corpus <corpus dir>\n");
    return 2;
  }
  const std::string dir = argv[1];

  const int32_t width = 16, height = 10;
  std::vector<Bytes> frames{screenFrame(width, height, 0)};
  frames.push_back(frames.back());  // unchanged: an empty sample
  frames.push_back(frames.back());
  codec::storePixel(frames.back().data() + 4 * (3 * width + 5), 0);  // one pixel to black
  frames.push_back(frames.back());
  for (int32_t y = 4; y < 8; ++y) {
    for (int32_t x = 2; x < 9; ++x) {
      codec::storePixel(frames.back().data() + 4 * (static_cast<size_t>(y) * width + x),
                        0x00FFFFFF);
    }
  }
  frames.push_back(screenFrame(width, height, 40));  // all changed: promoted to a key sample

  const bool written = writeSequence(dir, "screen", width, height, frames) &&
                       writeSequence(dir, "single-pixel", 1, 1, {Bytes{1, 2, 3, 0}}) &&
                       writeMixed(dir);
  if (!written) {
    std::fprintf(stderr, "zlkc_reader_corpus: could not write the corpus to %s\n", dir.c_str());
    return 1;
  }
  return 0;
}
