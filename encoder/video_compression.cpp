// The encoder's IAMVideoCompression: its two settings in the interface's terms, stored in the
// settings key as they change, and the description a compressor gives of itself.
#include <windows.h>
#include <dshow.h>

#include <algorithm>
#include <string_view>

#include "encoder/settings_range.h"
#include "encoder/zelkenc_filter.h"

namespace {

constexpr std::wstring_view kVersion = L"Version 0.99";
constexpr std::wstring_view kDescription = L"ZelkScreenCompressor";
constexpr LONG kCapabilities = CompressionCaps_CanQuality | CompressionCaps_CanKeyFrame;

// Byte sizes count the terminator. With a buffer, as much of the text as fits is copied and
// `*bytes` says how much that was; without one, `*bytes` says how much the whole text needs.
void describe(std::wstring_view text, LPWSTR buffer, int* bytes) {
  if (!bytes) return;
  if (!buffer) {
    *bytes = static_cast<int>((text.size() + 1) * sizeof(wchar_t));
    return;
  }
  const size_t room = *bytes > 0 ? static_cast<size_t>(*bytes) / sizeof(wchar_t) : 0;
  if (room == 0) {
    *bytes = 0;
    return;
  }
  const size_t copied = std::min(text.size(), room - 1);
  text.copy(buffer, copied);
  buffer[copied] = L'\0';
  *bytes = static_cast<int>((copied + 1) * sizeof(wchar_t));
}

}  // namespace

HRESULT ZelkencFilter::put_KeyFrameRate(LONG rate) {
  CAutoLock lock(&settingsLock_);
  const int32_t stored = settings_range::keyframeRateInRange(rate);
  encoder_.setKeyframeRate(stored);
  // The value in use has changed either way; only its survival depends on the write.
  settingsKey_->WriteInt32(L"keyframe", stored);
  return S_OK;
}

HRESULT ZelkencFilter::get_KeyFrameRate(LONG* rate) {
  if (!rate) return E_POINTER;
  CAutoLock lock(&settingsLock_);
  *rate = encoder_.keyframeRate();
  return S_OK;
}

HRESULT ZelkencFilter::put_PFramesPerKeyFrame(LONG) { return E_NOTIMPL; }
HRESULT ZelkencFilter::get_PFramesPerKeyFrame(LONG*) { return E_NOTIMPL; }

HRESULT ZelkencFilter::put_Quality(double quality) {
  CAutoLock lock(&settingsLock_);
  const int32_t level = settings_range::levelForQuality(quality);
  encoder_.setLevel(level);
  settingsKey_->WriteInt32(L"quality", level);
  return S_OK;
}

HRESULT ZelkencFilter::get_Quality(double* quality) {
  if (!quality) return E_POINTER;
  CAutoLock lock(&settingsLock_);
  *quality = settings_range::qualityOfLevel(encoder_.level());
  return S_OK;
}

HRESULT ZelkencFilter::put_WindowSize(DWORDLONG) { return E_NOTIMPL; }
HRESULT ZelkencFilter::get_WindowSize(DWORDLONG*) { return E_NOTIMPL; }

HRESULT ZelkencFilter::GetInfo(LPWSTR version, int* versionBytes, LPWSTR description,
                               int* descriptionBytes, LONG* keyframeRate, LONG* framesPerKeyframe,
                               double* quality, LONG* capabilities) {
  describe(kVersion, version, versionBytes);
  describe(kDescription, description, descriptionBytes);
  if (keyframeRate) *keyframeRate = settings_range::kDefaultKeyframeRate;
  if (framesPerKeyframe) *framesPerKeyframe = 0;
  if (quality) *quality = settings_range::kDefaultQuality;
  if (capabilities) *capabilities = kCapabilities;
  return S_OK;
}

HRESULT ZelkencFilter::OverrideKeyFrame(LONG) { return E_NOTIMPL; }
HRESULT ZelkencFilter::OverrideFrameSize(LONG, LONG) { return E_NOTIMPL; }
