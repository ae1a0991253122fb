// Fuzz target for the packed text of the registry copy: unpacking any text (the registry value
// is whatever someone stored there) never fails, and packing any bytes gives alphabet
// characters only that unpack to the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "config/packed_text.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);

  // The input as text twice: one character a byte, and one a pair of bytes, so that
  // characters above the byte range reach the alphabet lookup too.
  std::wstring narrow(bytes.begin(), bytes.end());
  std::wstring wide;
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    wide += static_cast<wchar_t>(data[i] | (data[i + 1] << 8));
  }
  for (const std::wstring* text : {&narrow, &wide}) {
    std::size_t values = 0;
    for (wchar_t c : *text) values += packed_text::valueOf(c) >= 0;
    const std::string unpacked = unpackText(*text);
    check(unpacked.size() == values / 4 * 3 + (values % 4 >= 2 ? values % 4 - 1 : 0));
  }

  const std::wstring packed = packBytes(bytes);
  check(packed.size() == 4 * (size / 3) + (size % 3 == 0 ? 0 : size % 3 + 1));
  for (wchar_t c : packed) check(packed_text::valueOf(c) >= 0);
  check(unpackText(packed) == bytes);
  return 0;
}
