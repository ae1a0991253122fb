// The capture source filter: its settings, one output pin "Capture", a reference clock of its
// own, and the file-source and open-progress interfaces that capture applications probe for.
// Created by its class factory; the graph's thread drives its state.
#pragma once

#include <windows.h>
#include <dshow.h>

#include <string>

#include <wrl/client.h>

#include "config/capture_settings.h"
#include "config/running_objects.h"
#include "dshow/reference_clock.h"
#include "dshow/source.h"
// The class ids and the control interface, from the type library's IDL.
#include "zelkgrab.h"

class CapturePin;

class CaptureFilter final : public CUnknownWith<CSource, IFileSourceFilter, IAMOpenProgress> {
 public:
  static CUnknown* create(IUnknown* outer, HRESULT* hr);

  CaptureFilter(IUnknown* outer, HRESULT* hr);
  ~CaptureFilter() override;

  HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override;

  // A live source cannot cue: paused, it says so.
  HRESULT STDMETHODCALLTYPE GetState(DWORD timeout, FILTER_STATE* state) override;
  // With regrot set at the time of joining, the graph is listed in the running object table
  // while the filter belongs to it, through an object that does not keep the graph alive.
  HRESULT STDMETHODCALLTYPE JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;

  // IFileSourceFilter: the name is only kept.
  HRESULT STDMETHODCALLTYPE Load(LPCOLESTR fileName, const AM_MEDIA_TYPE* type) override;
  HRESULT STDMETHODCALLTYPE GetCurFile(LPOLESTR* fileName, AM_MEDIA_TYPE* type) override;

  // IAMOpenProgress: always complete.
  HRESULT STDMETHODCALLTYPE QueryProgress(LONGLONG* total, LONGLONG* available) override;
  HRESULT STDMETHODCALLTYPE AbortOperation() override;

  CapturePin* pin() const { return pin_; }
  // The parameter record and its persistence; outlives every user but the pin, which the
  // base class destroys after it and which does not touch it while being destroyed.
  CaptureSettings& settings() { return settings_; }

 private:
  CaptureSettings settings_;
  CapturePin* pin_ = nullptr;
  // Made and kept, never handed out: the graph chooses its own clock.
  Microsoft::WRL::ComPtr<CBaseReferenceClock> ownClock_;
  std::wstring fileName_;
  // How other processes find the filter, and (with regrot) the graph it joined.
  ForwardedRunningObject filterEntry_;
  ForwardedRunningObject graphEntry_;
};
