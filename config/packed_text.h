// The packed text of the registry copy: any bytes as text of 64 harmless characters, so the
// configuration document survives as a plain string value whatever it contains. Three bytes
// become four characters: the low six bits of each, then one character with their top bits.
// Portable (no <windows.h>): also built natively for the unit tests and the fuzzer.
#pragma once

#include <string>

namespace packed_text {

// "0".."9", "A".."Z", "a".."z", "(" and ")": values 0 to 63.
inline constexpr char kAlphabet[] =
    "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz()";

// The value of an alphabet character, or -1 for any other character.
int valueOf(wchar_t c);

}  // namespace packed_text

// 4 characters per 3 bytes; a last group of one or two bytes gives its one or two characters
// and the top-bits character: 4*(n/3) + (n%3 ? n%3 + 1 : 0) characters. The older interface
// wrote into a caller's buffer and answered E_OUTOFMEMORY when it was too small; a string
// grows to fit, so that failure no longer exists (allocation failure throws std::bad_alloc).
std::wstring packBytes(const std::string& bytes);

// The inverse of packBytes. Characters outside the alphabet are skipped, so line breaks or
// spaces an editor put into the value do no harm; a single value left over at the end carries
// no whole byte and is dropped.
std::string unpackText(const std::wstring& text);
