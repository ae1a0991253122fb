// Fuzz target for parameter-path splitting: every byte is one character of the path, a zero
// byte ends it. Besides the sanitizers it checks that splitting loses and invents nothing.
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/parameter_path.h"

namespace {

void check(bool condition) {
  if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::wstring path;
  for (size_t i = 0; i < size && data[i] != 0; ++i) path += static_cast<wchar_t>(data[i]);

  const std::vector<std::wstring> components = splitParameterPath(path.c_str());
  if (path.empty()) {
    check(components.empty());
    return 0;
  }
  std::wstring joined;
  for (size_t i = 0; i < components.size(); ++i) {
    if (i > 0) joined += L'\\';
    joined += components[i];
    check(components[i].find(L'\\') == std::wstring::npos);

    const PathStep step = parsePathStep(components[i]);
    check(components[i].compare(0, step.name.size(), step.name) == 0);
    check(step.name.find(L' ') == std::wstring::npos);
    check(step.indexed == (step.index >= 0 && step.name.size() < components[i].size()));
  }
  check(joined == path);
  return 0;
}
