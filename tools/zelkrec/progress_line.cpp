// Progress output, in place on a console.
#include "tools/zelkrec/progress_line.h"

#include <windows.h>

#include <cstdio>

using namespace std::chrono_literals;

namespace {

bool stdoutIsConsole() {
  DWORD mode = 0;
  return ::GetConsoleMode(::GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

}  // namespace

ProgressLine::ProgressLine(bool quiet)
    : quiet_(quiet), console_(stdoutIsConsole()), next_(std::chrono::steady_clock::now() + 500ms) {}

ProgressLine::~ProgressLine() { end(); }

void ProgressLine::update(const std::string& text) {
  if (quiet_) return;
  const auto now = std::chrono::steady_clock::now();
  if (now < next_) return;
  next_ = now + (console_ ? 500ms : 5s);
  if (!console_) {
    std::printf("zelkrec: %s\n", text.c_str());
    std::fflush(stdout);
    return;
  }
  // Blanks over what a longer line before left.
  const size_t length = text.size() + 9;
  std::printf("\rzelkrec: %s%*s", text.c_str(),
              static_cast<int>(shown_ > length ? shown_ - length : 0), "");
  std::fflush(stdout);
  shown_ = length;
}

void ProgressLine::end() {
  if (shown_ == 0) return;
  std::printf("\n");
  std::fflush(stdout);
  shown_ = 0;
}
