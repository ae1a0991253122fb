// Parses the recorder's command line from a table of options, so that a new option is one
// entry and one field.
#include "tools/zelkrec/options.h"

#include <charconv>
#include <cmath>
#include <iterator>
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

// A window handle: decimal, or hexadecimal after 0x; no sign, no spaces.
bool parseHandle(const std::string& text, unsigned long long* value) {
  int base = 10;
  size_t start = 0;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    start = 2;
  }
  if (start == text.size()) return false;
  const char* end = text.data() + text.size();
  auto [next, error] = std::from_chars(text.data() + start, end, *value, base);
  return error == std::errc() && next == end;
}

// An option that takes no value is applied with an empty one.
struct Option {
  const char* name;
  const char* shortName;  // nullptr: none
  bool takesValue;
  // Stores `value` into `options`; answers an error text, or nothing when it is good.
  std::string (*apply)(const std::string& value, Options& options);
};

const Option kOptions[] = {
    {"--out", "-o", true,
     [](const std::string& value, Options& options) -> std::string {
       if (value.empty()) return "--out: the file name is empty";
       options.outPath = value;
       return {};
     }},
    {"--overwrite", "-y", false,
     [](const std::string&, Options& options) -> std::string {
       options.overwrite = true;
       return {};
     }},
    {"--seconds", "-t", true,
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
    {"--frames", nullptr, true,
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
    {"--fps", "-r", true,
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
    {"--rect", nullptr, true,
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
    {"--desktop", nullptr, false,
     [](const std::string&, Options& options) -> std::string {
       options.desktop = true;
       return {};
     }},
    {"--window", nullptr, true,
     [](const std::string& value, Options& options) -> std::string {
       if (value.empty()) return "--window: the title is empty";
       options.windowTitle = value;
       return {};
     }},
    {"--hwnd", nullptr, true,
     [](const std::string& value, Options& options) -> std::string {
       // Window handles are 32-bit values, in 64-bit processes too; 0 is no window.
       unsigned long long handle = 0;
       if (!parseHandle(value, &handle) || handle < 1 || handle > 0xFFFFFFFFull) {
         return "--hwnd: '" + value + "' is not a window handle (a number, decimal or 0x hex)";
       }
       options.windowHandle = static_cast<unsigned long>(handle);
       return {};
     }},
    {"--follow-mouse", nullptr, false,
     [](const std::string&, Options& options) -> std::string {
       options.followMouse = true;
       return {};
     }},
    {"--size", nullptr, true,
     [](const std::string& value, Options& options) -> std::string {
       const size_t x = value.find_first_of("xX");
       long long width = 0;
       long long height = 0;
       if (x == std::string::npos || !parseWhole(value.substr(0, x), &width) ||
           !parseWhole(value.substr(x + 1), &height) || width < 1 || width > 16384 || height < 1 ||
           height > 16384) {
         return "--size: '" + value + "' is not WIDTHxHEIGHT in pixels (1 to 16384 each)";
       }
       options.size = Options::Size{static_cast<long>(width), static_cast<long>(height)};
       return {};
     }},
    {"--scale", nullptr, true,
     [](const std::string& value, Options& options) -> std::string {
       if (value == "nearest") {
         options.scale = Options::Scale::Nearest;
       } else if (value == "linear") {
         options.scale = Options::Scale::Linear;
       } else {
         return "--scale: '" + value + "' is not nearest or linear";
       }
       return {};
     }},
    {"--keep-aspect", nullptr, false,
     [](const std::string&, Options& options) -> std::string {
       options.keepAspect = true;
       return {};
     }},
    {"--no-pointer", nullptr, false,
     [](const std::string&, Options& options) -> std::string {
       options.noPointer = true;
       return {};
     }},
    {"--no-clicks", nullptr, false,
     [](const std::string&, Options& options) -> std::string {
       options.noClicks = true;
       return {};
     }},
    {"--codec", nullptr, true,
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
    {"--play", nullptr, true,
     [](const std::string& value, Options& options) -> std::string {
       if (value.empty()) return "--play: the file name is empty";
       options.mode = Options::Mode::Play;
       options.inputPath = value;
       return {};
     }},
    {"--frames-out", nullptr, true,
     [](const std::string& value, Options& options) -> std::string {
       if (value.empty()) return "--frames-out: the folder name is empty";
       options.framesOutDir = value;
       return {};
     }},
    {"--verify", nullptr, true,
     [](const std::string& value, Options& options) -> std::string {
       if (value.empty()) return "--verify: the file name is empty";
       options.mode = Options::Mode::Verify;
       options.inputPath = value;
       return {};
     }},
    {"--reference", nullptr, true,
     [](const std::string& value, Options& options) -> std::string {
       if (value.empty()) return "--reference: the file name is empty";
       options.referencePath = value;
       return {};
     }},
    {"--quiet", "-q", false,
     [](const std::string&, Options& options) -> std::string {
       options.quiet = true;
       return {};
     }},
    {"--list-windows", nullptr, false,
     [](const std::string&, Options& options) -> std::string {
       options.mode = Options::Mode::ListWindows;
       return {};
     }},
};

// The options that only a recording takes.
const char* const kRecordOnly[] = {
    "--out",         "--overwrite",  "--seconds",   "--frames",       "--fps",   "--rect",
    "--desktop",     "--window",     "--hwnd",      "--follow-mouse", "--size",  "--scale",
    "--keep-aspect", "--no-pointer", "--no-clicks", "--codec",        "--quiet",
};

// The ways to name the capture area; at most one of them.
const char* const kAreas[] = {"--rect", "--desktop", "--window", "--hwnd"};

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
  for (size_t a = 0; a < std::size(kAreas); ++a) {
    for (size_t b = a + 1; b < std::size(kAreas); ++b) {
      if (seen.count(kAreas[a]) && seen.count(kAreas[b])) {
        return std::string(kAreas[a]) + " and " + kAreas[b] + " cannot be used together";
      }
    }
  }
  // The panning view keeps the pixels as captured: nothing to resize.
  if (seen.count("--follow-mouse")) {
    for (const char* name : {"--scale", "--keep-aspect"}) {
      if (seen.count(name)) {
        return std::string("--follow-mouse and ") + name + " cannot be used together";
      }
    }
  }
  if (!seen.count("--size")) {
    for (const char* name : {"--scale", "--keep-aspect"}) {
      if (seen.count(name)) return std::string(name) + " needs --size WxH";
    }
  }
  if (!seen.count("--out")) return "missing --out FILE (the AVI file to write)";
  return {};
}

// By its long name, or by its short one.
const Option* findOption(const std::string& name) {
  for (const Option& option : kOptions) {
    if (name == option.name || (option.shortName && name == option.shortName)) return &option;
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

  // By long name, so that "-o" and "--out" count as the same option.
  std::set<std::string> seen;
  std::string first;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg.rfind("-", 0) != 0) {
      result.error = "unexpected argument '" + arg + "'";
      return result;
    }
    const size_t equals = arg.find('=');
    const Option* option = findOption(arg.substr(0, equals));
    if (!option) {
      result.error = "unknown option '" + arg.substr(0, equals) + "'";
      return result;
    }
    const std::string name = option->name;
    if (!seen.insert(name).second) {
      result.error = "option '" + name + "' is given more than once";
      return result;
    }
    if (first.empty()) first = name;
    // Listing the windows records nothing, so any other option would be silently ignored.
    if (seen.count("--list-windows") && seen.size() > 1) {
      const std::string& other = name == "--list-windows" ? first : name;
      result.error = "--list-windows cannot be used with " + other;
      return result;
    }
    if (!option->takesValue && equals != std::string::npos) {
      result.error = name + " takes no value";
      return result;
    }
    std::string value;
    if (equals != std::string::npos) {
      value = arg.substr(equals + 1);
    } else if (option->takesValue) {
      // A following option is not a value: "--out --fps 10" lacks the file name. One dash may
      // start a value, as in "--rect -100,0,200,300".
      if (i + 1 >= args.size() || args[i + 1].rfind("--", 0) == 0) {
        result.error = "option '" + name + "' needs a value";
        return result;
      }
      value = args[++i];
    }
    result.error = option->apply(value, result.options);
    if (!result.ok()) return result;
  }

  if (seen.count("--list-windows")) return result;
  const bool playback = seen.count("--play") || seen.count("--verify");
  result.error = playback ? checkPlayback(seen) : checkRecording(seen);
  return result;
}

std::string usageText(const std::string& program) {
  const std::string also = "       " + program;
  const std::string example = "  " + program;
  return "Usage: " + program + " --out FILE [options]\n" +  //
         also + " --play FILE --frames-out DIR\n" +         //
         also + " --verify FILE --reference REF\n" +        //
         also + " --list-windows\n" +
         "Records the screen into an AVI file through the Zelkgrab capture filter, plays\n"
         "a recording back into PNG pictures, or checks it frame by frame against a\n"
         "reference.\n"
         "\n"
         "What to capture:\n"
         "  --rect L,T,R,B     this screen rectangle (left, top, right, bottom)\n"
         "  --desktop          the whole desktop\n"
         "  --window TITLE     a window by its exact title, else by a unique part of it\n"
         "                     (any letter case); the capture follows the window\n"
         "  --hwnd N           a window by its handle (decimal, or hex with 0x)\n"
         "  --follow-mouse     a view of --size pans with the pointer\n"
         "  --size WxH         the output size: the capture is resized to it\n"
         "  --scale MODE       how --size resizes: nearest or linear\n"
         "  --keep-aspect      keep the proportions; the border colour fills the rest\n"
         "  --no-pointer       do not draw the mouse pointer\n"
         "  --no-clicks        do not draw the mouse clicks\n"
         "  -r, --fps N        frame rate (default: the filter's own, 25)\n"
         "\n"
         "Output:\n"
         "  -o, --out FILE     the AVI file to write; refused if it exists, unless -y\n"
         "  -y, --overwrite    replace an existing --out file\n"
         "  -t, --seconds N    record N seconds (decimals allowed)\n"
         "  --frames N         record N frames\n"
         "                     (neither: record until Ctrl+C, or q on the console)\n"
         "  --frames-out DIR   also write every recorded frame into DIR as a PNG picture\n"
         "  -q, --quiet        print only the summary and errors\n"
         "\n"
         "Codec:\n"
         "  --codec NAME       raw (default): the frames as captured; zlkc: compressed\n"
         "                     losslessly through the Zelkenc encoder\n"
         "\n"
         "Playback:\n"
         "  --play FILE        decode every frame of an AVI recording (uncompressed RGB,\n"
         "                     or ZLKC through the Zelkdec decoder) ...\n"
         "  --frames-out DIR   ... into DIR as frame-000000.png, frame-000001.png, ...\n"
         "  --verify FILE      decode FILE like --play and compare every frame ...\n"
         "  --reference REF    ... with the same frame of REF, an uncompressed recording\n"
         "\n"
         "Other:\n"
         "  --list-windows     list the windows that --window can name\n"
         "  -h, --help         show this text\n"
         "\n"
         "Examples:\n" +
         example + " -o clip.avi                      record until Ctrl+C or q\n" +  //
         example + " --window \"Untitled - Notepad\" -t 10 -o notes.avi\n" +         //
         example + " --desktop --size 1280x720 --scale linear -o desktop.avi\n" +    //
         example + " --follow-mouse --size 640x360 -o follow.avi\n" +                //
         example + " --codec zlkc --frames 300 -o small.avi\n" +
         "\n"
         "What is not given here is the filter's own setting (at first the central\n"
         "800 x 600 of the desktop); after the recording, the filter's settings are as\n"
         "they were before.\n"
         "Exit codes: 0 done (for --verify: identical), 1 the recording or playback\n"
         "failed (for --verify: the files differ), 2 bad arguments, or an existing --out\n"
         "file without --overwrite.\n";
}

long long periodForFps(double fps) { return std::llround(10'000'000.0 / fps); }
