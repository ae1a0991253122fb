// The settings of one capture filter: its parameter record, the control objects listening for
// changes, and the configuration chain the record is loaded from and saved to. The filter owns
// it; its pin reads snapshots and stores what tracking derives.
// Threads: control clients (any thread, any process) call the parameter operations; the pin's
// worker and the graph's thread take snapshots and store tracked geometry. The record lock is
// held only to copy or edit the record in memory and to signal listeners, never across a
// registry write, a file or URL read or a call into another object; the write lock serialises
// the callers that change and save the record, so saves land in the order of the changes.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "config/capture_params.h"
#include "config/configuration.h"
#include "config/control_object.h"
#include "dshow/critsec.h"

class CaptureSettings final : public ParameterOwner {
 public:
  // `module` and `serverClass` locate the filter's configuration file (see Configuration).
  CaptureSettings(HMODULE module, const CLSID& serverClass);

  // The start of a filter: built-in values centred on the desktop's rectangle, the registry
  // copy, the configuration file and its redirects; saved. `desktop` is the desktop as read
  // for capture (its rectangle and depth).
  void load(const CaptureParams& desktop);
  // Saves the record as it is now (the filter's last word).
  void save();

  // A copy of the record, and the count of caller changes it reflects.
  CaptureParams snapshot(uint64_t* changes = nullptr) const;
  // Stores a record the capture side derived from the snapshot of `basedOn` changes: kept only
  // when no caller changed the record since (their change wins and is tracked next time).
  // True when it was kept and differs from the record; the listeners are then signalled.
  bool storeTracked(const CaptureParams& tracked, uint64_t basedOn, bool* stored = nullptr);
  // Edits the record in place: counted as a change and signalled, saved with the filter. For
  // in-process callers (tests, tools) that hold the filter.
  void change(const std::function<void(CaptureParams&)>& edit);
  // IAMStreamConfig's period: listeners are signalled; not a change of what is captured.
  void setSampleTime(int64_t period);
  // The period the built-in configuration gives, for a record whose period is unusable.
  int64_t builtInSampleTime() const { return builtInSampleTime_; }

  // ParameterOwner: each set that changed something is counted, signalled and saved.
  HRESULT GetParam(const wchar_t* path, int32_t* value) override;
  HRESULT SetParam(const wchar_t* path, int32_t value) override;
  HRESULT GetDocument(std::wstring* text) override;
  HRESULT PutDocument(const wchar_t* text) override;
  void RemoveListener(ControlObject* listener) override;
  // A control object to signal on every change, until it removes itself.
  HRESULT AddListener(ControlObject* listener);

  const Configuration& configuration() const { return configuration_; }

 private:
  // Under recordLock_.
  void signalListeners();

  mutable CCritSec recordLock_;
  CCritSec writeLock_;
  CaptureParams params_;
  uint64_t changes_ = 0;
  int64_t builtInSampleTime_ = 0;
  std::vector<ControlObject*> listeners_;  // not referenced: each removes itself
  Configuration configuration_;
};
