// Bounds the steps that can block inside other people's code (graph building, run, stop):
// armed with a time and a message, it ends the process with exit code 1 if the step does not
// finish in time. One thread of its own, ended by the destructor.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

class Watchdog {
 public:
  Watchdog();
  ~Watchdog();
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

  // Starts (or restarts) the count-down; `message` is printed when it runs out.
  void arm(std::chrono::milliseconds limit, std::string message);
  void disarm();

 private:
  void watch();

  std::mutex mutex_;
  std::condition_variable changed_;
  bool armed_ = false;
  bool quit_ = false;
  std::chrono::steady_clock::time_point deadline_;
  std::string message_;
  std::thread thread_;
};
