// The recorder's progress while it records: on a console one line rewritten in place twice a
// second; into a pipe or a file one line every 5 s; with --quiet nothing. Lines that follow
// (errors, the summary) start on a line of their own. Used from the recorder's thread.
#pragma once

#include <chrono>
#include <string>

class ProgressLine {
 public:
  explicit ProgressLine(bool quiet);
  ~ProgressLine();
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  // Shows `text` if it is time to.
  void update(const std::string& text);
  // Ends a line rewritten in place, so that the next output starts on its own line.
  void end();

 private:
  bool quiet_;
  bool console_;
  std::chrono::steady_clock::time_point next_;
  size_t shown_ = 0;  // characters of the line on the console, 0 for none
};
