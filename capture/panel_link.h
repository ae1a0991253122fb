// The capture pin's link to the control panel's queue object while it streams: it takes the
// window-change events the panel's hooks queued for the pin, and tells the panel where to draw
// the frame that marks the captured area. Without the panel (not installed, not startable) the
// link is absent and the pin treats every sample as changed.
// Threads: the pin's worker calls everything. Every call into the panel runs on the link's own
// thread (multithreaded apartment), which creates, uses and releases the queue object; the
// worker waits for each call a bounded time and holds no lock meanwhile. A panel that does not
// answer in time is dropped for the rest of the stream: its thread is left to finish the call
// and end on its own, keeping the module loaded until then.
#pragma once

#include <windows.h>

#include <memory>

#include "config/capture_params.h"

// What an event text means for the next frame, by its prefix.
enum class PanelEvent { Geometry, Cursor, Other };
PanelEvent classifyPanelEvent(const wchar_t* text);

// What a sample tells the panel's frame marker.
struct FrameReport {
  enum class Kind { None, Hide, Show };
  Kind kind = Kind::None;
  ParamRect screen = {0, 0, 0, 0};  // with Show: the captured rectangle, screen coordinates
};

class PanelLink {
 public:
  PanelLink() = default;
  ~PanelLink();
  PanelLink(const PanelLink&) = delete;
  PanelLink& operator=(const PanelLink&) = delete;

  // Creates the panel's queue object on the link's thread; absent when that fails or takes
  // too long.
  void open();
  // Releases the queue object and ends the thread (waiting a bounded time).
  void close();
  bool present() const { return channel_ != nullptr; }

  // Takes the pending events until the queue answers anything but S_OK, or for at most
  // kDrainBudgetMs (the rest is taken next time, and counts as a change now). False without
  // a link, and from a queue that failed (its panel ended): the link is then closed.
  bool drainEvents(bool* geometryChanged, bool* cursorChanged);
  // The frame marker; the panel's answer is of no consequence to the capture.
  void report(const FrameReport& report);

  // How long the worker waits for the panel, in milliseconds.
  static constexpr DWORD kOpenTimeoutMs = 3000;
  static constexpr DWORD kCallTimeoutMs = 500;
  // How long one period reads events at most; well below the call time-out.
  static constexpr DWORD kDrainBudgetMs = 150;

 private:
  struct Channel;
  enum class Job { None, Drain, Report, Close };

  // Hands `job` to the thread and waits for it; false (and the link dropped) on a time-out.
  bool call(Job job, DWORD timeoutMs);
  void abandon();
  static DWORD WINAPI threadProc(void* channel);

  std::shared_ptr<Channel> channel_;
};
