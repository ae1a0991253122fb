// Small AVI files built in memory for the player's unit tests: one video stream of given
// frames, with an index relative to 'movi', with absolute offsets or none, optionally behind
// an audio stream, with frames inside 'rec ' lists and with a further 'AVIX' part.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace avi_test {

using Bytes = std::vector<std::uint8_t>;

inline void putWord(Bytes* out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

inline void putHalf(Bytes* out, std::uint16_t value) {
  out->push_back(static_cast<std::uint8_t>(value));
  out->push_back(static_cast<std::uint8_t>(value >> 8));
}

inline void putTag(Bytes* out, const std::string& tag) {
  out->insert(out->end(), tag.begin(), tag.end());
}

inline void append(Bytes* out, const Bytes& more) {
  out->insert(out->end(), more.begin(), more.end());
}

// A chunk, padded to an even size.
inline Bytes chunk(const std::string& id, const Bytes& payload) {
  Bytes out;
  putTag(&out, id);
  putWord(&out, static_cast<std::uint32_t>(payload.size()));
  append(&out, payload);
  if (payload.size() % 2) out.push_back(0);
  return out;
}

inline Bytes list(const std::string& type, const std::vector<Bytes>& items,
                  const std::string& kind = "LIST") {
  Bytes payload;
  putTag(&payload, type);
  for (const Bytes& item : items) append(&payload, item);
  return chunk(kind, payload);
}

inline Bytes streamHeader(const std::string& type, std::uint32_t scale, std::uint32_t rate) {
  Bytes out;
  putTag(&out, type);
  putTag(&out, type == "vids" ? std::string("DIB ") : std::string(4, '\0'));
  for (int i = 0; i < 3; ++i) putWord(&out, 0);  // flags, priority and language, initial frames
  putWord(&out, scale);
  putWord(&out, rate);
  for (int i = 0; i < 5; ++i) putWord(&out, 0);  // start, length, buffer size, quality, sample size
  for (int i = 0; i < 4; ++i) putHalf(&out, 0);  // rcFrame
  return chunk("strh", out);
}

inline Bytes bitmapHeader(std::int32_t width, std::int32_t height, std::uint16_t bitCount,
                          std::uint32_t compression, const Bytes& after = {}) {
  Bytes out;
  putWord(&out, 40);
  putWord(&out, static_cast<std::uint32_t>(width));
  putWord(&out, static_cast<std::uint32_t>(height));
  putHalf(&out, 1);
  putHalf(&out, bitCount);
  putWord(&out, compression);
  for (int i = 0; i < 5; ++i) putWord(&out, 0);  // size, resolution, colours
  append(&out, after);
  return out;
}

struct Frame {
  Bytes bytes;
  bool key = true;
};

struct File {
  enum class Index { None, MoviRelative, Absolute };

  Bytes format = bitmapHeader(2, 2, 32, 0);  // the 'strf' payload
  std::uint32_t scale = 1;
  std::uint32_t rate = 10;
  std::uint32_t microsecondsPerFrame = 100000;
  std::vector<Frame> frames;
  Index index = Index::MoviRelative;
  bool audioFirst = false;       // an audio stream before the video, whose chunks are "00wb"
  bool recordLists = false;      // every frame inside a 'rec ' list
  std::vector<Frame> extension;  // frames of a following 'RIFF AVIX' part

  std::string frameId() const {
    const std::string stream = audioFirst ? "01" : "00";
    const bool uncompressed = format.size() >= 20 && format[16] == 0 && format[17] == 0 &&
                              format[18] == 0 && (format[19] == 0 || format[19] == 3);
    return stream + (uncompressed ? "db" : "dc");
  }

  Bytes build() const {
    Bytes mainHeader;
    putWord(&mainHeader, microsecondsPerFrame);
    for (int i = 0; i < 13; ++i) putWord(&mainHeader, 0);
    std::vector<Bytes> headers = {chunk("avih", mainHeader)};
    if (audioFirst) {
      headers.push_back(list("strl", {streamHeader("auds", 1, 8000), chunk("strf", Bytes(16))}));
    }
    headers.push_back(list("strl", {streamHeader("vids", scale, rate), chunk("strf", format)}));
    const Bytes headerList = list("hdrl", headers);

    // 'movi' starts after the RIFF header and the header list; its items after its type.
    const std::uint32_t moviType = static_cast<std::uint32_t>(12 + headerList.size() + 8);
    Bytes items;
    Bytes entries;
    for (const Frame& frame : frames) {
      if (audioFirst) append(&items, chunk("00wb", Bytes(3, 7)));
      Bytes framed = chunk(frameId(), frame.bytes);
      if (recordLists) {
        framed = list("rec ", {framed});
      }
      const std::uint32_t at =
          static_cast<std::uint32_t>(moviType + 4 + items.size() + (recordLists ? 12 : 0));
      putTag(&entries, frameId());
      putWord(&entries, frame.key ? 0x10 : 0);
      putWord(&entries, index == Index::Absolute ? at : at - moviType);
      putWord(&entries, static_cast<std::uint32_t>(frame.bytes.size()));
      append(&items, framed);
    }
    Bytes moviPayload;
    putTag(&moviPayload, "movi");
    append(&moviPayload, items);
    Bytes contents;
    putTag(&contents, "AVI ");
    append(&contents, headerList);
    append(&contents, chunk("LIST", moviPayload));
    if (index != Index::None) append(&contents, chunk("idx1", entries));
    Bytes out = chunk("RIFF", contents);
    if (!extension.empty()) {
      std::vector<Bytes> more;
      for (const Frame& frame : extension) more.push_back(chunk(frameId(), frame.bytes));
      append(&out, list("AVIX", {list("movi", more)}, "RIFF"));
    }
    return out;
  }
};

}  // namespace avi_test
