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
  std::string (*apply)(const std::string& value, RecordOptions& options);
};

const Option kOptions[] = {
    {"--out", true,
     [](const std::string& value, RecordOptions& options) -> std::string {
       if (value.empty()) return "--out: the file name is empty";
       options.outPath = value;
       return {};
     }},
    {"--seconds", true,
     [](const std::string& value, RecordOptions& options) -> std::string {
       double seconds = 0;
       if (!parseDecimal(value, &seconds) || seconds <= 0 || seconds > kMaxSeconds) {
         return "--seconds: '" + value + "' is not a number of seconds above 0 and up to " +
                formatLimit(kMaxSeconds);
       }
       options.limit = RecordOptions::Limit::Seconds;
       options.seconds = seconds;
       return {};
     }},
    {"--frames", true,
     [](const std::string& value, RecordOptions& options) -> std::string {
       long long frames = 0;
       if (!parseWhole(value, &frames) || frames < 1 || frames > kMaxFrames) {
         return "--frames: '" + value + "' is not a whole number from 1 to " +
                std::to_string(kMaxFrames);
       }
       options.limit = RecordOptions::Limit::Frames;
       options.frames = frames;
       return {};
     }},
    {"--fps", true,
     [](const std::string& value, RecordOptions& options) -> std::string {
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
     [](const std::string& value, RecordOptions& options) -> std::string {
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
       options.rect = RecordOptions::Rect{static_cast<long>(parts[0]), static_cast<long>(parts[1]),
                                          static_cast<long>(parts[2]), static_cast<long>(parts[3])};
       return {};
     }},
    {"--desktop", false,
     [](const std::string& value, RecordOptions& options) -> std::string {
       if (!value.empty()) return "--desktop takes no value";
       options.desktop = true;
       return {};
     }},
};

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

  if (seen.count("--seconds") && seen.count("--frames")) {
    result.error = "--seconds and --frames cannot be used together";
  } else if (seen.count("--rect") && seen.count("--desktop")) {
    result.error = "--rect and --desktop cannot be used together";
  } else if (!seen.count("--out")) {
    result.error = "missing --out FILE (the AVI file to write)";
  }
  return result;
}

std::string usageText(const std::string& program) {
  return "Usage: " + program +
         " --out FILE [--seconds N | --frames N] [--fps N] [--rect L,T,R,B | --desktop]\n"
         "Records the screen through the Zelkgrab capture filter into an AVI file.\n"
         "\n"
         "  --out FILE     the AVI file to write (replaced if it exists)\n"
         "  --seconds N    record N seconds (default 5; decimals allowed)\n"
         "  --frames N     record N frames instead\n"
         "  --fps N        frame rate (default: the filter's own, 25)\n"
         "  --rect L,T,R,B capture this screen rectangle (left, top, right, bottom)\n"
         "  --desktop      capture the whole desktop\n"
         "  --help         show this text\n"
         "\n"
         "Without --rect or --desktop the filter's own settings decide (at first the central\n"
         "800 x 600 of the desktop). Exit codes: 0 done, 1 the recording failed, 2 bad\n"
         "arguments.\n";
}

long long periodForFps(double fps) { return std::llround(10'000'000.0 / fps); }
