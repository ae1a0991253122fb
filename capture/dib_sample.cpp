// DIB-section samples and their allocator.
#include "capture/dib_sample.h"

#include <algorithm>
#include <cstring>
#include <memory>

DibSample::DibSample(CBaseAllocator* allocator, HBITMAP section, BYTE* bits, LONG length)
    : CMediaSample(allocator, bits, length), section_(section) {}

DibSample::~DibSample() {
  if (section_) ::DeleteObject(section_);
}

HRESULT DibSample::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  if (iid == IID_IDibSampleBitmap) {
    *object = static_cast<IDibSampleBitmap*>(this);
    AddRef();
    return S_OK;
  }
  return CMediaSample::QueryInterface(iid, object);
}

HRESULT DibSample::GetBitmap(HBITMAP* bitmap) {
  if (!bitmap) return E_POINTER;
  *bitmap = section_;
  return section_ ? S_OK : E_UNEXPECTED;
}

void DibSample::ReplaceSection(HBITMAP section, BYTE* bits, LONG length) {
  if (section_) ::DeleteObject(section_);
  section_ = section;
  SetPointer(bits, length);
}

DibSampleAllocator::DibSampleAllocator(const BITMAPINFO* header, HDC dc)
    : CBaseAllocator(nullptr), dc_(dc) {
  if (header) {
    std::memcpy(&header_, header, sizeof(header_));
    hasHeader_ = true;
  }
}

DibSampleAllocator::~DibSampleAllocator() { Free(); }

HRESULT DibSampleAllocator::SetProperties(ALLOCATOR_PROPERTIES* request,
                                          ALLOCATOR_PROPERTIES* actual) {
  if (!request || !actual) return E_POINTER;
  if (!hasHeader_) return E_UNEXPECTED;
  // Sections start on a page, so any power of two up to the page size is kept.
  SYSTEM_INFO system;
  ::GetSystemInfo(&system);
  const LONG align = request->cbAlign;
  if (align <= 0 || align > static_cast<LONG>(system.dwPageSize) || (align & (align - 1)) != 0) {
    return VFW_E_BADALIGN;
  }
  if (request->cbPrefix != 0 || request->cbBuffer > imageSize()) return E_FAIL;
  ALLOCATOR_PROPERTIES adjusted = *request;
  adjusted.cBuffers = std::max<long>(adjusted.cBuffers, 1);
  adjusted.cbBuffer = std::max<long>(adjusted.cbBuffer, 1);
  return CBaseAllocator::SetProperties(&adjusted, actual);
}

HRESULT DibSampleAllocator::createSection(HBITMAP* section, BYTE** bits) const {
  void* memory = nullptr;
  *section = ::CreateDIBSection(dc_, reinterpret_cast<const BITMAPINFO*>(&header_), DIB_RGB_COLORS,
                                &memory, nullptr, 0);
  if (!*section || !memory) {
    if (*section) ::DeleteObject(*section);
    *section = nullptr;
    return E_OUTOFMEMORY;
  }
  *bits = static_cast<BYTE*>(memory);
  return S_OK;
}

HRESULT DibSampleAllocator::Alloc() {
  Free();
  for (long i = 0; i < properties_.cBuffers; ++i) {
    HBITMAP section = nullptr;
    BYTE* bits = nullptr;
    HRESULT hr = createSection(&section, &bits);
    if (FAILED(hr)) return hr;
    auto sample = std::unique_ptr<CMediaSample>(new (std::nothrow)
                                                    DibSample(this, section, bits, imageSize()));
    if (!sample) {
      ::DeleteObject(section);
      return E_OUTOFMEMORY;
    }
    hr = AddSample(std::move(sample));
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

void DibSampleAllocator::Free() {
  // Each sample deletes its own section.
  DeleteSamples();
}

HRESULT DibSampleAllocator::ReplaceBitmap(IMediaSample* sample) {
  if (!sample) return E_POINTER;
  CAutoLock lock(&lock_);
  auto owned = std::find_if(samples_.begin(), samples_.end(), [sample](const auto& candidate) {
    return static_cast<IMediaSample*>(candidate.get()) == sample;
  });
  if (owned == samples_.end()) return E_INVALIDARG;
  HBITMAP section = nullptr;
  BYTE* bits = nullptr;
  HRESULT hr = createSection(&section, &bits);
  if (FAILED(hr)) return hr;
  static_cast<DibSample*>(owned->get())->ReplaceSection(section, bits, imageSize());
  return S_OK;
}
