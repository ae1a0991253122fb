// The recorder's command line: what to record, for how long and at which rate; or which
// recording to play back into pictures, or to verify against a reference. Portable (no
// <windows.h>): the program hands its arguments over as UTF-8, and the parser builds natively
// for its unit tests.
#pragma once

#include <optional>
#include <string>
#include <vector>

struct Options {
  // Record the screen (--out), play a file into pictures (--play) or compare it (--verify).
  enum class Mode { Record, Play, Verify };
  // How the recording's length is given: in seconds or as a number of frames.
  enum class Limit { Seconds, Frames };
  // What the recording stores: the captured frames as they are, or the ZLKC stream.
  enum class Codec { Raw, Zlkc };

  Mode mode = Mode::Record;
  std::string outPath;
  std::string inputPath;      // the file of --play or --verify
  std::string framesOutDir;   // the folder for the pictures: played, or as recorded
  std::string referencePath;  // --verify: the recording to compare with
  Codec codec = Codec::Raw;
  Limit limit = Limit::Seconds;
  double seconds = 5.0;
  long long frames = 0;
  std::optional<double> fps;  // empty: the filter's own period
  // The capture area: a screen rectangle, the whole desktop, or (neither) the filter's own.
  struct Rect {
    long left, top, right, bottom;
  };
  std::optional<Rect> rect;
  bool desktop = false;
  bool help = false;
};

struct ParseResult {
  Options options;
  std::string error;  // empty when the arguments were good

  bool ok() const { return error.empty(); }
};

inline constexpr double kMaxSeconds = 24.0 * 60 * 60;
inline constexpr long long kMaxFrames = 100'000'000;
inline constexpr double kMaxFps = 1000.0;

// `args` are the arguments after the program name. Both "--name value" and "--name=value".
ParseResult parseOptions(const std::vector<std::string>& args);

// The text --help prints; `program` is the name to show.
std::string usageText(const std::string& program);

// The frame period in 100-ns units for `fps` frames a second.
long long periodForFps(double fps);
