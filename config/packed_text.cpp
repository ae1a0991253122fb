// Packing bytes into the 64-character alphabet of the registry copy, and back.
#include "config/packed_text.h"

#include <cstddef>

namespace packed_text {

int valueOf(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'A' && c <= L'Z') return c - L'A' + 10;
  if (c >= L'a' && c <= L'z') return c - L'a' + 36;
  if (c == L'(') return 62;
  if (c == L')') return 63;
  return -1;
}

}  // namespace packed_text

std::wstring packBytes(const std::string& bytes) {
  const std::size_t n = bytes.size();
  std::wstring text;
  text.reserve(4 * (n / 3) + (n % 3 == 0 ? 0 : n % 3 + 1));
  for (std::size_t i = 0; i < n; i += 3) {
    const std::size_t count = n - i < 3 ? n - i : 3;
    // A short last group is completed with zero bytes; their characters are left out.
    unsigned b[3] = {0, 0, 0};
    for (std::size_t k = 0; k < count; ++k) b[k] = static_cast<unsigned char>(bytes[i + k]);
    for (std::size_t k = 0; k < count; ++k) text += packed_text::kAlphabet[b[k] & 0x3F];
    text += packed_text::kAlphabet[(b[0] >> 6) | ((b[1] >> 6) << 2) | ((b[2] >> 6) << 4)];
  }
  return text;
}

std::string unpackText(const std::wstring& text) {
  std::string bytes;
  bytes.reserve(text.size() / 4 * 3 + 2);
  unsigned group[4];
  int count = 0;
  // Writes the bytes of a group of `size` values (2 to 4); the last one holds the top bits.
  auto flush = [&](int size) {
    const unsigned top = group[size - 1];
    for (int k = 0; k < size - 1; ++k) {
      bytes += static_cast<char>(group[k] | (((top >> (2 * k)) & 3) << 6));
    }
  };
  for (wchar_t c : text) {
    const int value = packed_text::valueOf(c);
    if (value < 0) continue;
    group[count++] = static_cast<unsigned>(value);
    if (count == 4) {
      flush(4);
      count = 0;
    }
  }
  if (count >= 2) flush(count);
  return bytes;
}
