// A hooks server window of the test's own: a hidden top-level window with the title the hooks
// look for, on the creating thread, which keeps the reports posted to it in arrival order. The
// report numbers are registered here by their published names, so a hook registering another
// name posts something this window does not count as a report.
#pragma once

#include <windows.h>

#include <algorithm>
#include <functional>
#include <ostream>
#include <vector>

namespace hooks_test {

struct Report {
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  bool operator==(const Report&) const = default;
};

// For test failure messages.
void PrintTo(const Report& report, std::ostream* out);

struct ReportMessages {
  UINT windowChanged;
  UINT windowBorderChanged;
  UINT windowClientAreaChanged;
  UINT rectangleChanged;
  UINT cursorChanged;
  UINT diagnostic;

  static const ReportMessages& registered();
  bool isReport(UINT message) const;
};

class HooksServerWindow {
 public:
  // Visible only when asked: the hooks must not report on their own server either way.
  explicit HooksServerWindow(bool visible = false);
  ~HooksServerWindow();
  HooksServerWindow(const HooksServerWindow&) = delete;
  HooksServerWindow& operator=(const HooksServerWindow&) = delete;

  HWND window() const { return window_; }

  // Dispatches what is waiting for this thread and hands over the reports received so far.
  std::vector<Report> take();
  // Pumps this thread's messages until `accept` is true of a report (each report is offered
  // once) or `timeoutMs` passes; true if one was accepted.
  bool waitFor(const std::function<bool(const Report&)>& accept, DWORD timeoutMs);

 private:
  static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  HWND window_ = nullptr;
  std::vector<Report> reports_;
};

}  // namespace hooks_test
