// Adler-32 as zlib defines it, with a vector path: the reader checks every record's content
// against its stream's trailer, and zlib's own loop took a sixth of the decoding time. Same
// results as zlib's adler32() for every input. Portable: no <windows.h>; thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>

namespace codec {

// The checksum `adler` (1 for none yet) carried on over `length` bytes at `data`.
uint32_t adler32Update(uint32_t adler, const uint8_t* data, size_t length);

// As adler32Update, on the scalar path alone: the vector path's oracle.
uint32_t adler32UpdateScalar(uint32_t adler, const uint8_t* data, size_t length);

}  // namespace codec
