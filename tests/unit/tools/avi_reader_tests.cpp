// The AVI reader on hand-built files, natively under the sanitizers: the format and frames from
// the index (both offset bases) and from scanning, the stream number, padding, dropped frames,
// the frame period, further RIFF parts, and damaged files, which must give an error and never
// a read outside the bytes.
#include <gtest/gtest.h>

#include "tests/unit/tools/avi_test_file.h"
#include "tools/zelkrec/avi_reader.h"
#include "tools/zelkrec/fourcc.h"

namespace {

using avi_test::Bytes;
using avi_test::File;

constexpr std::uint32_t kZlkc = 0x434B4C5A;

Bytes frameOf(std::uint8_t value, size_t size = 16) { return Bytes(size, value); }

File threeFrames() {
  File file;
  file.frames = {{frameOf(1), true}, {frameOf(2), false}, {frameOf(3), true}};
  return file;
}

File compressed() {
  File file;
  file.format = avi_test::bitmapHeader(2, 2, 32, kZlkc);
  file.frames = {{frameOf(1, 5), true}, {frameOf(2, 0), false}, {frameOf(3, 7), false}};
  return file;
}

Bytes bytesOf(const Bytes& file, const AviFrame& frame) {
  const auto span = frameBytes(file, frame);
  return Bytes(span.begin(), span.end());
}

void expectFrames(const Bytes& file, const AviReadResult& read,
                  const std::vector<avi_test::Frame>& want, bool keysFromFile) {
  ASSERT_TRUE(read.ok()) << read.error;
  ASSERT_EQ(read.contents.frames.size(), want.size());
  for (size_t i = 0; i < want.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(bytesOf(file, read.contents.frames[i]), want[i].bytes);
    if (keysFromFile) {
      EXPECT_EQ(read.contents.frames[i].key, want[i].key);
    }
  }
}

TEST(AviReaderTest, ReadsTheFormatAndTheIndexedFrames) {
  const File recipe = threeFrames();
  const Bytes file = recipe.build();
  const AviReadResult read = readAvi(file);
  expectFrames(file, read, recipe.frames, true);
  const AviVideoFormat& video = read.contents.video;
  EXPECT_TRUE(read.contents.indexed);
  EXPECT_EQ(video.streamNumber, 0u);
  EXPECT_EQ(video.width, 2);
  EXPECT_EQ(video.height, 2);
  EXPECT_EQ(video.bitCount, 32);
  EXPECT_EQ(video.compression, 0u);
  EXPECT_TRUE(video.uncompressed());
  EXPECT_EQ(video.handler, fourcc("DIB "));
  EXPECT_EQ(video.framePeriod, 1'000'000);
  EXPECT_EQ(video.header, recipe.format);
}

TEST(AviReaderTest, IndexOffsetsMayCountFromTheFileStart) {
  File recipe = threeFrames();
  recipe.index = File::Index::Absolute;
  const Bytes file = recipe.build();
  const AviReadResult read = readAvi(file);
  expectFrames(file, read, recipe.frames, true);
  EXPECT_TRUE(read.contents.indexed);
}

TEST(AviReaderTest, WithoutAnIndexScansTheFrameListAndItsRecordLists) {
  File recipe = threeFrames();
  recipe.index = File::Index::None;
  recipe.recordLists = true;
  const Bytes file = recipe.build();
  const AviReadResult read = readAvi(file);
  expectFrames(file, read, recipe.frames, false);
  EXPECT_FALSE(read.contents.indexed);
  // Every uncompressed frame is a picture of its own.
  for (const AviFrame& frame : read.contents.frames) EXPECT_TRUE(frame.key);

  File packed = compressed();
  packed.index = File::Index::None;
  const Bytes packedFile = packed.build();
  const AviReadResult packedRead = readAvi(packedFile);
  expectFrames(packedFile, packedRead, packed.frames, true);
}

TEST(AviReaderTest, CompressedFramesKeepTheirKeyFlagsAndEmptySamples) {
  const File recipe = compressed();
  const Bytes file = recipe.build();
  const AviReadResult read = readAvi(file);
  expectFrames(file, read, recipe.frames, true);
  EXPECT_FALSE(read.contents.video.uncompressed());
  EXPECT_EQ(fourccText(read.contents.video.compression), "ZLKC");
}

TEST(AviReaderTest, RecordListsInTheIndexAndOddSizesWithTheirPadding) {
  File recipe;
  recipe.recordLists = true;
  recipe.frames = {{frameOf(1, 3), true}, {frameOf(2, 5), true}, {frameOf(3, 1), true}};
  for (File::Index index : {File::Index::MoviRelative, File::Index::None}) {
    recipe.index = index;
    const Bytes file = recipe.build();
    expectFrames(file, readAvi(file), recipe.frames, true);
  }
}

TEST(AviReaderTest, ALastChunkMayLackItsPadByte) {
  File recipe = threeFrames();
  recipe.index = File::Index::None;
  recipe.frames.push_back({frameOf(4, 3), true});
  Bytes file = recipe.build();
  // Drop the pad byte of the last frame and shrink every size around it.
  file.pop_back();
  const size_t headerListSize = file[16] | file[17] << 8;
  for (size_t at : {size_t{4}, 12 + 8 + headerListSize + 4}) {
    const std::uint32_t size = file[at] | file[at + 1] << 8;
    file[at] = static_cast<std::uint8_t>(size - 1);
    file[at + 1] = static_cast<std::uint8_t>((size - 1) >> 8);
  }
  expectFrames(file, readAvi(file), recipe.frames, false);
}

TEST(AviReaderTest, TheVideoStreamNeedNotBeTheFirst) {
  File recipe = threeFrames();
  recipe.audioFirst = true;
  for (File::Index index : {File::Index::MoviRelative, File::Index::None}) {
    recipe.index = index;
    const Bytes file = recipe.build();
    const AviReadResult read = readAvi(file);
    expectFrames(file, read, recipe.frames, index != File::Index::None);
    EXPECT_EQ(read.contents.video.streamNumber, 1u);
  }
}

TEST(AviReaderTest, AnEmptyUncompressedChunkRepeatsTheFrameBefore) {
  File recipe = threeFrames();
  recipe.frames[1].bytes.clear();
  const Bytes file = recipe.build();
  const AviReadResult read = readAvi(file);
  ASSERT_TRUE(read.ok()) << read.error;
  EXPECT_EQ(bytesOf(file, read.contents.frames[1]), frameOf(1));
}

TEST(AviReaderTest, FramePeriodFromTheStreamRateElseTheMainHeader) {
  File recipe = threeFrames();
  recipe.scale = 1001;
  recipe.rate = 30000;
  EXPECT_EQ(readAvi(recipe.build()).contents.video.framePeriod, 333667);
  recipe.scale = 0;
  recipe.microsecondsPerFrame = 40000;
  EXPECT_EQ(readAvi(recipe.build()).contents.video.framePeriod, 400000);
  recipe.microsecondsPerFrame = 0;
  EXPECT_EQ(readAvi(recipe.build()).error, "the file names no frame rate");
}

TEST(AviReaderTest, FurtherRiffPartsAddTheirFrames) {
  File recipe = threeFrames();
  recipe.extension = {{frameOf(4), true}, {frameOf(5), true}};
  const Bytes file = recipe.build();
  std::vector<avi_test::Frame> all = recipe.frames;
  all.insert(all.end(), recipe.extension.begin(), recipe.extension.end());
  expectFrames(file, readAvi(file), all, true);
}

TEST(AviReaderTest, ABrokenIndexFallsBackToScanning) {
  File recipe = threeFrames();
  Bytes file = recipe.build();
  // The last index entry's offset points past the frame list.
  const size_t lastOffset = file.size() - 8;
  file[lastOffset + 3] = 0x7F;
  AviReadResult read = readAvi(file);
  expectFrames(file, read, recipe.frames, false);
  EXPECT_FALSE(read.contents.indexed);

  // The first entry's offset points at the wrong chunk under both bases.
  file = recipe.build();
  const size_t firstOffset = file.size() - 3 * 16 + 8;
  file[firstOffset] = static_cast<std::uint8_t>(file[firstOffset] + 2);
  read = readAvi(file);
  expectFrames(file, read, recipe.frames, false);
  EXPECT_FALSE(read.contents.indexed);
}

// A valid file cut anywhere, or with any one byte changed, either reads or gives an error;
// the sanitizers catch any read outside the bytes.
TEST(AviReaderTest, EveryTruncationIsAnError) {
  File recipe = threeFrames();
  recipe.audioFirst = true;
  recipe.recordLists = true;
  const Bytes file = recipe.build();
  for (size_t size = 0; size < file.size(); ++size) {
    const Bytes cut(file.begin(), file.begin() + size);
    const AviReadResult read = readAvi(cut);
    EXPECT_FALSE(read.ok()) << size;
  }
  EXPECT_EQ(readAvi(Bytes(file.begin(), file.begin() + 200)).error,
            "the 'RIFF' chunk at offset 0 is " + std::to_string(file.size() - 8) +
                " bytes long, past the end of the file (offset 200): the file is damaged or "
                "truncated");
}

TEST(AviReaderTest, SurvivesEveryByteChanged) {
  File recipe = threeFrames();
  recipe.audioFirst = true;
  recipe.extension = {{frameOf(4), true}};
  const Bytes file = recipe.build();
  for (size_t at = 0; at < file.size(); ++at) {
    for (std::uint8_t value :
         {std::uint8_t{0}, std::uint8_t{0x01}, std::uint8_t{0x7F}, std::uint8_t{0xFF}}) {
      Bytes changed = file;
      changed[at] = value;
      const AviReadResult read = readAvi(changed);
      if (!read.ok()) continue;
      for (const AviFrame& frame : read.contents.frames) {
        ASSERT_LE(frame.offset + frame.size, changed.size()) << at;
      }
    }
  }
}

TEST(AviReaderTest, ExplainsWhatIsWrong) {
  using avi_test::chunk;
  using avi_test::list;
  const Bytes strh = avi_test::streamHeader("vids", 1, 10);
  const Bytes strf = chunk("strf", avi_test::bitmapHeader(2, 2, 32, 0));
  const Bytes movi = list("movi", {});
  const auto avi = [](const std::vector<Bytes>& items) { return list("AVI ", items, "RIFF"); };
  struct Case {
    Bytes file;
    std::string error;
  };
  const Case cases[] = {
      {{}, "not an AVI file: only 0 bytes"},
      {list("WAVE", {chunk("data", Bytes(8))}, "RIFF"),
       "not an AVI file (it does not start with 'RIFF' and 'AVI ')"},
      {avi({movi}), "the file has no header list ('hdrl')"},
      {avi({list("hdrl", {list("strl", {strh, strf})})}), "the file has no frame list ('movi')"},
      {avi({list("hdrl", {}), movi}), "the file has no video stream"},
      {avi({list("hdrl", {list("strl", {avi_test::streamHeader("auds", 1, 10), strf})}), movi}),
       "the file has no video stream"},
      {avi({list("hdrl", {list("strl", {strf})}), movi}), "stream 0 has no header ('strh')"},
      {avi({list("hdrl", {list("strl", {chunk("strh", Bytes(20))})}), movi}),
       "the header of stream 0 is only 20 bytes"},
      {avi({list("hdrl", {list("strl", {strh})}), movi}),
       "the video stream has no format ('strf')"},
      {avi({list("hdrl", {list("strl", {strh, chunk("strf", Bytes(30))})}), movi}),
       "the video stream's format is only 30 bytes, too short for a bitmap header"},
      {avi({list("hdrl",
                 {list("strl", {strh, chunk("strf", avi_test::bitmapHeader(0, 2, 32, 0))})}),
            movi}),
       "the video stream's picture size 0 x 2 is not valid"},
      {avi({chunk("LIST", Bytes(2))}), "the list at offset 12 is too short to name its type"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(readAvi(c.file).error, c.error);
  }

  Bytes header = avi_test::bitmapHeader(2, 2, 32, 0);
  header[0] = 44;  // longer than its chunk
  EXPECT_EQ(readAvi(avi({list("hdrl", {list("strl", {strh, chunk("strf", header)})}), movi})).error,
            "the video stream's bitmap header gives its size as 44 bytes, but its chunk holds 40");

  Bytes nested = list("rec ", {chunk("00db", Bytes(16))});
  for (int i = 0; i < 9; ++i) nested = list("rec ", {nested});
  const AviReadResult deep =
      readAvi(avi({list("hdrl", {list("strl", {strh, strf})}), list("movi", {nested})}));
  EXPECT_NE(deep.error.find("nested deeper than 8 levels"), std::string::npos) << deep.error;
}

TEST(AviReaderTest, FourccTextShowsPrintableCodesElseHex) {
  EXPECT_EQ(fourccText(kZlkc), "ZLKC");
  EXPECT_EQ(fourccText(fourcc("00db")), "00db");
  EXPECT_EQ(fourccText(3), "0x00000003");
}

}  // namespace
