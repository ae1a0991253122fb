// The recorder's command-line parser, checked natively: defaults, both value spellings, the
// limits of every number, the playback modes and the one-line errors the program prints.
#include <gtest/gtest.h>

#include "tools/zelkrec/options.h"

namespace {

ParseResult parse(std::vector<std::string> args) { return parseOptions(args); }

TEST(ZelkrecOptionsTest, DefaultsToFiveSecondsAtTheFiltersRate) {
  ParseResult result = parse({"--out", "a.avi"});
  ASSERT_TRUE(result.ok()) << result.error;
  EXPECT_EQ(result.options.mode, Options::Mode::Record);
  EXPECT_EQ(result.options.outPath, "a.avi");
  EXPECT_EQ(result.options.limit, Options::Limit::Seconds);
  EXPECT_DOUBLE_EQ(result.options.seconds, 5.0);
  EXPECT_FALSE(result.options.fps.has_value());
  EXPECT_FALSE(result.options.help);
}

TEST(ZelkrecOptionsTest, TakesValuesAfterASpaceOrAnEqualsSign) {
  ParseResult result = parse({"--seconds=2.5", "--fps", "10", "--out=C:\\x y\\three.avi"});
  ASSERT_TRUE(result.ok()) << result.error;
  EXPECT_DOUBLE_EQ(result.options.seconds, 2.5);
  EXPECT_DOUBLE_EQ(*result.options.fps, 10.0);
  EXPECT_EQ(result.options.outPath, "C:\\x y\\three.avi");
}

TEST(ZelkrecOptionsTest, FramesReplaceSeconds) {
  ParseResult result = parse({"--frames", "40", "--out", "a.avi"});
  ASSERT_TRUE(result.ok()) << result.error;
  EXPECT_EQ(result.options.limit, Options::Limit::Frames);
  EXPECT_EQ(result.options.frames, 40);
}

TEST(ZelkrecOptionsTest, KeepsUtf8FileNamesAsTheyAre) {
  ParseResult result = parse({"--out", "r\xC3\xA9sum\xC3\xA9.avi"});
  ASSERT_TRUE(result.ok()) << result.error;
  EXPECT_EQ(result.options.outPath, "r\xC3\xA9sum\xC3\xA9.avi");
}

TEST(ZelkrecOptionsTest, HelpWinsOverAnythingElse) {
  for (const char* help : {"--help", "-h", "/?"}) {
    ParseResult result = parse({"--bogus", help});
    EXPECT_TRUE(result.ok()) << help;
    EXPECT_TRUE(result.options.help) << help;
  }
}

TEST(ZelkrecOptionsTest, RejectsNumbersOutsideTheirRange) {
  const std::vector<std::vector<std::string>> bad = {
      {"--seconds", "abc"}, {"--seconds", "0"},   {"--seconds", "-1"}, {"--seconds", "1e3"},
      {"--seconds", "5s"},  {"--seconds", "nan"}, {"--seconds", ""},   {"--seconds", "86401"},
      {"--frames", "1.5"},  {"--frames", "0"},    {"--frames", "+3"},  {"--frames", "100000001"},
      {"--fps", "0"},       {"--fps", "1001"},    {"--fps", "0x10"},
  };
  for (std::vector<std::string> args : bad) {
    const std::string shown = args[0] + " '" + args[1] + "'";
    args.push_back("--out");
    args.push_back("a.avi");
    ParseResult result = parse(args);
    EXPECT_FALSE(result.ok()) << shown;
    EXPECT_EQ(result.error.rfind(args[0] + ": '" + args[1] + "'", 0), 0u) << result.error;
  }
}

TEST(ZelkrecOptionsTest, AcceptsTheEdgesOfEveryRange) {
  ParseResult result = parse({"--seconds", "86400", "--fps", "1000", "--out", "a"});
  EXPECT_TRUE(result.ok()) << result.error;
  result = parse({"--frames", "100000000", "--fps", "0.5", "--out", "a"});
  EXPECT_TRUE(result.ok()) << result.error;
}

TEST(ZelkrecOptionsTest, ExplainsEveryKindOfBadLine) {
  struct Case {
    std::vector<std::string> args;
    const char* error;
  };
  const Case cases[] = {
      {{"--out", "a", "--colour", "red"}, "unknown option '--colour'"},
      {{"--out=a", "--colour=red"}, "unknown option '--colour'"},
      {{"--out", "a", "extra"}, "unexpected argument 'extra'"},
      {{"--seconds", "3"}, "missing --out FILE (the AVI file to write)"},
      {{}, "missing --out FILE (the AVI file to write)"},
      {{"--out"}, "option '--out' needs a value"},
      {{"--out", "--fps", "10"}, "option '--out' needs a value"},
      {{"--out="}, "--out: the file name is empty"},
      {{"--out", "a", "--out", "b"}, "option '--out' is given more than once"},
      {{"--out", "a", "--seconds", "1", "--frames", "2"},
       "--seconds and --frames cannot be used together"},
  };
  for (const Case& c : cases) {
    ParseResult result = parse(c.args);
    EXPECT_EQ(result.error, c.error);
  }
}

TEST(ZelkrecOptionsTest, PeriodIsRoundedToWhole100NsUnits) {
  EXPECT_EQ(periodForFps(25), 400000);
  EXPECT_EQ(periodForFps(10), 1000000);
  EXPECT_EQ(periodForFps(30), 333333);
  EXPECT_EQ(periodForFps(29.97), 333667);
}

TEST(ZelkrecOptionsTest, CaptureAreaIsARectangleOrTheDesktop) {
  ParseResult rect = parse({"--out", "a.avi", "--rect", "-10,20,630,500"});
  ASSERT_TRUE(rect.ok()) << rect.error;
  ASSERT_TRUE(rect.options.rect.has_value());
  EXPECT_EQ(rect.options.rect->left, -10);
  EXPECT_EQ(rect.options.rect->bottom, 500);
  EXPECT_FALSE(rect.options.desktop);

  ParseResult desktop = parse({"--desktop", "--out", "a.avi"});
  ASSERT_TRUE(desktop.ok()) << desktop.error;
  EXPECT_TRUE(desktop.options.desktop);
  EXPECT_FALSE(desktop.options.rect.has_value());

  for (const char* bad : {"1,2,3", "1,2,3,4,5", "a,b,c,d", "10,10,5,20", "0,0,10,0", ""}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(parse({"--out", "a.avi", std::string("--rect=") + bad}).ok());
  }
  EXPECT_FALSE(parse({"--out", "a.avi", "--desktop=1"}).ok());
  EXPECT_FALSE(parse({"--out", "a.avi", "--desktop", "--rect", "0,0,8,8"}).ok());
}

TEST(ZelkrecOptionsTest, RecordingChoosesItsCodecAndMayKeepItsPictures) {
  ParseResult raw = parse({"--out", "a.avi"});
  ASSERT_TRUE(raw.ok()) << raw.error;
  EXPECT_EQ(raw.options.codec, Options::Codec::Raw);
  EXPECT_TRUE(raw.options.framesOutDir.empty());

  ParseResult zlkc = parse({"--out", "a.avi", "--codec=zlkc", "--frames-out", "tapped"});
  ASSERT_TRUE(zlkc.ok()) << zlkc.error;
  EXPECT_EQ(zlkc.options.mode, Options::Mode::Record);
  EXPECT_EQ(zlkc.options.codec, Options::Codec::Zlkc);
  EXPECT_EQ(zlkc.options.framesOutDir, "tapped");
}

TEST(ZelkrecOptionsTest, PlayAndVerifyNameTheirFiles) {
  ParseResult play = parse({"--play", "in.avi", "--frames-out=pictures"});
  ASSERT_TRUE(play.ok()) << play.error;
  EXPECT_EQ(play.options.mode, Options::Mode::Play);
  EXPECT_EQ(play.options.inputPath, "in.avi");
  EXPECT_EQ(play.options.framesOutDir, "pictures");

  ParseResult verify = parse({"--reference", "ref.avi", "--verify", "in.avi"});
  ASSERT_TRUE(verify.ok()) << verify.error;
  EXPECT_EQ(verify.options.mode, Options::Mode::Verify);
  EXPECT_EQ(verify.options.inputPath, "in.avi");
  EXPECT_EQ(verify.options.referencePath, "ref.avi");
}

TEST(ZelkrecOptionsTest, ExplainsBadPlaybackLines) {
  struct Case {
    std::vector<std::string> args;
    const char* error;
  };
  const Case cases[] = {
      {{"--play", "a.avi"}, "--play needs --frames-out DIR (the folder for the pictures)"},
      {{"--verify", "a.avi"}, "--verify needs --reference FILE (the recording to compare with)"},
      {{"--play", "a.avi", "--frames-out", "d", "--out", "b.avi"},
       "--play and --out cannot be used together"},
      {{"--verify", "a.avi", "--reference", "r.avi", "--seconds", "2"},
       "--verify and --seconds cannot be used together"},
      {{"--play", "a.avi", "--frames-out", "d", "--desktop"},
       "--play and --desktop cannot be used together"},
      {{"--play", "a.avi", "--verify", "b.avi"}, "--play and --verify cannot be used together"},
      {{"--play", "a.avi", "--frames-out", "d", "--reference", "r.avi"},
       "--play and --reference cannot be used together"},
      {{"--verify", "a.avi", "--reference", "r.avi", "--frames-out", "d"},
       "--verify and --frames-out cannot be used together"},
      {{"--out", "a.avi", "--codec", "mpeg"}, "--codec: 'mpeg' is not raw or zlkc"},
      {{"--play", "a.avi", "--frames-out", "d", "--codec", "zlkc"},
       "--play and --codec cannot be used together"},
      {{"--reference", "r.avi"}, "--reference needs --verify FILE"},
      {{"--play="}, "--play: the file name is empty"},
      {{"--verify="}, "--verify: the file name is empty"},
      {{"--play", "a", "--frames-out="}, "--frames-out: the folder name is empty"},
      {{"--verify", "a", "--reference="}, "--reference: the file name is empty"},
      {{"--play", "--frames-out", "d"}, "option '--play' needs a value"},
  };
  for (const Case& c : cases) {
    ParseResult result = parse(c.args);
    EXPECT_EQ(result.error, c.error);
  }
}

TEST(ZelkrecOptionsTest, UsageNamesEveryOption) {
  const std::string usage = usageText("zelkrec");
  for (const char* name : {"--out", "--seconds", "--frames", "--fps", "--rect", "--desktop",
                           "--play", "--frames-out", "--verify", "--reference", "--help"}) {
    EXPECT_NE(usage.find(name), std::string::npos) << name;
  }
  EXPECT_EQ(usage.rfind("Usage: zelkrec ", 0), 0u);
}

}  // namespace
