// Four-character codes, as RIFF chunks, AVI streams and compressed video formats are named:
// the little-endian word of four characters, and back to text for messages. Portable.
#pragma once

#include <cstdint>
#include <string>

constexpr std::uint32_t fourcc(const char (&text)[5]) {
  return static_cast<std::uint32_t>(static_cast<std::uint8_t>(text[0])) |
         static_cast<std::uint32_t>(static_cast<std::uint8_t>(text[1])) << 8 |
         static_cast<std::uint32_t>(static_cast<std::uint8_t>(text[2])) << 16 |
         static_cast<std::uint32_t>(static_cast<std::uint8_t>(text[3])) << 24;
}

// "ZLKC" for a code of printable characters, else the value in hex ("0x00000001").
std::string fourccText(std::uint32_t code);
