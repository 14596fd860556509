// The CRC-32 of PNG chunks (the reflected polynomial 0xEDB88320, as zlib's crc32 sums it), the
// same value from any start and length: folded with carry-less multiplication where an x86-64
// processor has it (checked once, at run time), eight bytes a step from tables otherwise (other
// processors, 32-bit Windows), a byte a step from one table in WebAssembly, where the module's
// size counts for more than the few bytes of CRC a picture has. Header-only, so that every build
// that compiles the PNG encoder has it without a source file of its own.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define QUILLET_CRC32_FOLDING 1
#include <immintrin.h>
#endif

namespace quillet {
namespace crc32_detail {

#if defined(__EMSCRIPTEN__)
inline constexpr std::size_t tableCount = 1;
#else
inline constexpr std::size_t tableCount = 8;
#endif

// tables[k][b]: the CRC of byte b followed by k zero bytes, so that eight bytes are summed by
// eight independent look-ups.
inline constexpr std::array<std::array<std::uint32_t, 256>, tableCount> tables = [] {
    std::array<std::array<std::uint32_t, 256>, tableCount> result{};
    for (std::uint32_t byte = 0; byte < 256; ++byte) {
        std::uint32_t crc = byte;
        for (int bit = 0; bit < 8; ++bit) crc = crc & 1 ? crc >> 1 ^ 0xEDB88320u : crc >> 1;
        result[0][byte] = crc;
    }
    for (std::size_t k = 1; k < tableCount; ++k)
        for (std::size_t byte = 0; byte < 256; ++byte)
            result[k][byte] = result[k - 1][byte] >> 8 ^ result[0][result[k - 1][byte] & 0xFF];
    return result;
}();
static_assert(tables[0][1] == 0x77073096u && tables[0][255] == 0x2D02EF8Du);

// The running register (not inverted) over the bytes.
inline std::uint32_t byTables(std::uint32_t crc, const unsigned char* bytes, std::size_t length) {
    if constexpr (tableCount == 8) {
        for (; length >= 8; length -= 8, bytes += 8) {
            std::uint32_t low, high;
            std::memcpy(&low, bytes, 4);
            std::memcpy(&high, bytes + 4, 4);
            if constexpr (std::endian::native == std::endian::big) {
                low = __builtin_bswap32(low);
                high = __builtin_bswap32(high);
            }
            low ^= crc;
            crc = tables[7][low & 0xFF] ^ tables[6][low >> 8 & 0xFF] ^ tables[5][low >> 16 & 0xFF] ^
                  tables[4][low >> 24] ^ tables[3][high & 0xFF] ^ tables[2][high >> 8 & 0xFF] ^
                  tables[1][high >> 16 & 0xFF] ^ tables[0][high >> 24];
        }
    }
    for (; length > 0; --length) crc = crc >> 8 ^ tables[0][(crc ^ *bytes++) & 0xFF];
    return crc;
}

#if QUILLET_CRC32_FOLDING
// Four 128-bit lanes folded 64 bytes a step, then into one lane, then reduced to 32 bits
// (Barrett); the constants are powers of x modulo the polynomial, bit-reflected. At least 64
// bytes; the rest after the last whole 16 goes to the tables.
#define QUILLET_CRC32_TARGET __attribute__((target("pclmul,sse4.1")))

// The lane times x^(n + 64) and x^n modulo the polynomial (its halves by the two constants),
// added to the next 16 bytes: the lane moved n bits on.
QUILLET_CRC32_TARGET inline __m128i fold(__m128i lane, __m128i constants, __m128i next) {
    return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(lane, constants, 0x00),
                                       _mm_clmulepi64_si128(lane, constants, 0x11)),
                         next);
}

QUILLET_CRC32_TARGET inline __m128i load(const unsigned char* at) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

QUILLET_CRC32_TARGET inline std::uint32_t byFolding(std::uint32_t crc, const unsigned char* bytes,
                                                    std::size_t length) {
    __m128i lane1 = _mm_xor_si128(load(bytes), _mm_cvtsi32_si128(static_cast<int>(crc)));
    __m128i lane2 = load(bytes + 16), lane3 = load(bytes + 32), lane4 = load(bytes + 48);
    bytes += 64;
    length -= 64;
    const __m128i by512 = _mm_set_epi64x(0x1C6E41596, 0x154442BD4);
    for (; length >= 64; length -= 64, bytes += 64) {
        lane1 = fold(lane1, by512, load(bytes));
        lane2 = fold(lane2, by512, load(bytes + 16));
        lane3 = fold(lane3, by512, load(bytes + 32));
        lane4 = fold(lane4, by512, load(bytes + 48));
    }
    const __m128i by128 = _mm_set_epi64x(0x0CCAA009E, 0x1751997D0);
    __m128i lane = fold(fold(fold(lane1, by128, lane2), by128, lane3), by128, lane4);
    for (; length >= 16; length -= 16, bytes += 16) lane = fold(lane, by128, load(bytes));

    // 128 bits to 64, then to 32 (low words of each half), then the Barrett reduction.
    const __m128i low32 = _mm_setr_epi32(~0, 0, ~0, 0);
    lane = _mm_xor_si128(_mm_srli_si128(lane, 8), _mm_clmulepi64_si128(lane, by128, 0x10));
    lane = _mm_xor_si128(
        _mm_srli_si128(lane, 4),
        _mm_clmulepi64_si128(_mm_and_si128(lane, low32), _mm_set_epi64x(0, 0x163CD6124), 0x00));
    const __m128i polynomial = _mm_set_epi64x(0x1F7011641, 0x1DB710641);
    __m128i quotient = _mm_clmulepi64_si128(_mm_and_si128(lane, low32), polynomial, 0x10);
    quotient = _mm_clmulepi64_si128(_mm_and_si128(quotient, low32), polynomial, 0x00);
    crc = static_cast<std::uint32_t>(_mm_extract_epi32(_mm_xor_si128(lane, quotient), 1));
    return byTables(crc, bytes, length);
}

inline bool canFold() {
    static const bool supported =
        __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
    return supported;
}
#endif

}  // namespace crc32_detail

// zlib's crc32(crc, bytes, length): crc is 0 to start, or the value of the bytes before.
inline std::uint32_t crc32Of(const unsigned char* bytes, std::size_t length,
                             std::uint32_t crc = 0) {
    crc = ~crc;
#if QUILLET_CRC32_FOLDING
    // Below 64 bytes the tables are as quick.
    if (length >= 64 && crc32_detail::canFold())
        return ~crc32_detail::byFolding(crc, bytes, length);
#endif
    return ~crc32_detail::byTables(crc, bytes, length);
}

}  // namespace quillet
