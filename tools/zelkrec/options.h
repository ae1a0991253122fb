// The recorder's command line: what to record, for how long and at which rate; or which
// recording to play back into pictures, or to verify against a reference. Portable (no
// <windows.h>): the program hands its arguments over as UTF-8, and the parser builds natively
// for its unit tests.
#pragma once

#include <optional>
#include <string>
#include <vector>

struct Options {
  // Record the screen (--out), play a file into pictures (--play), compare it (--verify), or
  // list the windows --window can name (--list-windows).
  enum class Mode { Record, Play, Verify, ListWindows };
  // How the recording's length is given: in seconds, as a number of frames, or not at all
  // (until Ctrl+C, or q on the console).
  enum class Limit { Seconds, Frames, UntilStopped };
  // What the recording stores: the captured frames as they are, or the ZLKC stream.
  enum class Codec { Raw, Zlkc };
  // How --size resizes: the filter's own choice, nearest neighbour or linear.
  enum class Scale { FilterDefault, Nearest, Linear };
  Mode mode = Mode::Record;
  std::string outPath;
  bool overwrite = false;     // --overwrite, -y: replace an existing --out file
  std::string inputPath;      // the file of --play or --verify
  std::string framesOutDir;   // the folder for the pictures: played, or as recorded
  std::string referencePath;  // --verify: the recording to compare with
  Codec codec = Codec::Raw;
  Limit limit = Limit::UntilStopped;
  double seconds = 0;
  long long frames = 0;
  std::optional<double> fps;  // empty: the filter's own period
  // The capture area: a screen rectangle, the whole desktop, a window by title or by handle,
  // or (none of these) the filter's own.
  struct Rect {
    long left, top, right, bottom;
  };
  std::optional<Rect> rect;
  bool desktop = false;
  std::optional<std::string> windowTitle;  // --window TITLE
  std::optional<unsigned long> windowHandle;  // --hwnd N (decimal, or hex with 0x)
  bool followMouse = false;   // --follow-mouse: a view of --size pans with the pointer
  struct Size {
    long width, height;
  };
  std::optional<Size> size;   // --size WxH: the output size (resized, or the panning view)
  Scale scale = Scale::FilterDefault;  // --scale nearest|linear (needs --size)
  bool keepAspect = false;    // --keep-aspect (needs --size)
  bool noPointer = false;     // --no-pointer
  bool noClicks = false;      // --no-clicks
  bool quiet = false;         // --quiet, -q: only the summary and errors
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
