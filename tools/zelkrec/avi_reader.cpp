// The AVI reader: a chunk splitter that checks every size against the list around it, and the
// few chunks of the header, the frame lists and the index that a player needs.
#include "tools/zelkrec/avi_reader.h"

#include <optional>

#include "tools/zelkrec/fourcc.h"

namespace {

constexpr std::uint32_t kRiff = fourcc("RIFF");
constexpr std::uint32_t kList = fourcc("LIST");
constexpr std::uint32_t kAvi = fourcc("AVI ");
constexpr std::uint32_t kAviExtension = fourcc("AVIX");
constexpr std::uint32_t kHeaderList = fourcc("hdrl");
constexpr std::uint32_t kMainHeader = fourcc("avih");
constexpr std::uint32_t kStreamList = fourcc("strl");
constexpr std::uint32_t kStreamHeader = fourcc("strh");
constexpr std::uint32_t kStreamFormat = fourcc("strf");
constexpr std::uint32_t kFrameList = fourcc("movi");
constexpr std::uint32_t kIndex = fourcc("idx1");
constexpr std::uint32_t kVideoStream = fourcc("vids");

constexpr std::uint32_t kKeyFrameFlag = 0x10;  // AVIIF_KEYFRAME
constexpr std::uint64_t kChunkHeaderSize = 8;
constexpr std::uint64_t kIndexEntrySize = 16;
constexpr std::uint32_t kStreamHeaderMinSize = 48;  // up to dwSampleSize; rcFrame is optional
constexpr std::uint32_t kBitmapHeaderSize = 40;
constexpr std::uint32_t kMaxStreamNumber = 99;  // chunk names hold two digits
// Deeper nesting serves no writer; the bound keeps a hostile file from exhausting the stack.
constexpr int kMaxListDepth = 8;

struct Chunk {
  std::uint32_t id = 0;
  std::uint64_t offset = 0;  // of the chunk header
  std::uint64_t data = 0;    // of the first byte after the header (a list's type)
  std::uint32_t size = 0;
  std::uint32_t listType = 0;  // RIFF and LIST only

  bool isList() const { return id == kRiff || id == kList; }
  std::uint64_t contentStart() const { return data + 4; }
  std::uint64_t end() const { return data + size; }
};

std::string number(std::uint64_t value) { return std::to_string(value); }

std::string chunkName(const Chunk& chunk) {
  if (chunk.isList()) return "'" + fourccText(chunk.listType) + "' list";
  return "'" + fourccText(chunk.id) + "' chunk";
}

std::uint32_t streamChunkId(std::uint32_t stream, char first, char second) {
  const char text[5] = {static_cast<char>('0' + stream / 10), static_cast<char>('0' + stream % 10),
                        first, second, '\0'};
  return fourcc(text);
}

class AviParser {
 public:
  explicit AviParser(std::span<const std::uint8_t> file) : file_(file) {}

  AviReadResult read();

 private:
  // Callers check the range first.
  std::uint32_t word(std::uint64_t offset) const {
    const std::uint8_t* p = file_.data() + offset;
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
  }
  std::uint16_t half(std::uint64_t offset) const {
    return static_cast<std::uint16_t>(file_[offset] | file_[offset + 1] << 8);
  }

  bool fail(std::string error) {
    error_ = std::move(error);
    return false;
  }
  // The chunks of [begin, end), the contents of `where`.
  bool split(std::uint64_t begin, std::uint64_t end, const std::string& where,
             std::vector<Chunk>* chunks);
  bool readHeaderList(const Chunk& headers);
  bool readStreamList(const Chunk& list, std::uint32_t stream);
  bool readFramePeriod();
  // Answers whether the index was usable; a broken one is no error, since `movi` still holds
  // the frames.
  bool readIndex(const Chunk& index, const Chunk& frameList);
  std::optional<std::uint64_t> indexBase(std::uint32_t id, std::uint32_t offset,
                                         const Chunk& frameList) const;
  bool scanFrames(const Chunk& list, int depth);
  void repeatDroppedFrames();

  std::span<const std::uint8_t> file_;
  AviContents contents_;
  bool haveVideo_ = false;
  std::uint32_t microsecondsPerFrame_ = 0;
  std::uint32_t scale_ = 0;
  std::uint32_t rate_ = 0;
  std::uint32_t compressedId_ = 0;
  std::uint32_t uncompressedId_ = 0;
  std::string error_;
};

bool AviParser::split(std::uint64_t begin, std::uint64_t end, const std::string& where,
                      std::vector<Chunk>* chunks) {
  std::uint64_t at = begin;
  // Fewer bytes than a chunk header at the end of a list are padding some writers leave.
  while (at < end && end - at >= kChunkHeaderSize) {
    Chunk chunk;
    chunk.offset = at;
    chunk.id = word(at);
    chunk.size = word(at + 4);
    chunk.data = at + kChunkHeaderSize;
    if (chunk.size > end - chunk.data) {
      return fail("the '" + fourccText(chunk.id) + "' chunk at offset " + number(at) + " is " +
                  number(chunk.size) + " bytes long, past the end of " + where + " (offset " +
                  number(end) + "): the file is damaged or truncated");
    }
    if (chunk.isList()) {
      if (chunk.size < 4) {
        return fail("the list at offset " + number(at) + " is too short to name its type");
      }
      chunk.listType = word(chunk.data);
    }
    chunks->push_back(chunk);
    // Chunks are padded to an even size; a last chunk may lack its pad byte.
    at = chunk.end() + (chunk.size & 1);
  }
  return true;
}

AviReadResult AviParser::read() {
  AviReadResult result;
  if (file_.size() < 12) {
    result.error = "not an AVI file: only " + number(file_.size()) + " bytes";
    return result;
  }
  if (word(0) != kRiff || word(8) != kAvi) {
    result.error = "not an AVI file (it does not start with 'RIFF' and 'AVI ')";
    return result;
  }
  std::vector<Chunk> parts;
  std::vector<Chunk> top;
  if (!split(0, file_.size(), "the file", &parts) ||
      !split(parts[0].contentStart(), parts[0].end(), "the 'AVI ' list", &top)) {
    result.error = error_;
    return result;
  }
  const Chunk* headers = nullptr;
  const Chunk* frameList = nullptr;
  const Chunk* index = nullptr;
  for (const Chunk& chunk : top) {
    if (chunk.id == kList && chunk.listType == kHeaderList && !headers) headers = &chunk;
    if (chunk.id == kList && chunk.listType == kFrameList && !frameList) frameList = &chunk;
    if (chunk.id == kIndex && !index) index = &chunk;
  }
  bool ok = true;
  if (!headers) {
    ok = fail("the file has no header list ('hdrl')");
  } else if (!frameList) {
    ok = fail("the file has no frame list ('movi')");
  } else {
    ok = readHeaderList(*headers) && readFramePeriod();
  }
  if (ok && !(index && readIndex(*index, *frameList))) ok = scanFrames(*frameList, 0);
  // Past 1 GB a recording goes on in further RIFF parts, each with frames of its own.
  for (size_t i = 1; ok && i < parts.size(); ++i) {
    if (parts[i].id != kRiff || parts[i].listType != kAviExtension) continue;
    std::vector<Chunk> lists;
    ok = split(parts[i].contentStart(), parts[i].end(), "the 'AVIX' list", &lists);
    for (size_t j = 0; ok && j < lists.size(); ++j) {
      if (lists[j].id == kList && lists[j].listType == kFrameList) ok = scanFrames(lists[j], 0);
    }
  }
  if (!ok) {
    result.error = error_;
    return result;
  }
  repeatDroppedFrames();
  result.contents = std::move(contents_);
  return result;
}

bool AviParser::readHeaderList(const Chunk& headers) {
  std::vector<Chunk> chunks;
  if (!split(headers.contentStart(), headers.end(), "the 'hdrl' list", &chunks)) return false;
  std::uint32_t streams = 0;
  for (const Chunk& chunk : chunks) {
    if (chunk.id == kMainHeader && chunk.size >= 4) microsecondsPerFrame_ = word(chunk.data);
    if (chunk.id == kList && chunk.listType == kStreamList && !readStreamList(chunk, streams++)) {
      return false;
    }
  }
  return haveVideo_ || fail("the file has no video stream");
}

bool AviParser::readStreamList(const Chunk& list, std::uint32_t stream) {
  if (haveVideo_ || stream > kMaxStreamNumber) return true;
  std::vector<Chunk> chunks;
  if (!split(list.contentStart(), list.end(), "the 'strl' list", &chunks)) return false;
  const Chunk* header = nullptr;
  const Chunk* format = nullptr;
  for (const Chunk& chunk : chunks) {
    if (chunk.id == kStreamHeader && !header) header = &chunk;
    if (chunk.id == kStreamFormat && !format) format = &chunk;
  }
  const std::string name = "stream " + number(stream);
  if (!header) return fail(name + " has no header ('strh')");
  if (header->size < kStreamHeaderMinSize) {
    return fail("the header of " + name + " is only " + number(header->size) + " bytes");
  }
  if (word(header->data) != kVideoStream) return true;

  if (!format) return fail("the video stream has no format ('strf')");
  if (format->size < kBitmapHeaderSize) {
    return fail("the video stream's format is only " + number(format->size) +
                " bytes, too short for a bitmap header");
  }
  const std::uint32_t headerSize = word(format->data);
  if (headerSize < kBitmapHeaderSize || headerSize > format->size) {
    return fail("the video stream's bitmap header gives its size as " + number(headerSize) +
                " bytes, but its chunk holds " + number(format->size));
  }
  AviVideoFormat& video = contents_.video;
  video.width = static_cast<std::int32_t>(word(format->data + 4));
  video.height = static_cast<std::int32_t>(word(format->data + 8));
  video.bitCount = half(format->data + 14);
  video.compression = word(format->data + 16);
  video.imageSize = word(format->data + 20);
  if (video.width <= 0 || video.height == 0 || video.height == INT32_MIN) {
    return fail("the video stream's picture size " + std::to_string(video.width) + " x " +
                std::to_string(video.height) + " is not valid");
  }
  video.streamNumber = stream;
  video.handler = word(header->data + 4);
  scale_ = word(header->data + 20);
  rate_ = word(header->data + 24);
  video.header.assign(file_.begin() + format->data, file_.begin() + format->end());
  compressedId_ = streamChunkId(stream, 'd', 'c');
  uncompressedId_ = streamChunkId(stream, 'd', 'b');
  haveVideo_ = true;
  return true;
}

// The stream's own rate is exact; the main header's microseconds are the fallback.
bool AviParser::readFramePeriod() {
  std::int64_t period = 0;
  if (scale_ > 0 && rate_ > 0) {
    period = static_cast<std::int64_t>((10'000'000ull * scale_ + rate_ / 2) / rate_);
  }
  if (period <= 0) period = static_cast<std::int64_t>(microsecondsPerFrame_) * 10;
  if (period <= 0) return fail("the file names no frame rate");
  contents_.video.framePeriod = period;
  return true;
}

// Index offsets count from the 'movi' list's type or, as some writers have it, from the file's
// start; the first entry of the stream tells which.
std::optional<std::uint64_t> AviParser::indexBase(std::uint32_t id, std::uint32_t offset,
                                                  const Chunk& frameList) const {
  for (const std::uint64_t base : {frameList.data, std::uint64_t{0}}) {
    const std::uint64_t at = base + offset;
    if (at >= frameList.contentStart() && at + kChunkHeaderSize <= frameList.end() &&
        word(at) == id) {
      return base;
    }
  }
  return std::nullopt;
}

bool AviParser::readIndex(const Chunk& index, const Chunk& frameList) {
  std::vector<AviFrame> frames;
  std::optional<std::uint64_t> base;
  const std::uint64_t entries = index.size / kIndexEntrySize;
  for (std::uint64_t i = 0; i < entries; ++i) {
    const std::uint64_t entry = index.data + i * kIndexEntrySize;
    const std::uint32_t id = word(entry);
    if (id != compressedId_ && id != uncompressedId_) continue;
    const std::uint32_t flags = word(entry + 4);
    const std::uint32_t offset = word(entry + 8);
    const std::uint32_t size = word(entry + 12);
    if (!base) base = indexBase(id, offset, frameList);
    if (!base) return false;
    const std::uint64_t at = *base + offset;
    if (at < frameList.contentStart() || at + kChunkHeaderSize > frameList.end() ||
        word(at) != id || size > word(at + 4) || size > frameList.end() - (at + kChunkHeaderSize)) {
      return false;
    }
    frames.push_back({at + kChunkHeaderSize, size, (flags & kKeyFrameFlag) != 0});
  }
  if (frames.empty()) return false;
  contents_.frames = std::move(frames);
  contents_.indexed = true;
  return true;
}

bool AviParser::scanFrames(const Chunk& list, int depth) {
  if (depth > kMaxListDepth) {
    return fail("the lists at offset " + number(list.offset) + " are nested deeper than " +
                number(kMaxListDepth) + " levels");
  }
  std::vector<Chunk> chunks;
  if (!split(list.contentStart(), list.end(),
             "the " + chunkName(list) + " at offset " + number(list.offset), &chunks)) {
    return false;
  }
  for (const Chunk& chunk : chunks) {
    if (chunk.isList()) {
      if (!scanFrames(chunk, depth + 1)) return false;
    } else if (chunk.id == compressedId_ || chunk.id == uncompressedId_) {
      const bool key = contents_.video.uncompressed() || contents_.frames.empty();
      contents_.frames.push_back({chunk.data, chunk.size, key});
    }
  }
  return true;
}

void AviParser::repeatDroppedFrames() {
  if (!contents_.video.uncompressed()) return;
  std::vector<AviFrame>& frames = contents_.frames;
  for (size_t i = 1; i < frames.size(); ++i) {
    if (frames[i].size == 0) {
      frames[i].offset = frames[i - 1].offset;
      frames[i].size = frames[i - 1].size;
    }
  }
}

}  // namespace

AviReadResult readAvi(std::span<const std::uint8_t> file) { return AviParser(file).read(); }

std::span<const std::uint8_t> frameBytes(std::span<const std::uint8_t> file,
                                         const AviFrame& frame) {
  return file.subspan(frame.offset, frame.size);
}
