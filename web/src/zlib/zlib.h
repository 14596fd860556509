// The three checksums of zlib that the PNG encoder uses (it writes its own deflate stream), for
// the WebAssembly build, which has no zlib: the same names and types, so that
// surfaces/png_encoder.cpp compiles unchanged.
#pragma once

#include <cstddef>

using Bytef = unsigned char;
using uInt = unsigned int;
using uLong = unsigned long;
using z_off_t = long;

uLong crc32(uLong crc, const Bytef* bytes, uInt length);
uLong adler32(uLong adler, const Bytef* bytes, uInt length);
uLong adler32_combine(uLong first, uLong second, z_off_t secondLength);
