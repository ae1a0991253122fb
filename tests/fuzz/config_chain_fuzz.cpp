// Fuzz target for the configuration chain: any text as a configuration document, and any text
// as the registry copy (unpacked, its bytes read as Latin-1, the stand-in for the ANSI code
// page), applied through the parameter set over the built-in record, as a filter's start and
// a client's whole-document put do. The first byte picks the way in. Besides the sanitizers it
// checks that text that does not parse changes nothing, that the document saved from the
// result applies back to the same record, directly and through its packed registry copy, and
// that the rectangle's size can be taken whatever its numbers.
#include <cstddef>
#include <cstdint>
#include <string>

#include "config/built_in_settings.h"
#include "config/packed_text.h"
#include "config/parameter_set.h"

namespace {

void check(bool condition) {
  if (!condition) __builtin_trap();
}

CaptureParams builtInRecord() {
  CaptureParams params = initialCaptureParams();
  check(applyDocument(params, builtInDocument()) == S_OK);
  return params;
}

std::wstring fromLatin1(const std::string& bytes) {
  std::wstring text;
  for (unsigned char byte : bytes) text += static_cast<wchar_t>(byte);
  return text;
}

// What the ANSI conversion of a Latin-1 code page makes of text: other characters become '?'.
std::string toLatin1(const std::wstring& text) {
  std::string bytes;
  for (wchar_t c : text) bytes += c >= 0 && c <= 0xFF ? static_cast<char>(c) : '?';
  return bytes;
}

// Each well-formed UTF-8 sequence one character, any other byte a character of its own.
std::wstring fromUtf8(const uint8_t* data, size_t size) {
  std::wstring text;
  for (size_t i = 0; i < size;) {
    const uint8_t lead = data[i];
    const size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    uint32_t c = lead;
    bool wellFormed = length > 1 && i + length <= size && lead < 0xF5;
    if (wellFormed) {
      c = lead & (0x7F >> length);
      for (size_t k = 1; k < length; ++k) {
        wellFormed = wellFormed && (data[i + k] & 0xC0) == 0x80;
        c = (c << 6) | (data[i + k] & 0x3F);
      }
    }
    if (!wellFormed) {
      text += static_cast<wchar_t>(lead);
      ++i;
      continue;
    }
    text += static_cast<wchar_t>(c);
    i += length;
  }
  return text;
}

// The values a saved document carries (the border without its unused top byte).
bool sameSaved(const CaptureParams& a, const CaptureParams& b) {
  return a.sampletime == b.sampletime && a.hwnd == b.hwnd && a.area.left == b.area.left &&
         a.area.top == b.area.top && a.area.right == b.area.right &&
         a.area.bottom == b.area.bottom && a.output.cx == b.output.cx &&
         a.output.cy == b.output.cy && (a.border & 0xFFFFFF) == (b.border & 0xFFFFFF) &&
         a.flags == b.flags && a.event == b.event;
}

bool sameRecord(const CaptureParams& a, const CaptureParams& b) {
  return sameSaved(a, b) && a.rect.left == b.rect.left && a.rect.top == b.rect.top &&
         a.rect.right == b.rect.right && a.rect.bottom == b.rect.bottom && a.border == b.border;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  static const CaptureParams kBuiltIn = builtInRecord();
  const bool registryCopy = data[0] & 1;
  std::wstring text;
  if (registryCopy) {
    text = fromLatin1(unpackText(fromLatin1(std::string(data + 1, data + size))));
  } else {
    text = fromUtf8(data + 1, size - 1);
  }

  CaptureParams params = kBuiltIn;
  bool borderChanged = false;
  const HRESULT applied = applyDocument(params, text.c_str(), &borderChanged);
  if (FAILED(applied)) {
    check(sameRecord(params, kBuiltIn));
    check(!borderChanged);
    return 0;
  }
  check(applied == S_OK);
  check(params.rect.width() == params.area.width() && params.rect.height() == params.area.height());

  std::wstring saved;
  check(buildDocument(params, &saved) == S_OK);
  CaptureParams restored = kBuiltIn;
  check(applyDocument(restored, saved.c_str()) == S_OK);
  check(sameSaved(restored, params));

  const std::wstring packed = packBytes(toLatin1(saved));
  CaptureParams fromRegistry = kBuiltIn;
  check(applyDocument(fromRegistry, fromLatin1(unpackText(packed)).c_str()) == S_OK);
  check(sameSaved(fromRegistry, params));
  return 0;
}
