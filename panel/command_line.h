// The panel's command line: its parameters as the platform splits them, and the start mode
// the first recognised word chooses. Words are matched exactly and case-sensitively; a flag's
// leading slash or dash is not part of its word.
#pragma once

#include <string>
#include <vector>

struct CommandLineParameter {
  std::wstring text;  // without a flag's leading slash or dash
  bool flag = false;
  bool last = false;
};

std::vector<CommandLineParameter> parseCommandLine(const wchar_t* commandLine);

enum class StartMode { Interactive, Server, Register, Unregister };

// The first parameter that is one of "Embedding", "Automation", "RegServer", "UnregServer"
// decides; without one the start is interactive.
StartMode chooseStartMode(const std::vector<CommandLineParameter>& parameters);
