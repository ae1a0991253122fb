// The recorder's command-line parser, checked natively: defaults, both value spellings, the
// short aliases, the limits of every value, the combinations a recording, the playback modes
// and the window list allow, and the one-line errors the program prints.
#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <utility>

#include "tools/zelkrec/options.h"

namespace {

ParseResult parse(std::vector<std::string> args) { return parseOptions(args); }

TEST(ZelkrecOptionsTest, DefaultsToRecordingUntilStoppedAtTheFiltersRate) {
  ParseResult result = parse({"--out", "a.avi"});
  ASSERT_TRUE(result.ok()) << result.error;
  EXPECT_EQ(result.options.mode, Options::Mode::Record);
  EXPECT_EQ(result.options.outPath, "a.avi");
  EXPECT_EQ(result.options.limit, Options::Limit::UntilStopped);
  EXPECT_FALSE(result.options.fps.has_value());
  EXPECT_FALSE(result.options.overwrite);
  EXPECT_FALSE(result.options.quiet);
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

TEST(ZelkrecOptionsTest, UsageNamesEveryOptionWithinEightyColumns) {
  const std::string usage = usageText("zelkrec");
  std::istringstream names(
      "--out --overwrite --seconds --frames --fps --rect --desktop --window --hwnd --follow-mouse "
      "--size --scale --keep-aspect --no-pointer --no-clicks --codec --quiet --play --frames-out "
      "--verify --reference --list-windows --help -o, -y, -t, -r, -q, -h,");
  for (std::string name; names >> name;) {
    EXPECT_NE(usage.find(name), std::string::npos) << name;
  }
  EXPECT_EQ(usage.rfind("Usage: zelkrec --out FILE", 0), 0u);
  size_t start = 0;
  for (size_t end; (end = usage.find('\n', start)) != std::string::npos; start = end + 1) {
    EXPECT_LT(end - start, 80u) << usage.substr(start, end - start);
  }
  EXPECT_EQ(start, usage.size()) << "the text ends with a line break";
}

TEST(ZelkrecOptionsTest, ShortAliasesAreTheLongOptions) {
  ParseResult result = parse({"-o", "clip.avi", "-t", "2.5", "-r=10", "-y", "-q"});
  ASSERT_TRUE(result.ok()) << result.error;
  EXPECT_EQ(result.options.outPath, "clip.avi");
  EXPECT_EQ(result.options.limit, Options::Limit::Seconds);
  EXPECT_DOUBLE_EQ(result.options.seconds, 2.5);
  EXPECT_DOUBLE_EQ(*result.options.fps, 10.0);
  EXPECT_TRUE(result.options.overwrite);
  EXPECT_TRUE(result.options.quiet);
  EXPECT_EQ(parse({"-o=clip.avi"}).options.outPath, "clip.avi");

  // Errors name the long option, whichever spelling was used.
  struct Case {
    std::vector<std::string> args;
    const char* error;
  };
  const Case cases[] = {
      {{"-o", "a", "--out", "b"}, "option '--out' is given more than once"},
      {{"--quiet", "-o", "a", "-q"}, "option '--quiet' is given more than once"},
      {{"-o"}, "option '--out' needs a value"},
      {{"-o", "--seconds", "1"}, "option '--out' needs a value"},
      {{"-o="}, "--out: the file name is empty"},
      {{"-o", "a", "-y=yes"}, "--overwrite takes no value"},
      {{"-o", "a", "-t", "-5"},
       "--seconds: '-5' is not a number of seconds above 0 and up to 86400"},
      {{"-o", "a", "-x"}, "unknown option '-x'"},
      {{"-out", "a"}, "unknown option '-out'"},
      {{"-O", "a"}, "unknown option '-O'"},
      {{"-", "-o", "a"}, "unknown option '-'"},
  };
  for (const Case& c : cases) EXPECT_EQ(parse(c.args).error, c.error);
}

TEST(ZelkrecOptionsTest, StoresTheNewCaptureSettings) {
  ParseResult result = parse({"-o", "a", "--window", "Untitled - Notepad", "--size", "640X360",
                              "--scale", "linear", "--keep-aspect", "--no-pointer", "--no-clicks"});
  ASSERT_TRUE(result.ok()) << result.error;
  EXPECT_EQ(result.options.windowTitle, "Untitled - Notepad");
  ASSERT_TRUE(result.options.size.has_value());
  EXPECT_EQ(result.options.size->width, 640);
  EXPECT_EQ(result.options.size->height, 360);
  EXPECT_EQ(result.options.scale, Options::Scale::Linear);
  EXPECT_TRUE(result.options.keepAspect);
  EXPECT_TRUE(result.options.noPointer);
  EXPECT_TRUE(result.options.noClicks);
  EXPECT_FALSE(result.options.followMouse);

  result = parse({"-o", "a", "--follow-mouse", "--size=1x16384", "--hwnd", "0x1A2B"});
  ASSERT_TRUE(result.ok()) << result.error;
  EXPECT_TRUE(result.options.followMouse);
  EXPECT_EQ(result.options.size->width, 1);
  EXPECT_EQ(result.options.size->height, 16384);
  EXPECT_EQ(result.options.windowHandle, 0x1A2Bul);
  EXPECT_EQ(result.options.scale, Options::Scale::FilterDefault);

  const std::pair<const char*, unsigned long> handles[] = {
      {"1", 1},
      {"6699", 0x1A2B},
      {"0X1a2b", 0x1A2B},
      {"0xFFFFFFFF", 0xFFFFFFFF},
      {"4294967295", 0xFFFFFFFF},
  };
  for (const auto& [text, handle] : handles) {
    EXPECT_EQ(parse({"-o", "a", "--hwnd", text}).options.windowHandle, handle) << text;
  }
  EXPECT_EQ(parse({"-o", "a", "--scale=nearest", "--size", "8x8"}).options.scale,
            Options::Scale::Nearest);
}

TEST(ZelkrecOptionsTest, RejectsBadSizesHandlesScalesAndTitles) {
  const std::map<std::string, std::string> complaint = {
      {"--size", "is not WIDTHxHEIGHT in pixels (1 to 16384 each)"},
      {"--hwnd", "is not a window handle (a number, decimal or 0x hex)"},
      {"--scale", "is not nearest or linear"},
  };
  const std::pair<std::string, std::string> bad[] = {
      {"--size", "0x360"},     {"--size", "640x0"},       {"--size", "16385x360"},
      {"--size", "640x16385"}, {"--size", "640x"},        {"--size", "x360"},
      {"--size", "640*360"},   {"--size", "640"},         {"--size", "640x360x2"},
      {"--size", "-640x360"},  {"--size", "640 x 360"},   {"--hwnd", "0"},
      {"--hwnd", "0x0"},       {"--hwnd", "0x100000000"}, {"--hwnd", "4294967296"},
      {"--hwnd", "0x"},        {"--hwnd", "-1"},          {"--hwnd", "+5"},
      {"--hwnd", "12ab"},      {"--hwnd", "0xg"},         {"--hwnd", ""},
      {"--scale", "Linear"},   {"--scale", "bilinear"},   {"--scale", ""},
  };
  for (const auto& [name, value] : bad) {
    EXPECT_EQ(parse({"-o", "a", name + "=" + value}).error,
              name + ": '" + value + "' " + complaint.at(name));
  }
  EXPECT_EQ(parse({"-o", "a", "--window="}).error, "--window: the title is empty");
  EXPECT_EQ(parse({"-o", "a", "--follow-mouse="}).error, "--follow-mouse takes no value");
  EXPECT_EQ(parse({"-o", "a", "--no-clicks=1"}).error, "--no-clicks takes no value");
}

TEST(ZelkrecOptionsTest, DashedValuesAreNotOptions) {
  ParseResult result = parse({"--rect", "-100,-50,200,300", "-o", "-a.avi"});
  ASSERT_TRUE(result.ok()) << result.error;
  EXPECT_EQ(result.options.rect->left, -100);
  EXPECT_EQ(result.options.rect->top, -50);
  EXPECT_EQ(result.options.outPath, "-a.avi");
  result = parse({"--window", "-notes-", "-o", "a"});
  ASSERT_TRUE(result.ok()) << result.error;
  EXPECT_EQ(result.options.windowTitle, "-notes-");
}

TEST(ZelkrecOptionsTest, ExplainsBadCombinationsOfCaptureSettings) {
  struct Case {
    std::vector<std::string> args;
    const char* error;
  };
  const Case cases[] = {
      {{"--window", "w", "--rect", "0,0,8,8"}, "--rect and --window cannot be used together"},
      {{"--hwnd", "5", "--rect", "0,0,8,8"}, "--rect and --hwnd cannot be used together"},
      {{"--hwnd", "5", "--desktop"}, "--desktop and --hwnd cannot be used together"},
      {{"--desktop", "--window", "w"}, "--desktop and --window cannot be used together"},
      {{"--window", "w", "--hwnd", "5"}, "--window and --hwnd cannot be used together"},
      {{"--scale", "linear"}, "--scale needs --size WxH"},
      {{"--keep-aspect", "--desktop"}, "--keep-aspect needs --size WxH"},
      {{"--follow-mouse", "--size", "8x8", "--scale", "nearest"},
       "--follow-mouse and --scale cannot be used together"},
      {{"--keep-aspect", "--size", "8x8", "--follow-mouse"},
       "--follow-mouse and --keep-aspect cannot be used together"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"-o", "a.avi"});
    EXPECT_EQ(parse(args).error, c.error);
  }
  EXPECT_TRUE(parse({"-o", "a", "--follow-mouse", "--size", "8x8", "--no-pointer"}).ok());
  EXPECT_TRUE(parse({"-o", "a", "--hwnd", "5", "--size", "8x8", "--keep-aspect"}).ok());

  // Playback takes none of them.
  for (const char* option : {"--overwrite", "--follow-mouse", "--keep-aspect", "--no-pointer",
                             "--no-clicks", "--quiet"}) {
    EXPECT_EQ(parse({"--play", "a", "--frames-out", "d", option}).error,
              std::string("--play and ") + option + " cannot be used together");
  }
  for (const char* option : {"--window=w", "--hwnd=5", "--size=8x8", "--scale=linear"}) {
    const std::string name = std::string(option).substr(0, std::string(option).find('='));
    EXPECT_EQ(parse({"--verify", "a", "--reference", "r", option}).error,
              "--verify and " + name + " cannot be used together");
  }
}

TEST(ZelkrecOptionsTest, ListWindowsStandsAlone) {
  ParseResult result = parse({"--list-windows"});
  ASSERT_TRUE(result.ok()) << result.error;
  EXPECT_EQ(result.options.mode, Options::Mode::ListWindows);
  EXPECT_TRUE(parse({"--list-windows", "-h"}).options.help);

  struct Case {
    std::vector<std::string> args;
    const char* error;
  };
  const Case cases[] = {
      {{"--list-windows", "--out", "a.avi"}, "--list-windows cannot be used with --out"},
      {{"-q", "-o", "a", "--list-windows"}, "--list-windows cannot be used with --quiet"},
      {{"--list-windows", "--play", "a.avi"}, "--list-windows cannot be used with --play"},
      {{"--list-windows=yes"}, "--list-windows takes no value"},
  };
  for (const Case& c : cases) EXPECT_EQ(parse(c.args).error, c.error);
}

}  // namespace
