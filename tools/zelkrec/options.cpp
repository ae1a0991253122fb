// Parses the recorder's command line from a table of options, so that a new option is one
// entry and one field.
#include "tools/zelkrec/options.h"

#include <charconv>
#include <cmath>
#include <set>
#include <system_error>

namespace {

// Whole text as a decimal number; no exponents, no hex, no spaces, nothing left over.
bool parseDecimal(const std::string& text, double* value) {
  if (text.empty()) return false;
  const char* end = text.data() + text.size();
  auto [next, error] = std::from_chars(text.data(), end, *value, std::chars_format::fixed);
  return error == std::errc() && next == end && std::isfinite(*value);
}

bool parseWhole(const std::string& text, long long* value) {
  if (text.empty()) return false;
  const char* end = text.data() + text.size();
  auto [next, error] = std::from_chars(text.data(), end, *value);
  return error == std::errc() && next == end;
}

std::string formatLimit(double limit) {
  long long whole = static_cast<long long>(limit);
  return std::to_string(whole);
}

struct Option {
  const char* name;
  bool takesValue;
  // Stores `value` into `options`; answers an error text, or nothing when it is good.
  std::string (*apply)(const std::string& value, Options& options);
};

const Option kOptions[] = {
    {"--out", true,
     [](const std::string& value, Options& options) -> std::string {
       if (value.empty()) return "--out: the file name is empty";
       options.outPath = value;
       return {};
     }},
    {"--seconds", true,
     [](const std::string& value, Options& options) -> std::string {
       double seconds = 0;
       if (!parseDecimal(value, &seconds) || seconds <= 0 || seconds > kMaxSeconds) {
         return "--seconds: '" + value + "' is not a number of seconds above 0 and up to " +
                formatLimit(kMaxSeconds);
       }
       options.limit = Options::Limit::Seconds;
       options.seconds = seconds;
       return {};
     }},
    {"--frames", true,
     [](const std::string& value, Options& options) -> std::string {
       long long frames = 0;
       if (!parseWhole(value, &frames) || frames < 1 || frames > kMaxFrames) {
         return "--frames: '" + value + "' is not a whole number from 1 to " +
                std::to_string(kMaxFrames);
       }
       options.limit = Options::Limit::Frames;
       options.frames = frames;
       return {};
     }},
    {"--fps", true,
     [](const std::string& value, Options& options) -> std::string {
       double fps = 0;
       // A period under one 100-ns unit cannot be expressed.
       if (!parseDecimal(value, &fps) || fps <= 0 || fps > kMaxFps) {
         return "--fps: '" + value + "' is not a frame rate above 0 and up to " +
                formatLimit(kMaxFps);
       }
       options.fps = fps;
       return {};
     }},
    {"--rect", true,
     [](const std::string& value, Options& options) -> std::string {
       long long parts[4];
       size_t start = 0;
       for (int i = 0; i < 4; ++i) {
         const size_t comma = i < 3 ? value.find(',', start) : value.size();
         if (comma == std::string::npos ||
             !parseWhole(value.substr(start, comma - start), &parts[i]) || parts[i] < -100000 ||
             parts[i] > 100000) {
           return "--rect: '" + value + "' is not LEFT,TOP,RIGHT,BOTTOM in screen pixels";
         }
         start = comma + 1;
       }
       if (parts[2] <= parts[0] || parts[3] <= parts[1]) {
         return "--rect: '" + value + "' has no area (right must exceed left, bottom top)";
       }
       options.rect = Options::Rect{static_cast<long>(parts[0]), static_cast<long>(parts[1]),
                                    static_cast<long>(parts[2]), static_cast<long>(parts[3])};
       return {};
     }},
    {"--desktop", false,
     [](const std::string& value, Options& options) -> std::string {
       if (!value.empty()) return "--desktop takes no value";
       options.desktop = true;
       return {};
     }},
    {"--codec", true,
     [](const std::string& value, Options& options) -> std::string {
       if (value == "raw") {
         options.codec = Options::Codec::Raw;
       } else if (value == "zlkc") {
         options.codec = Options::Codec::Zlkc;
       } else {
         return "--codec: '" + value + "' is not raw or zlkc";
       }
       return {};
     }},
    {"--play", true,
     [](const std::string& value, Options& options) -> std::string {
       if (value.empty()) return "--play: the file name is empty";
       options.mode = Options::Mode::Play;
       options.inputPath = value;
       return {};
     }},
    {"--frames-out", true,
     [](const std::string& value, Options& options) -> std::string {
       if (value.empty()) return "--frames-out: the folder name is empty";
       options.framesOutDir = value;
       return {};
     }},
    {"--verify", true,
     [](const std::string& value, Options& options) -> std::string {
       if (value.empty()) return "--verify: the file name is empty";
       options.mode = Options::Mode::Verify;
       options.inputPath = value;
       return {};
     }},
    {"--reference", true,
     [](const std::string& value, Options& options) -> std::string {
       if (value.empty()) return "--reference: the file name is empty";
       options.referencePath = value;
       return {};
     }},
};

// The options that only a recording takes.
const char* const kRecordOnly[] = {"--out",  "--seconds", "--frames", "--fps",
                                   "--rect", "--desktop", "--codec"};

// The combinations a playback mode (--play or --verify) allows; empty when the line is good.
std::string checkPlayback(const std::set<std::string>& seen) {
  if (seen.count("--play") && seen.count("--verify")) {
    return "--play and --verify cannot be used together";
  }
  const bool play = seen.count("--play") > 0;
  const std::string mode = play ? "--play" : "--verify";
  for (const char* name : kRecordOnly) {
    if (seen.count(name)) return mode + " and " + name + " cannot be used together";
  }
  if (play && seen.count("--reference")) return "--play and --reference cannot be used together";
  if (!play && seen.count("--frames-out")) {
    return "--verify and --frames-out cannot be used together";
  }
  if (play && !seen.count("--frames-out")) {
    return "--play needs --frames-out DIR (the folder for the pictures)";
  }
  if (!play && !seen.count("--reference")) {
    return "--verify needs --reference FILE (the recording to compare with)";
  }
  return {};
}

std::string checkRecording(const std::set<std::string>& seen) {
  if (seen.count("--reference")) return "--reference needs --verify FILE";
  if (seen.count("--seconds") && seen.count("--frames")) {
    return "--seconds and --frames cannot be used together";
  }
  if (seen.count("--rect") && seen.count("--desktop")) {
    return "--rect and --desktop cannot be used together";
  }
  if (!seen.count("--out")) return "missing --out FILE (the AVI file to write)";
  return {};
}

const Option* findOption(const std::string& name) {
  for (const Option& option : kOptions) {
    if (name == option.name) return &option;
  }
  return nullptr;
}

bool isHelp(const std::string& arg) { return arg == "--help" || arg == "-h" || arg == "/?"; }

}  // namespace

ParseResult parseOptions(const std::vector<std::string>& args) {
  ParseResult result;
  // Help wins over everything else on the line, so "--help" always gets an answer.
  for (const std::string& arg : args) {
    if (isHelp(arg)) {
      result.options.help = true;
      return result;
    }
  }

  std::set<std::string> seen;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg.rfind("--", 0) != 0) {
      result.error = "unexpected argument '" + arg + "'";
      return result;
    }
    const size_t equals = arg.find('=');
    const std::string name = arg.substr(0, equals);
    const Option* option = findOption(name);
    if (!option) {
      result.error = "unknown option '" + name + "'";
      return result;
    }
    if (!seen.insert(name).second) {
      result.error = "option '" + name + "' is given more than once";
      return result;
    }
    std::string value;
    if (equals != std::string::npos) {
      value = arg.substr(equals + 1);
    } else if (option->takesValue) {
      // A following option is not a value: "--out --fps 10" lacks the file name.
      if (i + 1 >= args.size() || args[i + 1].rfind("--", 0) == 0) {
        result.error = "option '" + name + "' needs a value";
        return result;
      }
      value = args[++i];
    }
    result.error = option->apply(value, result.options);
    if (!result.ok()) return result;
  }

  const bool playback = seen.count("--play") || seen.count("--verify");
  result.error = playback ? checkPlayback(seen) : checkRecording(seen);
  return result;
}

std::string usageText(const std::string& program) {
  const std::string also = "       " + program;
  return "Usage: " + program +
         " --out FILE [--seconds N | --frames N] [--fps N] [--rect L,T,R,B | --desktop]\n" + also +
         "   [--codec raw|zlkc] [--frames-out DIR]\n" + also + " --play FILE --frames-out DIR\n" +
         also + " --verify FILE --reference REF\n" +
         "Records the screen through the Zelkgrab capture filter into an AVI file, plays a\n"
         "recording back into PNG pictures, or checks it frame by frame against a reference.\n"
         "\n"
         "  --out FILE        the AVI file to write (replaced if it exists)\n"
         "  --seconds N       record N seconds (default 5; decimals allowed)\n"
         "  --frames N        record N frames instead\n"
         "  --fps N           frame rate (default: the filter's own, 25)\n"
         "  --rect L,T,R,B    capture this screen rectangle (left, top, right, bottom)\n"
         "  --desktop         capture the whole desktop\n"
         "  --codec NAME      raw (default): store the frames as captured; zlkc: compress them\n"
         "                    losslessly through the Zelkenc encoder\n"
         "  --play FILE       decode every frame of an AVI recording (uncompressed RGB, or ZLKC\n"
         "                    through the Zelkdec decoder) ...\n"
         "  --frames-out DIR  ... into DIR as frame-000000.png, frame-000001.png, ...; while\n"
         "                    recording: every recorded frame too, as it goes to the file\n"
         "  --verify FILE     decode FILE like --play and compare every frame ...\n"
         "  --reference REF   ... with the same frame of REF, an uncompressed recording\n"
         "  --help            show this text\n"
         "\n"
         "Without --rect or --desktop the filter's own settings decide (at first the central\n"
         "800 x 600 of the desktop). Exit codes: 0 done (for --verify: identical), 1 the\n"
         "recording or playback failed (for --verify: the files differ), 2 bad arguments.\n";
}

long long periodForFps(double fps) { return std::llround(10'000'000.0 / fps); }
