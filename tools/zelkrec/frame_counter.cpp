// Frame counting on the streaming thread.
#include "tools/zelkrec/frame_counter.h"

FrameCounter::FrameCounter() : targetReached_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

void FrameCounter::setFrameTarget(long long frames) {
  std::lock_guard<std::mutex> lock(mutex_);
  frameTarget_ = frames;
  durationTarget_ = 0;
}

void FrameCounter::setDurationTarget(REFERENCE_TIME duration, REFERENCE_TIME period) {
  std::lock_guard<std::mutex> lock(mutex_);
  frameTarget_ = 0;
  durationTarget_ = duration;
  period_ = period;
}

void FrameCounter::setPeriod(REFERENCE_TIME period) {
  std::lock_guard<std::mutex> lock(mutex_);
  frameTarget_ = 0;
  durationTarget_ = 0;
  period_ = period;
}

FrameCounter::Progress FrameCounter::progress() {
  std::lock_guard<std::mutex> lock(mutex_);
  return progress_;
}

bool FrameCounter::admit(IMediaSample* sample) {
  const Clock::time_point now = Clock::now();
  REFERENCE_TIME start = 0;
  REFERENCE_TIME stop = 0;
  const HRESULT timeResult = sample->GetTime(&start, &stop);

  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (reached_) return false;
    if (progress_.frames == 0) progress_.firstArrival = now;
    ++progress_.frames;
    progress_.lastArrival = now;

    // The covered time is measured in stream time, as the file will play it; a sample without
    // times falls back to the clock of arrivals.
    REFERENCE_TIME end = 0;
    if (SUCCEEDED(timeResult)) {
      if (!haveFirstStart_) {
        haveFirstStart_ = true;
        firstStart_ = start;
      } else if (period_ > 0 && start - lastStart_ > period_ + period_ / 2) {
        // A live source stamps each frame with its period: a gap is periods it missed.
        progress_.droppedPeriods += (start - lastStart_ + period_ / 2) / period_ - 1;
      }
      lastStart_ = start;
      end = (timeResult == S_OK ? stop : start + period_) - firstStart_;
    } else {
      end = std::chrono::duration_cast<std::chrono::nanoseconds>(now - progress_.firstArrival)
                    .count() /
                100 +
            period_;
    }
    progress_.recorded = end;

    if (frameTarget_ > 0) {
      reached_ = progress_.frames >= frameTarget_;
    } else if (durationTarget_ > 0) {
      // Half a period of slack, so that time stamps with jitter do not add a frame.
      reached_ = end + period_ / 2 >= durationTarget_;
    }
    if (!reached_) return true;
  }
  ::SetEvent(targetReached_.get());
  return true;
}
