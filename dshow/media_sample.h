// `CMediaSample`, one buffer of an allocator as the IMediaSample2 that pins pass downstream: a
// pointer into memory the allocator owns, plus times, flags, an optional media type and the
// length of valid data. The allocator creates and deletes samples; whoever holds a sample (one
// thread at a time: the producer filling it, then the consumer reading it) uses its methods
// without a lock. The reference count is atomic, and when it falls to zero the sample is not
// deleted but goes back to its allocator through IMemAllocator::ReleaseBuffer, which may run
// on any thread. Samples are neither aggregated nor counted as module objects: the allocator
// keeps itself (and so the module) alive while a sample is out.
#pragma once

#include <windows.h>
#include <strmif.h>

#include <atomic>
#include <memory>

class CBaseAllocator;

class CMediaSample : public IMediaSample2 {
 public:
  // `allocator` gets the sample back on its last Release; it must outlive the sample.
  CMediaSample(CBaseAllocator* allocator, BYTE* buffer, LONG length);
  virtual ~CMediaSample();
  CMediaSample(const CMediaSample&) = delete;
  CMediaSample& operator=(const CMediaSample&) = delete;

  // IUnknown. QueryInterface stays virtual so that a derived sample can add an interface and
  // fall back to this one.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IMediaSample
  HRESULT STDMETHODCALLTYPE GetPointer(BYTE** buffer) override;
  LONG STDMETHODCALLTYPE GetSize() override;
  HRESULT STDMETHODCALLTYPE GetTime(REFERENCE_TIME* start, REFERENCE_TIME* end) override;
  HRESULT STDMETHODCALLTYPE SetTime(REFERENCE_TIME* start, REFERENCE_TIME* end) override;
  HRESULT STDMETHODCALLTYPE IsSyncPoint() override;
  HRESULT STDMETHODCALLTYPE SetSyncPoint(BOOL syncPoint) override;
  HRESULT STDMETHODCALLTYPE IsPreroll() override;
  HRESULT STDMETHODCALLTYPE SetPreroll(BOOL preroll) override;
  LONG STDMETHODCALLTYPE GetActualDataLength() override;
  HRESULT STDMETHODCALLTYPE SetActualDataLength(LONG length) override;
  HRESULT STDMETHODCALLTYPE GetMediaType(AM_MEDIA_TYPE** type) override;
  HRESULT STDMETHODCALLTYPE SetMediaType(AM_MEDIA_TYPE* type) override;
  HRESULT STDMETHODCALLTYPE IsDiscontinuity() override;
  HRESULT STDMETHODCALLTYPE SetDiscontinuity(BOOL discontinuity) override;
  HRESULT STDMETHODCALLTYPE GetMediaTime(LONGLONG* start, LONGLONG* end) override;
  HRESULT STDMETHODCALLTYPE SetMediaTime(LONGLONG* start, LONGLONG* end) override;

  // IMediaSample2. Both take any prefix of AM_SAMPLE2_PROPERTIES up to its full size. The
  // pMediaType that GetProperties reports is the sample's own copy (null unless
  // AM_SAMPLE_TYPECHANGED): valid while the caller holds the sample, never freed by it.
  // SetProperties cannot move the buffer (E_INVALIDARG) and changes nothing when it fails.
  HRESULT STDMETHODCALLTYPE GetProperties(DWORD size, BYTE* properties) override;
  HRESULT STDMETHODCALLTYPE SetProperties(DWORD size, const BYTE* properties) override;

  // For the allocator: points the sample at other memory (a replaced bitmap, say). Only while
  // no one else is reading the sample; the whole new buffer counts as valid data.
  void SetPointer(BYTE* buffer, LONG length);
  // For the allocator when the sample comes back: forgets times, media times, flags, stream id
  // and media type, and counts the whole buffer as valid data again.
  void ClearProperties();

  CBaseAllocator* Allocator() const { return allocator_; }

 private:
  struct MediaTypeDeleter {
    void operator()(AM_MEDIA_TYPE* type) const;
  };
  using OwnedMediaType = std::unique_ptr<AM_MEDIA_TYPE, MediaTypeDeleter>;

  bool hasFlag(DWORD flag) const { return (flags_ & flag) != 0; }
  void setFlag(DWORD flag, bool on) { flags_ = on ? (flags_ | flag) : (flags_ & ~flag); }

  CBaseAllocator* const allocator_;
  std::atomic<LONG> references_{0};

  BYTE* buffer_;
  LONG size_;
  LONG actual_;
  // AM_SAMPLE_* bits: sync point, preroll, discontinuity, type changed, time and stop valid.
  DWORD flags_ = 0;
  DWORD typeSpecificFlags_ = 0;
  DWORD streamId_ = AM_STREAM_MEDIA;
  REFERENCE_TIME start_ = 0;
  REFERENCE_TIME end_ = 0;
  bool mediaTimeValid_ = false;
  LONGLONG mediaStart_ = 0;
  LONGLONG mediaEnd_ = 0;
  OwnedMediaType mediaType_;
};
