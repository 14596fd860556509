// The checksum of zlib that the PNG encoder uses (it writes its own deflate stream and sums its
// own Adler-32), for the WebAssembly build, which has no zlib: the same name and types, so that
// surfaces/png_encoder.cpp compiles unchanged.
#pragma once

#include <cstddef>

using Bytef = unsigned char;
using uInt = unsigned int;
using uLong = unsigned long;

uLong crc32(uLong crc, const Bytef* bytes, uInt length);
