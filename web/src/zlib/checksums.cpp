// CRC-32 (ISO 3309, as PNG chunks carry it) and Adler-32 (RFC 1950, the zlib stream's trailer),
// with zlib's conventions: a null buffer gives the initial value.
#include <array>
#include <cstdint>

#include "zlib.h"

namespace {

constexpr std::array<std::uint32_t, 256> crcTable = [] {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}();
static_assert(crcTable[1] == 0x77073096u && crcTable[255] == 0x2D02EF8Du);

constexpr uLong adlerBase = 65521;  // the largest prime below 2^16

}  // namespace

uLong crc32(uLong crc, const Bytef* bytes, uInt length) {
    if (bytes == nullptr) return 0;
    std::uint32_t c = static_cast<std::uint32_t>(crc) ^ 0xFFFFFFFFu;
    for (uInt i = 0; i < length; ++i) c = crcTable[(c ^ bytes[i]) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

uLong adler32(uLong adler, const Bytef* bytes, uInt length) {
    if (bytes == nullptr) return 1;
    uLong low = adler & 0xFFFF, high = (adler >> 16) & 0xFFFF;
    for (uInt i = 0; i < length; ++i) {
        low = (low + bytes[i]) % adlerBase;
        high = (high + low) % adlerBase;
    }
    return (high << 16) | low;
}

// The checksum of two pieces from theirs: the second piece's sums shifted by the first's, as
// zlib computes it.
uLong adler32_combine(uLong first, uLong second, z_off_t secondLength) {
    const uLong remainder = static_cast<uLong>(secondLength) % adlerBase;
    uLong low = first & 0xFFFF;
    uLong high = (remainder * low) % adlerBase;
    low += (second & 0xFFFF) + adlerBase - 1;
    high += ((first >> 16) & 0xFFFF) + ((second >> 16) & 0xFFFF) + adlerBase - remainder;
    if (low >= adlerBase) low -= adlerBase;
    if (low >= adlerBase) low -= adlerBase;
    if (high >= (adlerBase << 1)) high -= (adlerBase << 1);
    if (high >= adlerBase) high -= adlerBase;
    return low | (high << 16);
}
