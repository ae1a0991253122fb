// The screen-codec encoder filter "Zelkenc": turns uncompressed RGB32 frames into the "ZLKC"
// stream, a key sample now and then and otherwise the changed rectangle against the frame
// before. The upstream streaming thread runs Transform under the receive lock; the graph's
// thread negotiates types under the filter lock and flushes and stops the filter. The settings
// lock guards the frame encoder (reference frame, counter, scratch, settings) and is never
// held while another lock is taken.
#pragma once

#include <windows.h>
#include <dshow.h>

#include <optional>

#include "codec/frame_encoder.h"
#include "common/registry_key.h"
#include "dshow/critsec.h"
#include "dshow/transform.h"

class ZelkencFilter final
    : public CUnknownWith<CTransformFilter, ISpecifyPropertyPages, IAMVideoCompression> {
 public:
  // Where the settings live, below HKEY_LOCAL_MACHINE.
  static constexpr wchar_t kSettingsPath[] = L"SOFTWARE\\MorvainLabs\\Zelkenc";

  static CUnknown* create(IUnknown* outer, HRESULT* hr);

  // E_FAIL in `*hr` when the settings key cannot be opened for writing.
  ZelkencFilter(IUnknown* outer, HRESULT* hr);
  ~ZelkencFilter() override;

  HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override;

  HRESULT Transform(IMediaSample* in, IMediaSample* out) override;
  HRESULT CheckInputType(const CMediaType* in) override;
  HRESULT CheckTransform(const CMediaType* in, const CMediaType* out) override;
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
  HRESULT GetMediaType(int position, CMediaType* type) override;
  HRESULT BeginFlush() override;
  HRESULT EndFlush() override;

  HRESULT STDMETHODCALLTYPE Stop() override;

  // ISpecifyPropertyPages
  HRESULT STDMETHODCALLTYPE GetPages(CAUUID* pages) override;

  // IAMVideoCompression: every setter stores its value in the settings key at once.
  HRESULT STDMETHODCALLTYPE put_KeyFrameRate(LONG rate) override;
  HRESULT STDMETHODCALLTYPE get_KeyFrameRate(LONG* rate) override;
  HRESULT STDMETHODCALLTYPE put_PFramesPerKeyFrame(LONG frames) override;
  HRESULT STDMETHODCALLTYPE get_PFramesPerKeyFrame(LONG* frames) override;
  HRESULT STDMETHODCALLTYPE put_Quality(double quality) override;
  HRESULT STDMETHODCALLTYPE get_Quality(double* quality) override;
  HRESULT STDMETHODCALLTYPE put_WindowSize(DWORDLONG size) override;
  HRESULT STDMETHODCALLTYPE get_WindowSize(DWORDLONG* size) override;
  HRESULT STDMETHODCALLTYPE GetInfo(LPWSTR version, int* versionBytes, LPWSTR description,
                                    int* descriptionBytes, LONG* keyframeRate,
                                    LONG* framesPerKeyframe, double* quality,
                                    LONG* capabilities) override;
  HRESULT STDMETHODCALLTYPE OverrideKeyFrame(LONG frame) override;
  HRESULT STDMETHODCALLTYPE OverrideFrameSize(LONG frame, LONG size) override;

 private:
  // Forgets the reference frame and the scratch and restarts the count: the next sample is a
  // key sample.
  void reset();
  void openSettings();
  HRESULT encode(IMediaSample* in, IMediaSample* out);

  CCritSec settingsLock_;
  std::optional<RegistryKey> settingsKey_;
  codec::FrameEncoder encoder_;
};
