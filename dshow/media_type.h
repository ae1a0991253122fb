// Media types: `CMediaType`, an AM_MEDIA_TYPE that owns its format block and its pUnk (deep
// copies, comparison, format helpers), and the free functions for the task-memory types that
// pins hand across interfaces. Also the bitmap rules: a subtype from bit count and masks, and
// the size of a DIB with rows padded to 4 bytes.
#pragma once

#include <windows.h>
// Also declares the media types, result codes and event codes.
#include <dshow.h>

// Frees what `type` points to (format block, pUnk) and leaves it empty; not the struct itself.
void FreeMediaType(AM_MEDIA_TYPE& type);
// Frees a type from CreateMediaType or an enumerator, struct and contents.
void DeleteMediaType(AM_MEDIA_TYPE* type);
// Deep copy into `target`, which must hold nothing; E_OUTOFMEMORY leaves it empty.
HRESULT CopyMediaType(AM_MEDIA_TYPE* target, const AM_MEDIA_TYPE* source);
// Deep copy in task memory, or null.
AM_MEDIA_TYPE* CreateMediaType(const AM_MEDIA_TYPE* source);

// The RGB subtype of an uncompressed bitmap (BI_RGB, or BI_BITFIELDS with the masks that
// follow the header), or the FOURCC subtype of a compressed one; GUID_NULL when unknown.
GUID GetBitmapSubtype(const BITMAPINFOHEADER* header);
// Bytes of the picture: rows of width x bit count padded to 4 bytes, times |height|.
DWORD GetBitmapSize(const BITMAPINFOHEADER* header);

class CMediaType : public AM_MEDIA_TYPE {
 public:
  CMediaType();
  explicit CMediaType(const GUID* majorType);
  CMediaType(const AM_MEDIA_TYPE& type);  // deep copy; check IsValid() for memory failure
  CMediaType(const CMediaType& type);
  CMediaType(CMediaType&& type) noexcept;
  ~CMediaType();

  CMediaType& operator=(const AM_MEDIA_TYPE& type);
  CMediaType& operator=(const CMediaType& type);
  CMediaType& operator=(CMediaType&& type) noexcept;
  HRESULT Set(const AM_MEDIA_TYPE& type);

  // Same major type, subtype, format type and format bytes.
  bool operator==(const CMediaType& other) const;
  bool operator!=(const CMediaType& other) const { return !(*this == other); }
  // Every non-null GUID of `partial` matches (GUID_NULL is a wildcard).
  bool MatchesPartial(const CMediaType* partial) const;
  bool IsPartiallySpecified() const;
  bool IsValid() const { return majortype != GUID_NULL; }

  const GUID* Type() const { return &majortype; }
  const GUID* Subtype() const { return &subtype; }
  const GUID* FormatType() const { return &formattype; }
  void SetType(const GUID* type) { majortype = *type; }
  void SetSubtype(const GUID* type) { subtype = *type; }
  void SetFormatType(const GUID* type) { formattype = *type; }

  BYTE* Format() const { return pbFormat; }
  ULONG FormatLength() const { return cbFormat; }
  // Replaces the format block with a copy of `length` bytes; false on memory failure.
  bool SetFormat(const BYTE* format, ULONG length);
  // A zeroed format block of `length` bytes (the old one is freed), or null.
  BYTE* AllocFormatBuffer(ULONG length);
  // Resizes the block keeping its first bytes, or null (the old block stays).
  BYTE* ReallocFormatBuffer(ULONG length);
  void ResetFormatBuffer();

  void SetSampleSize(ULONG size);
  void SetVariableSize();
  void SetTemporalCompression(bool compressed) { bTemporalCompression = compressed; }
  bool IsFixedSize() const { return bFixedSizeSamples != FALSE; }
  bool IsTemporalCompressed() const { return bTemporalCompression != FALSE; }
  ULONG GetSampleSize() const { return IsFixedSize() ? lSampleSize : 0; }

  // Back to the empty state of a new object.
  void InitMediaType();

 private:
  void clear();
};
