// The panel's command line.
#include "panel/command_line.h"

#include <windows.h>
#include <shellapi.h>

#include <cwchar>

std::vector<CommandLineParameter> parseCommandLine(const wchar_t* commandLine) {
  std::vector<CommandLineParameter> parameters;
  if (!commandLine || !*commandLine) return parameters;
  int count = 0;
  LPWSTR* arguments = ::CommandLineToArgvW(commandLine, &count);
  if (!arguments) return parameters;
  // The first argument is the program itself.
  for (int i = 1; i < count; ++i) {
    CommandLineParameter parameter;
    const wchar_t* text = arguments[i];
    parameter.flag = text[0] == L'/' || text[0] == L'-';
    parameter.text = parameter.flag ? text + 1 : text;
    parameter.last = i == count - 1;
    parameters.push_back(std::move(parameter));
  }
  ::LocalFree(arguments);
  return parameters;
}

StartMode chooseStartMode(const std::vector<CommandLineParameter>& parameters) {
  for (const CommandLineParameter& parameter : parameters) {
    const std::wstring& word = parameter.text;
    if (word == L"Embedding" || word == L"Automation") return StartMode::Server;
    if (word == L"RegServer") return StartMode::Register;
    if (word == L"UnregServer") return StartMode::Unregister;
  }
  return StartMode::Interactive;
}
