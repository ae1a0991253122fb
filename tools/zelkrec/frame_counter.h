// Counts the recorded frames, decides which frames belong to the recording (those up to the
// target) and tells the recorder when the target is reached. The frame tap calls `admit` on
// the streaming thread; the recorder's thread reads the progress, so the counts are kept under
// a lock.
#pragma once

#include <windows.h>
#include <strmif.h>

#include <chrono>
#include <mutex>

#include "common/win_raii.h"

class FrameCounter {
 public:
  using Clock = std::chrono::steady_clock;

  struct Progress {
    long long frames = 0;
    Clock::time_point firstArrival;
    Clock::time_point lastArrival;
    REFERENCE_TIME recorded = 0;  // stream time covered so far, 100-ns units
    long long droppedPeriods = 0;  // periods between stamped frames that brought no frame
  };

  FrameCounter();

  // Stop after `frames` frames, or once `duration` (100-ns units) of stream time is covered;
  // `period` is the frame period, for samples without a stop time.
  void setFrameTarget(long long frames);
  void setDurationTarget(REFERENCE_TIME duration, REFERENCE_TIME period);
  // No target: the recording goes on until it is stopped.
  void setPeriod(REFERENCE_TIME period);

  // Signalled when the target is reached.
  HANDLE targetReached() const { return targetReached_.get(); }

  Progress progress();
  // Counts `sample` and answers true if it is part of the recording; false once the target
  // was reached by an earlier one.
  bool admit(IMediaSample* sample);

 private:
  UniqueHandle targetReached_;

  std::mutex mutex_;
  long long frameTarget_ = 0;
  REFERENCE_TIME durationTarget_ = 0;
  REFERENCE_TIME period_ = 0;
  Progress progress_;
  bool reached_ = false;
  bool haveFirstStart_ = false;
  REFERENCE_TIME firstStart_ = 0;
  REFERENCE_TIME lastStart_ = 0;
};
