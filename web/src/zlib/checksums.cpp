// CRC-32 (ISO 3309, as PNG chunks carry it), with zlib's conventions: a null buffer gives the
// initial value.
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

}  // namespace

uLong crc32(uLong crc, const Bytef* bytes, uInt length) {
    if (bytes == nullptr) return 0;
    std::uint32_t c = static_cast<std::uint32_t>(crc) ^ 0xFFFFFFFFu;
    for (uInt i = 0; i < length; ++i) c = crcTable[(c ^ bytes[i]) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}
