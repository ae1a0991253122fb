// The capture filter's settings: record, listeners, load and save.
#include "config/capture_settings.h"

#include <algorithm>

#include "config/parameter_set.h"

CaptureSettings::CaptureSettings(HMODULE module, const CLSID& serverClass)
    : configuration_(module, serverClass) {
  params_ = {};
  params_.size = sizeof(CaptureParams);
}

void CaptureSettings::load(const CaptureParams& desktop) {
  CaptureParams loaded;
  CaptureParams builtIn;
  {
    CAutoLock writer(&writeLock_);
    configuration_.load(loaded, desktop.rect, &builtIn);
  }
  loaded.screenBits = desktop.screenBits;
  CAutoLock lock(&recordLock_);
  params_ = loaded;
  builtInSampleTime_ = builtIn.sampletime;
}

void CaptureSettings::save() {
  CAutoLock writer(&writeLock_);
  configuration_.save(snapshot());
}

CaptureParams CaptureSettings::snapshot(uint64_t* changes) const {
  CAutoLock lock(&recordLock_);
  if (changes) *changes = changes_;
  return params_;
}

bool CaptureSettings::storeTracked(const CaptureParams& tracked, uint64_t basedOn, bool* stored) {
  CAutoLock lock(&recordLock_);
  if (stored) *stored = false;
  if (changes_ != basedOn) return false;
  if (stored) *stored = true;
  if (tracked == params_) return false;
  params_ = tracked;
  signalListeners();
  return true;
}

void CaptureSettings::change(const std::function<void(CaptureParams&)>& edit) {
  CAutoLock lock(&recordLock_);
  edit(params_);
  ++changes_;
  signalListeners();
}

void CaptureSettings::setSampleTime(int64_t period) {
  CAutoLock lock(&recordLock_);
  params_.sampletime = period;
  signalListeners();
}

HRESULT CaptureSettings::GetParam(const wchar_t* path, int32_t* value) {
  CAutoLock lock(&recordLock_);
  return getParameter(params_, path, value);
}

HRESULT CaptureSettings::SetParam(const wchar_t* path, int32_t value) {
  CAutoLock writer(&writeLock_);
  CaptureParams changed;
  {
    CAutoLock lock(&recordLock_);
    HRESULT hr = setParameter(params_, path, value);
    if (hr != S_OK) return hr;
    ++changes_;
    signalListeners();
    changed = params_;
  }
  configuration_.save(changed);
  return S_OK;
}

HRESULT CaptureSettings::GetDocument(std::wstring* text) {
  if (!text) return E_POINTER;
  // Built from a copy: the document reads the tracked window's title.
  return buildDocument(snapshot(), text);
}

HRESULT CaptureSettings::PutDocument(const wchar_t* text) {
  if (!text) return E_POINTER;
  CAutoLock writer(&writeLock_);
  // Applied to a copy: redirects may read files and URLs, which must not hold up the capture.
  CaptureParams changed = snapshot();
  HRESULT hr = applyDocument(changed, text);
  // Not a document: nothing changed, nobody is told.
  if (FAILED(hr)) return hr;
  hr = configuration_.followRedirects(changed, text, 0);
  {
    CAutoLock lock(&recordLock_);
    params_ = changed;
    ++changes_;
    signalListeners();
  }
  // A redirect that cannot be followed keeps what was applied but saves nothing.
  if (FAILED(hr)) return hr;
  return configuration_.save(changed);
}

HRESULT CaptureSettings::AddListener(ControlObject* listener) {
  if (!listener) return E_POINTER;
  CAutoLock lock(&recordLock_);
  listeners_.push_back(listener);
  return S_OK;
}

void CaptureSettings::RemoveListener(ControlObject* listener) {
  CAutoLock lock(&recordLock_);
  std::erase(listeners_, listener);
}

void CaptureSettings::signalListeners() {
  for (ControlObject* listener : listeners_) listener->Signal();
}
