#include "surfaces/png_encoder.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <string_view>

#include "surfaces/crc32.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Rows are also marked 32 bytes at a time where the processor has AVX2 (asked once).
#if defined(__x86_64__) && defined(__linux__) && defined(__GNUC__)
#define QUILLET_WIDE_ROWS 1
#include <immintrin.h>
#endif

namespace quillet {
namespace {

constexpr std::string_view signature{"\x89PNG\r\n\x1a\n", 8};
constexpr std::size_t maxPaletteSize = 256;
constexpr std::size_t rowRoomAfter = PngEncoder::rowRoom;  // the bytes a mask may read after a row
// Open addressing for the palette: twice as many slots as colours keeps the probes short.
constexpr std::size_t paletteSlotCount = 512;
static_assert((paletteSlotCount & (paletteSlotCount - 1)) == 0 &&
              paletteSlotCount >= 2 * maxPaletteSize);

// The row writer is made twice where the loader picks a function by the processor: once for any
// x86-64, once with the shifts and bit counts that take no flags (BMI2) and three-operand
// vector instructions (AVX2). The bytes written are the same.
#if defined(__x86_64__) && defined(__linux__) && defined(__GNUC__) && !defined(__clang__)
#define QUILLET_HOT_CLONES __attribute__((target_clones("arch=x86-64-v3", "default")))
#else
#define QUILLET_HOT_CLONES
#endif

// ---- Deflate (RFC 1951) with its fixed Huffman codes ----

constexpr unsigned reversed(unsigned code, int length) {
    unsigned result = 0;
    for (int i = 0; i < length; ++i) result |= ((code >> i) & 1u) << (length - 1 - i);
    return result;
}

// A code as it goes into the stream, least significant bit first.
struct Code {
    std::uint32_t bits;
    int length;
};

constexpr std::array<Code, 288> literalCodes = [] {
    std::array<Code, 288> codes{};
    for (unsigned symbol = 0; symbol < codes.size(); ++symbol) {
        const auto [code, length] = symbol < 144   ? std::pair{0x30 + symbol, 8}
                                    : symbol < 256 ? std::pair{0x190 + symbol - 144, 9}
                                    : symbol < 280 ? std::pair{symbol - 256, 7}
                                                   : std::pair{0xC0 + symbol - 280, 8};
        codes[symbol] = {reversed(code, length), length};
    }
    return codes;
}();
// The same for the 256 byte values, bits and lengths apart.
constexpr std::array<std::uint16_t, 256> byteCodeBits = [] {
    std::array<std::uint16_t, 256> bits{};
    for (std::size_t byte = 0; byte < bits.size(); ++byte)
        bits[byte] = static_cast<std::uint16_t>(literalCodes[byte].bits);
    return bits;
}();
constexpr std::array<std::uint8_t, 256> byteCodeLengths = [] {
    std::array<std::uint8_t, 256> lengths{};
    for (std::size_t byte = 0; byte < lengths.size(); ++byte)
        lengths[byte] = static_cast<std::uint8_t>(literalCodes[byte].length);
    return lengths;
}();
constexpr unsigned endOfBlock = 256;
constexpr unsigned firstLengthSymbol = 257;

constexpr std::array<std::uint16_t, 29> lengthBase = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                                      15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                                      67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::array<std::uint8_t, 29> lengthExtraBits = {
    0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::array<std::uint16_t, 30> distanceBase = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::array<std::uint8_t, 30> distanceExtraBits = {0, 0, 0,  0,  1,  1,  2,  2,  3,  3,
                                                            4, 4, 5,  5,  6,  6,  7,  7,  8,  8,
                                                            9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr std::size_t maxMatch = 258;
constexpr std::size_t maxDistance = 32768;

constexpr bool rangesFollowOneAnother() {
    // Each symbol's range ends where the next begins (length 258 has a symbol of its own).
    for (std::size_t i = 0; i + 2 < lengthBase.size(); ++i)
        if (lengthBase[i] + (1u << lengthExtraBits[i]) != lengthBase[i + 1]) return false;
    for (std::size_t i = 0; i + 1 < distanceBase.size(); ++i)
        if (distanceBase[i] + (1u << distanceExtraBits[i]) != distanceBase[i + 1]) return false;
    return distanceBase.back() + (1u << distanceExtraBits.back()) == maxDistance + 1 &&
           lengthBase.back() == maxMatch;
}
static_assert(rangesFollowOneAnother());

// The code of every match length 3 .. 258: its length symbol's code, then the extra bits.
constexpr std::array<Code, maxMatch + 1> lengthCodes = [] {
    std::array<Code, maxMatch + 1> codes{};
    std::size_t symbol = 0;
    for (std::size_t length = 3; length <= maxMatch; ++length) {
        while (symbol + 1 < lengthBase.size() && lengthBase[symbol + 1] <= length) ++symbol;
        const Code code = literalCodes[firstLengthSymbol + symbol];
        codes[length] = {code.bits | static_cast<std::uint32_t>(length - lengthBase[symbol])
                                         << code.length,
                         code.length + lengthExtraBits[symbol]};
    }
    return codes;
}();

Code distanceCode(std::size_t distance) {
    std::size_t symbol = 0;
    while (symbol + 1 < distanceBase.size() && distanceBase[symbol + 1] <= distance) ++symbol;
    return {reversed(static_cast<unsigned>(symbol), 5) |
                static_cast<std::uint32_t>(distance - distanceBase[symbol]) << 5,
            5 + distanceExtraBits[symbol]};
}

// A match's length and distance codes joined, for every length 3 .. 258 from one distance:
// the bits in the low half, their count in the high half.
void joinMatchCodes(std::size_t distance, std::uint64_t* codes) {
    const Code back = distanceCode(distance);
    for (std::size_t length = 0; length < 3; ++length) codes[length] = 0;
    for (std::size_t length = 3; length <= maxMatch; ++length) {
        const Code code = lengthCodes[length];
        codes[length] = (code.bits | static_cast<std::uint64_t>(back.bits) << code.length) |
                        static_cast<std::uint64_t>(code.length + back.length) << 32;
    }
}

// The codes of the first match of a copy of length bytes (at least 3) from distance back, length
// left with the rest: all of it where it is at most maxMatch long, else maxMatch, or less where
// the rest would be shorter than 3.
Code firstMatchOf(std::size_t& length, Code distance) {
    std::size_t part = std::min(length, maxMatch);
    if (length > part && length - part < 3) part = length - 3;
    length -= part;
    const Code code = lengthCodes[part];
    return {code.bits | distance.bits << code.length, code.length + distance.length};
}

// Bytes as a little-endian word, whatever the machine: byte k is bits 8k .. 8k + 7.
std::uint64_t littleEndianWord(std::uint64_t word) {
    if constexpr (std::endian::native == std::endian::big) return __builtin_bswap64(word);
    return word;
}

// Writes into room made beforehand for the most the stream can take (no literal or match
// costs more than nine bits a byte) and 8 bytes more: every put stores a whole word and moves
// on by the bytes it completed, without a branch.
class BitWriter {
  public:
    explicit BitWriter(unsigned char* room) : start_(room), at_(room) {}

    // At most 56 bits at once.
    void put(std::uint64_t bits, int count) {
        buffer_ |= bits << count_;
        count_ += static_cast<std::uint64_t>(count);
        store();
    }
    void put(Code code) { put(code.bits, code.length); }

    // The whole bytes of the buffer go out; fewer than 8 bits stay.
    void store() {
        const std::uint64_t word = littleEndianWord(buffer_);
        std::memcpy(at_, &word, sizeof word);
        at_ += count_ >> 3;
        buffer_ >>= count_ & ~7;
        count_ &= 7;
    }

    void literal(std::uint8_t byte) { put(literalCodes[byte]); }

    // count (at least 1) literals, six codes between two stores. Up to held literals stay in
    // the buffer unstored, for the match that follows to store them with its own bits (or for
    // a store()).
    void literals(const std::uint8_t* bytes, std::size_t count, std::size_t held) {
        for (;;) {
            const std::size_t batch = count < 6 ? count : 6;
            for (std::size_t i = 0; i < batch; ++i) {
                buffer_ |= std::uint64_t{byteCodeBits[bytes[i]]} << count_;
                count_ += byteCodeLengths[bytes[i]];
            }
            if (count <= held) return;
            store();
            if (count <= 6) return;
            bytes += 6;
            count -= 6;
        }
    }

    // A match whose length and distance codes are joined (as joinMatchCodes makes them): up to
    // 31 bits.
    void match(std::uint64_t joined) {
        buffer_ |= (joined & 0xFFFFFFFFu) << count_;
        count_ += joined >> 32;
        store();
    }

    // The length bytes again from distance back; length is at least 3.
    void match(std::size_t length, Code distance) {
        do put(firstMatchOf(length, distance));
        while (length > 0);
    }

    // Ends the block and pads it to a whole byte: the bytes written.
    std::size_t finish() {
        put(literalCodes[endOfBlock]);
        if (count_ > 0) *at_++ = static_cast<unsigned char>(buffer_);
        return static_cast<std::size_t>(at_ - start_);
    }

  private:
    unsigned char* start_;
    unsigned char* at_;
    std::uint64_t buffer_ = 0;
    std::uint64_t count_ = 0;
};

// ---- Runs, 64 bytes to a mask ----

// Bit k set where a[k] == b[k], for the 64 bytes at a and b.
std::uint64_t equalBytes(const std::uint8_t* a, const std::uint8_t* b) {
    std::uint64_t mask = 0;
#if defined(__SSE2__)
    for (int i = 0; i < 4; ++i) {
        const __m128i left = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + 16 * i));
        const __m128i right = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + 16 * i));
        const auto equal =
            static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(left, right)));
        mask |= static_cast<std::uint64_t>(equal) << (16 * i);
    }
#else
    constexpr std::uint64_t low7 = 0x7F7F7F7F7F7F7F7Fu;
    for (int i = 0; i < 8; ++i) {
        std::uint64_t left, right;
        std::memcpy(&left, a + 8 * i, 8);
        std::memcpy(&right, b + 8 * i, 8);
        const std::uint64_t differ = littleEndianWord(left ^ right);
        // The top bit of each byte set where the byte is 0, exactly (no carry crosses a byte).
        const std::uint64_t zero = ~(((differ & low7) + low7) | differ | low7);
        // Gathers the eight top bits into the top byte.
        mask |= ((zero >> 7) * 0x0102040810204080u >> 56) << (8 * i);
    }
#endif
    return mask;
}

// The same for the first count bytes, up to 64; the bits beyond are clear. The 64 bytes are
// read all the same: the rows lie in buffers with room after them.
std::uint64_t equalBytes(const std::uint8_t* a, const std::uint8_t* b, std::size_t count) {
    const std::uint64_t mask = equalBytes(a, b);
    return count >= 64 ? mask : mask & ((std::uint64_t{1} << count) - 1);
}

// At least 57 bits of a mask from bit `at` on, the rest clear: one load from the byte that
// holds bit `at` (the masks are kept as little-endian words, so that bit k is in byte k / 8).
constexpr std::size_t bitsFromAtLeast = 57;
std::uint64_t bitsFrom(const std::uint64_t* mask, std::size_t at) {
    std::uint64_t word;
    std::memcpy(&word, reinterpret_cast<const unsigned char*>(mask) + at / 8, sizeof word);
    return littleEndianWord(word) >> at % 8;
}

// How many bits are set from bit `at` on; the masks end in a clear bit.
std::size_t runFrom(const std::uint64_t* mask, std::size_t at) {
    std::size_t run = 0;
    for (;;) {
        const auto ones = static_cast<std::size_t>(std::countr_one(bitsFrom(mask, at)));
        run += ones;
        if (ones < 64 - at % 8) return run;
        at += ones;
    }
}

// Bit k set where bits k, k + 1 and k + 2 are, next holding the bits after mask's.
std::uint64_t threeFrom(std::uint64_t mask, std::uint64_t next) {
    return mask & (mask >> 1 | next << 63) & (mask >> 2 | next << 62);
}

// ---- Checksums ----

constexpr std::uint32_t adlerBase = 65521;  // the largest prime below 2^16

// The Adler-32 sums of some bytes from zero: their sum, and the sum of each byte times the
// number of bytes from it to the end, both modulo the base.
struct AdlerSums {
    std::uint32_t sum = 0, weighted = 0;
};

// Blocks of 16 bytes: a byte at l in block t of n weighs 16 * (n - 1 - t) + 16 - l, which is
// 16 times the sum of the blocks before each block, plus each block's bytes weighed 16 .. 1.
AdlerSums adlerSumsOf(const std::uint8_t* bytes, std::size_t count) {
    constexpr std::size_t blockSize = 16;
    constexpr std::size_t maxBlocks = 4096;  // keeps the weighted lanes below 2^32
    std::uint64_t sum = 0, weighted = 0;
    while (count >= blockSize) {
        const std::size_t blocks = std::min(count / blockSize, maxBlocks);
        std::uint64_t blockSum = 0, sumsBefore = 0, inBlocks = 0;
#if defined(__SSE2__)
        const __m128i zero = _mm_setzero_si128();
        const __m128i firstWeights = _mm_setr_epi16(16, 15, 14, 13, 12, 11, 10, 9);
        const __m128i lastWeights = _mm_setr_epi16(8, 7, 6, 5, 4, 3, 2, 1);
        __m128i sums = zero, before = zero, weights = zero;
        for (std::size_t block = 0; block < blocks; ++block, bytes += blockSize) {
            const __m128i data = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
            before = _mm_add_epi64(before, sums);
            sums = _mm_add_epi64(sums, _mm_sad_epu8(data, zero));
            weights = _mm_add_epi32(
                weights, _mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi8(data, zero), firstWeights),
                                       _mm_madd_epi16(_mm_unpackhi_epi8(data, zero), lastWeights)));
        }
        std::uint64_t sumLanes[2], beforeLanes[2];
        std::uint32_t weightLanes[4];
        _mm_storeu_si128(reinterpret_cast<__m128i*>(sumLanes), sums);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(beforeLanes), before);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(weightLanes), weights);
        blockSum = sumLanes[0] + sumLanes[1];
        sumsBefore = beforeLanes[0] + beforeLanes[1];
        for (const std::uint32_t lane : weightLanes) inBlocks += lane;
#else
        for (std::size_t block = 0; block < blocks; ++block, bytes += blockSize) {
            sumsBefore += blockSum;
            for (std::size_t i = 0; i < blockSize; ++i) {
                blockSum += bytes[i];
                inBlocks += (blockSize - i) * bytes[i];
            }
        }
#endif
        weighted =
            (weighted + blocks * blockSize * sum + blockSize * sumsBefore + inBlocks) % adlerBase;
        sum = (sum + blockSum) % adlerBase;
        count -= blocks * blockSize;
    }
    for (; count > 0; --count) {
        sum += *bytes++;
        weighted += sum;
    }
    return {static_cast<std::uint32_t>(sum % adlerBase),
            static_cast<std::uint32_t>(weighted % adlerBase)};
}

#if defined(__SSE2__)
// A row's bytes equal to the pixel before and to the row above (one bit a byte, from bit 0 of
// equalLeft and equalUp on, clear after the row) and its Adler sums, in one pass over its
// 16-byte pieces: the bytes are loaded once for both. The pieces are summed as adlerSumsOf
// sums its blocks, the bytes of the last piece after the row as zeros, which weighs every byte
// once more for each of them: taken off at the end. Rows of up to fusedRowBytes bytes keep the
// weighted lanes below 2^32.
constexpr std::size_t fusedRowBytes = 4096 * 16;

AdlerSums markAndSum(const std::uint8_t* samples, const std::uint8_t* above, std::size_t rowBytes,
                     std::size_t pixel, std::uint64_t* equalLeft, std::uint64_t* equalUp) {
    const std::size_t pieces = (rowBytes + 15) / 16, lastBytes = rowBytes - 16 * (pieces - 1);
    const auto load = [](const std::uint8_t* at) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    };
    const auto bitsEqual = [](__m128i a, __m128i b) {
        return static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(a, b)));
    };
    // Little-endian pieces of 16 bits, whatever the machine, as bitsFrom reads them.
    auto* left = reinterpret_cast<unsigned char*>(equalLeft);
    auto* up = reinterpret_cast<unsigned char*>(equalUp);
    const auto store = [](unsigned char* at, std::uint32_t bits) {
        auto half = static_cast<std::uint16_t>(bits);
        if constexpr (std::endian::native == std::endian::big) half = __builtin_bswap16(half);
        std::memcpy(at, &half, sizeof half);
    };
    const __m128i zero = _mm_setzero_si128();
    const __m128i firstWeights = _mm_setr_epi16(16, 15, 14, 13, 12, 11, 10, 9);
    const __m128i lastWeights = _mm_setr_epi16(8, 7, 6, 5, 4, 3, 2, 1);
    __m128i sums = zero, before = zero, weights = zero;
    const auto addPiece = [&](__m128i data) {
        before = _mm_add_epi64(before, sums);
        sums = _mm_add_epi64(sums, _mm_sad_epu8(data, zero));
        weights = _mm_add_epi32(
            weights, _mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi8(data, zero), firstWeights),
                                   _mm_madd_epi16(_mm_unpackhi_epi8(data, zero), lastWeights)));
    };
    // The first pixel has none before it: the first piece's bits are shifted into place.
    __m128i data = load(samples);
    std::uint32_t leftBits = (bitsEqual(load(samples + pixel), data) << pixel) & 0xFFFFu;
    for (std::size_t piece = 0;; ++piece) {
        const std::uint32_t upBits =
            above != nullptr ? bitsEqual(data, load(above + 16 * piece)) : 0;
        if (piece + 1 == pieces) {
            const std::uint32_t inRow = (std::uint32_t{1} << lastBytes) - 1;
            store(left + 2 * piece, leftBits & inRow);
            store(up + 2 * piece, upBits & inRow);
            alignas(16) static constexpr std::uint8_t keep[32] = {
                0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0,    0,    0,    0,    0,    0};
            addPiece(_mm_and_si128(data, load(keep + 16 - lastBytes)));
            break;
        }
        store(left + 2 * piece, leftBits);
        store(up + 2 * piece, upBits);
        addPiece(data);
        const std::uint8_t* next = samples + 16 * (piece + 1);
        data = load(next);
        leftBits = bitsEqual(data, load(next - pixel));
    }
    std::uint64_t sumLanes[2], beforeLanes[2];
    std::uint32_t weightLanes[4];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(sumLanes), sums);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(beforeLanes), before);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(weightLanes), weights);
    const std::uint64_t sum = sumLanes[0] + sumLanes[1];
    const std::uint64_t weighted = 16 * (beforeLanes[0] + beforeLanes[1]) + weightLanes[0] +
                                   weightLanes[1] + weightLanes[2] + weightLanes[3] -
                                   (16 - lastBytes) * sum;
    return {static_cast<std::uint32_t>(sum % adlerBase),
            static_cast<std::uint32_t>(weighted % adlerBase)};
}
#endif

#if defined(QUILLET_WIDE_ROWS)
// Bit k set where byte k of data equals byte k at `at`.
__attribute__((target("avx2"), always_inline)) inline std::uint32_t equalBitsWide(
    __m256i data, const std::uint8_t* at) {
    return static_cast<std::uint32_t>(_mm256_movemask_epi8(
        _mm256_cmpeq_epi8(data, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at)))));
}

// A piece's bytes added to the sums (in 64-bit lanes), the sums before it to before, and the
// bytes weighed 32 .. 1 to weights (in 32-bit lanes).
__attribute__((target("avx2"), always_inline)) inline void addPieceWide(__m256i data, __m256i& sums,
                                                                        __m256i& before,
                                                                        __m256i& weights) {
    const __m256i byteWeights =
        _mm256_setr_epi8(32, 31, 30, 29, 28, 27, 26, 25, 24, 23, 22, 21, 20, 19, 18, 17, 16, 15, 14,
                         13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1);
    before = _mm256_add_epi64(before, sums);
    sums = _mm256_add_epi64(sums, _mm256_sad_epu8(data, _mm256_setzero_si256()));
    weights = _mm256_add_epi32(
        weights, _mm256_madd_epi16(_mm256_maddubs_epi16(data, byteWeights), _mm256_set1_epi16(1)));
}

// markAndSum with AVX2: pieces of 32 bytes, their weights 32 .. 1 multiplied and added in
// pairs. No lambdas: they would not share the function's instruction set.
__attribute__((target("avx2"))) AdlerSums markAndSumWide(const std::uint8_t* samples,
                                                         const std::uint8_t* above,
                                                         std::size_t rowBytes, std::size_t pixel,
                                                         std::uint64_t* equalLeft,
                                                         std::uint64_t* equalUp) {
    constexpr std::size_t pieceSize = 32;
    const std::size_t pieces = (rowBytes + pieceSize - 1) / pieceSize;
    const std::size_t lastBytes = rowBytes - pieceSize * (pieces - 1);
    auto* left = reinterpret_cast<unsigned char*>(equalLeft);
    auto* up = reinterpret_cast<unsigned char*>(equalUp);
    const __m256i zero = _mm256_setzero_si256();
    __m256i sums = zero, before = zero, weights = zero;
    // The first pixel has none before it: the first piece's bits are shifted into place.
    __m256i data = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(samples));
    auto leftBits = static_cast<std::uint32_t>(
        static_cast<std::uint64_t>(equalBitsWide(data, samples + pixel)) << pixel);
    // Every piece but the last: whole, in the row.
    std::size_t piece = 0;
    for (; piece + 1 < pieces; ++piece) {
        const std::uint32_t upBits =
            above != nullptr ? equalBitsWide(data, above + pieceSize * piece) : 0u;
        std::memcpy(up + 4 * piece, &upBits, 4);
        std::memcpy(left + 4 * piece, &leftBits, 4);
        addPieceWide(data, sums, before, weights);
        const std::uint8_t* next = samples + pieceSize * (piece + 1);
        data = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(next));
        leftBits = equalBitsWide(data, next - pixel);
    }
    // The last, its bytes after the row cleared.
    const std::uint32_t inRow = lastBytes == pieceSize ? ~0u : (std::uint32_t{1} << lastBytes) - 1;
    const std::uint32_t upBits =
        (above != nullptr ? equalBitsWide(data, above + pieceSize * piece) : 0u) & inRow;
    leftBits &= inRow;
    std::memcpy(up + 4 * piece, &upBits, 4);
    std::memcpy(left + 4 * piece, &leftBits, 4);
    alignas(32) static constexpr std::uint8_t keep[64] = {
        0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
        0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
        0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0};
    data = _mm256_and_si256(
        data, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(keep + pieceSize - lastBytes)));
    addPieceWide(data, sums, before, weights);
    alignas(32) std::uint64_t sumLanes[4], beforeLanes[4];
    alignas(32) std::uint32_t weightLanes[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(sumLanes), sums);
    _mm256_store_si256(reinterpret_cast<__m256i*>(beforeLanes), before);
    _mm256_store_si256(reinterpret_cast<__m256i*>(weightLanes), weights);
    std::uint64_t sum = 0, sumsBefore = 0, inPieces = 0;
    for (int lane = 0; lane < 4; ++lane) {
        sum += sumLanes[lane];
        sumsBefore += beforeLanes[lane];
    }
    for (const std::uint32_t lane : weightLanes) inPieces += lane;
    const std::uint64_t weighted =
        pieceSize * sumsBefore + inPieces - (pieceSize - lastBytes) * sum;
    return {static_cast<std::uint32_t>(sum % adlerBase),
            static_cast<std::uint32_t>(weighted % adlerBase)};
}

const bool wideRows = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
}();
#endif

class Adler32 {
  public:
    // Adds count runs of length bytes whose sums are those (a row, and the rows that repeat
    // it): the sum grows by count sums, and the weighted sum by count weighted sums plus every
    // run's length times the sum before it.
    void add(AdlerSums sums, std::size_t length, std::size_t count) {
        const std::uint64_t runs = count % adlerBase, size = length % adlerBase;
        const std::uint64_t pairs = (std::uint64_t{count} * (count - 1) / 2) % adlerBase;
        weighted_ = static_cast<std::uint32_t>((weighted_ +
                                                runs * (size * sum_ % adlerBase + sums.weighted) +
                                                pairs * size % adlerBase * sums.sum) %
                                               adlerBase);
        sum_ = static_cast<std::uint32_t>((sum_ + runs * sums.sum) % adlerBase);
    }
    // The same for one run.
    void add(AdlerSums sums, std::size_t length) {
        weighted_ = static_cast<std::uint32_t>(
            (weighted_ + length % adlerBase * sum_ + sums.weighted) % adlerBase);
        const std::uint32_t sum = sum_ + sums.sum;
        sum_ = sum >= adlerBase ? sum - adlerBase : sum;
    }
    std::uint32_t value() const { return weighted_ << 16 | sum_; }

  private:
    std::uint32_t sum_ = 1, weighted_ = 0;
};

// The image data as deflate, row after row, each unfiltered (filter byte 0) so that a row
// equal to the one above is the same bytes again, and runs of pixels equal to the pixel before
// or to the pixel above (the strokes of a glyph) can be copied from there.
class ImageDataWriter {
  public:
    // masks: room for 3 * (rowBytes / 64 + 3) words; matchCodes: joinMatchCodes of the row
    // length (as distance) and then of the pixel size, maxMatch + 1 each.
    ImageDataWriter(unsigned char* room, std::size_t rowBytes, std::size_t bytesPerPixel,
                    std::uint64_t* masks, const std::uint64_t* matchCodes)
        : bits_(room),
          rowBytes_(rowBytes),
          rowLength_(rowBytes + 1),
          bytesPerPixel_(bytesPerPixel),
          words_((rowBytes + 63) / 64),
          rowBack_(distanceCode(std::min(rowLength_, maxDistance))),
          matchCodes_(matchCodes),
          equalLeft_(masks),
          equalUp_(masks + words_ + 2),
          runStarts_(masks + 2 * (words_ + 2)) {
        bits_.put(1, 1);  // the last block ...
        bits_.put(1, 2);  // ... with the fixed codes
        // A row's copy of the row above in one put where its matches' codes fit in one.
        for (std::size_t rest = rowLength_; rest > 0 && rowCopyLength_ <= 56;) {
            const Code part = firstMatchOf(rest, rowBack_);
            rowCopyBits_ |= std::uint64_t{part.bits} << rowCopyLength_;
            rowCopyLength_ += part.length;
        }
        if (rowCopyLength_ > 56) rowCopyBits_ = rowCopyLength_ = 0;
        // As many copies as one put takes, joined.
        rowCopiesBits_ = rowCopyBits_;
        rowCopiesLength_ = rowCopyLength_;
        for (rowCopies_ = 1; rowCopyLength_ != 0 && rowCopiesLength_ + rowCopyLength_ <= 56;
             ++rowCopies_) {
            rowCopiesBits_ |= rowCopyBits_ << rowCopiesLength_;
            rowCopiesLength_ += rowCopyLength_;
        }
    }

    // Whether a row can be copied whole from the row above (it is in the window, and long
    // enough to be a match).
    bool rowsRepeat() const { return rowLength_ >= 3 && rowLength_ <= maxDistance; }

    // The last row again, count times.
    void repeatRow(std::size_t count) {
        BitWriter bits = bits_;
        if (rowCopyLength_ != 0) {
            std::size_t rest = count;
            for (; rest >= rowCopies_; rest -= rowCopies_)
                bits.put(rowCopiesBits_, rowCopiesLength_);
            for (; rest > 0; --rest) bits.put(rowCopyBits_, rowCopyLength_);
        } else {
            for (std::size_t i = 0; i < count; ++i) bits.match(rowLength_, rowBack_);
        }
        bits_ = bits;
        checksum_.add(rowSums_, rowLength_, count);
    }

    // above: the row before, or null where none can be copied from. Both rows are followed by
    // 64 bytes that may be read.
    QUILLET_HOT_CLONES void row(const std::uint8_t* samples, const std::uint8_t* above) {
        rowSums_ = markRuns(samples, above);
        checksum_.add(rowSums_, rowLength_);
        const std::uint64_t *equalLeft = equalLeft_, *equalUp = equalUp_;
        const std::uint64_t* runStarts = runStarts_;
        const std::size_t rowBytes = rowBytes_;
        const std::uint64_t *rowCodes = matchCodes_, *pixelCodes = matchCodes_ + maxMatch + 1;
        const std::size_t held = heldLiterals_;
        // A copy the compiler keeps in registers: the stream's bytes, written through a
        // character pointer, could be any member.
        BitWriter bits = bits_;
        bits.literal(0);
        // Literals up to the next start of a copy (the row's end is marked as one), then the
        // longer copy, from the pixel before when both are as long.
        std::size_t at = 0;  // the bytes before are written
        // The masks are held in registers bitsFromAtLeast bits at a time (a window), so that a
        // step waits on shifts of them and not on loads. The window's last bit is a start and
        // no run goes past it, so that every count stops there; a run that reaches it is
        // counted again from a window that starts with it, and on past that.
        constexpr std::uint64_t inWindow = (std::uint64_t{1} << bitsFromAtLeast) - 1;
        while (at < rowBytes) {
            const std::size_t base = at, windowEnd = base + bitsFromAtLeast;
            const std::size_t end = std::min(windowEnd, rowBytes);
            const std::uint64_t startsAhead =
                (bitsFrom(runStarts, base) & inWindow) | (inWindow + 1);
            const std::uint64_t leftAhead = bitsFrom(equalLeft, base) & inWindow;
            const std::uint64_t upAhead = bitsFrom(equalUp, base) & inWindow;
            for (;;) {
                const auto literals =
                    static_cast<std::size_t>(std::countr_zero(startsAhead >> (at - base)));
                if (literals != 0) bits.literals(samples + at, literals, held);
                at += literals;
                if (at >= end) {
                    bits.store();
                    break;
                }
                auto leftRun = static_cast<std::size_t>(std::countr_one(leftAhead >> (at - base)));
                auto upRun = static_cast<std::size_t>(std::countr_one(upAhead >> (at - base)));
                if (at + std::max(leftRun, upRun) >= windowEnd) [[unlikely]] {
                    if (at > base) break;
                    leftRun = runFrom(equalLeft, at);
                    upRun = runFrom(equalUp, at);
                    const bool fromLeft = leftRun >= upRun;
                    const std::size_t run = fromLeft ? leftRun : upRun;
                    if (run <= maxMatch)
                        bits.match((fromLeft ? pixelCodes : rowCodes)[run]);
                    else
                        bits.match(run, fromLeft ? distanceCode(bytesPerPixel_) : rowBack_);
                    at += run;
                    break;
                }
                const bool fromLeft = leftRun >= upRun;
                const std::uint64_t* codes = fromLeft ? pixelCodes : rowCodes;
                const std::size_t run = fromLeft ? leftRun : upRun;
                bits.match(codes[run]);
                at += run;
            }
        }
        bits_ = bits;
    }

    std::size_t finish() { return bits_.finish(); }
    std::uint32_t checksum() const { return checksum_.value(); }

  private:
    // The bytes equal to the pixel before and to the row above, and where either runs for
    // three bytes or more: where a copy starts, and every byte before it is a literal. The
    // bit after the row's last byte marks the end; the words after it are clear. Gives the
    // row's Adler sums.
    // Made part of row(), and so of its clone for the processor.
    [[gnu::always_inline]] AdlerSums markRuns(const std::uint8_t* samples,
                                              const std::uint8_t* above) {
        AdlerSums sums;
        const std::size_t pixel = bytesPerPixel_;
#if defined(__SSE2__)
        if (rowBytes_ <= fusedRowBytes) {
            // The pieces fill whole words but perhaps the last.
            for (std::size_t word = rowBytes_ / 64; word < words_ + 2; ++word)
                equalLeft_[word] = equalUp_[word] = 0;
#if defined(QUILLET_WIDE_ROWS)
            if (wideRows)
                sums = markAndSumWide(samples, above, rowBytes_, pixel, equalLeft_, equalUp_);
            else
#endif
                sums = markAndSum(samples, above, rowBytes_, pixel, equalLeft_, equalUp_);
            if constexpr (std::endian::native == std::endian::big) {
                for (std::size_t word = 0; word < words_ + 2; ++word) {
                    equalLeft_[word] = littleEndianWord(equalLeft_[word]);
                    equalUp_[word] = littleEndianWord(equalUp_[word]);
                }
            }
        } else
#endif
        {
            for (std::size_t word = 0; word < words_; ++word) {
                const std::size_t at = word * 64;
                const std::size_t count = std::min<std::size_t>(64, rowBytes_ - at);
                // The first pixel has none before it: the first word is shifted into place.
                if (at > 0)
                    equalLeft_[word] = equalBytes(samples + at, samples + at - pixel, count);
                else if (rowBytes_ > pixel)
                    equalLeft_[word] = equalBytes(samples + pixel, samples,
                                                  std::min<std::size_t>(64, rowBytes_ - pixel))
                                       << pixel;
                else
                    equalLeft_[word] = 0;
                equalUp_[word] = above != nullptr ? equalBytes(samples + at, above + at, count) : 0;
            }
            equalLeft_[words_] = equalUp_[words_] = equalLeft_[words_ + 1] = equalUp_[words_ + 1] =
                0;
            sums = adlerSumsOf(samples, rowBytes_);
        }
        // Copies the compiler need not load again after every store of a mask word.
        const std::uint64_t *left = equalLeft_, *up = equalUp_;
        std::uint64_t* starts = runStarts_;
        const std::size_t words = words_;
        for (std::size_t word = 0; word < words; ++word)
            starts[word] =
                threeFrom(left[word], left[word + 1]) | threeFrom(up[word], up[word + 1]);
        starts[words] = starts[words + 1] = 0;
        runStarts_[rowBytes_ / 64] |= std::uint64_t{1} << rowBytes_ % 64;
        if constexpr (std::endian::native == std::endian::big)
            for (std::uint64_t* word = equalLeft_; word != runStarts_ + words_ + 2; ++word)
                *word = littleEndianWord(*word);
        return sums;
    }

    BitWriter bits_;
    std::size_t rowBytes_, rowLength_, bytesPerPixel_, words_;
    Code rowBack_;
    std::uint64_t rowCopyBits_ = 0;    // the codes that copy a whole row from the row above
    int rowCopyLength_ = 0;            // their bits, 0 where they take more than one put
    std::uint64_t rowCopiesBits_ = 0;  // rowCopies_ of them, as many as fit in one put
    int rowCopiesLength_ = 0;
    std::size_t rowCopies_ = 1;
    const std::uint64_t* matchCodes_;
    // The literals that may wait in the bit buffer for the match after them: the buffer holds
    // 7 bits left over, nine bits a literal and the longest match's codes (13 bits of length,
    // those of the farther distance).
    std::size_t heldLiterals_ =
        (64 - 7 - 13 -
         static_cast<std::size_t>(std::max(rowBack_.length, distanceCode(bytesPerPixel_).length))) /
        9;
    // words_ + 2 words each, the last ones clear but for the end's mark
    std::uint64_t *equalLeft_, *equalUp_, *runStarts_;
    Adler32 checksum_;
    AdlerSums rowSums_;  // of the last row that was not a repeat
};

// ---- Rows ----

// How many flags from `from` on, up to `end`, are not 0, read eight at a time (the eight bytes
// after end may be read).
std::size_t repeatsFrom(const std::uint8_t* flags, std::size_t from, std::size_t end) {
    constexpr std::uint64_t ones = 0x0101010101010101u, tops = 0x8080808080808080u;
    for (std::size_t at = from; at < end; at += 8) {
        std::uint64_t word;
        std::memcpy(&word, flags + at, sizeof word);
        word = littleEndianWord(word);
        // The lowest byte that is 0 gets its top bit set (bytes above it may too).
        const std::uint64_t zeros = (word - ones) & ~word & tops;
        if (zeros != 0)
            return std::min(at + static_cast<std::size_t>(std::countr_zero(zeros)) / 8, end) - from;
    }
    return end - from;
}

// ---- Pixels ----

// The pixel's native-endian word: 0x??RRGGBB, or 0xAARRGGBB.
std::uint32_t wordAt(const unsigned char* row, int x) {
    std::uint32_t word;
    std::memcpy(&word, row + static_cast<std::size_t>(x) * 4, sizeof word);
    return word;
}

// The row's blue bytes as grey samples, and whether every pixel is grey: one pass that the
// compiler vectorises.
bool toGreySamples(const unsigned char* row, int width, std::uint8_t* samples) {
    std::uint32_t differences = 0;
    for (int x = 0; x < width; ++x) {
        const std::uint32_t colour = wordAt(row, x);
        differences |= colour ^ (colour >> 8);  // blue ^ green, green ^ red
        samples[x] = static_cast<std::uint8_t>(colour);
    }
    return (differences & 0xFFFFu) == 0;
}

// ---- Chunks ----

void appendBigEndian(std::string& out, std::uint32_t value) {
    const char bytes[4] = {static_cast<char>(value >> 24), static_cast<char>(value >> 16),
                           static_cast<char>(value >> 8), static_cast<char>(value)};
    out.append(bytes, 4);
}

// A chunk's length, type and CRC around the data that fill() appends.
template <typename Fill>
void appendChunk(std::string& out, std::string_view type, Fill fill) {
    const std::size_t start = out.size();
    out.append(4, '\0');
    out.append(type);
    fill();
    const std::size_t length = out.size() - start - 8;
    for (int i = 0; i < 4; ++i)
        out[start + i] = static_cast<char>(static_cast<std::uint32_t>(length) >> (24 - 8 * i));
    appendBigEndian(
        out, crc32Of(reinterpret_cast<const unsigned char*>(out.data() + start + 4), length + 4));
}

}  // namespace

// 0xRRGGBB, or with alpha 0xAARRGGBB as PNG stores it: not premultiplied, so that every
// transparent pixel is the one colour 0.
std::uint32_t PngEncoder::colourAt(const unsigned char* row, int x) const {
    const std::uint32_t word = wordAt(row, x);
    if (!hasAlpha_) return word & 0xFFFFFFu;
    const std::uint32_t alpha = word >> 24;
    if (alpha == 0xFF || alpha == 0) return alpha == 0 ? 0 : word;
    const auto channel = [&](int shift) {
        return ((word >> shift & 0xFFu) * 255 + alpha / 2) / alpha;
    };
    return alpha << 24 | channel(16) << 16 | channel(8) << 8 | channel(0);
}

std::size_t PngEncoder::bytesPerPixelOf(ColourType type) noexcept {
    return type == ColourType::rgba ? 4 : type == ColourType::rgb ? 3 : 1;
}

int PngEncoder::paletteIndex(std::uint32_t colour) {
    std::size_t slot = (colour * 2654435761u) >> 20 & (paletteSlotCount - 1);
    while (paletteSlots_[slot] != 0) {
        const auto index = static_cast<std::size_t>(paletteSlots_[slot] - 1);
        if (palette_[index] == colour) return static_cast<int>(index);
        slot = (slot + 1) & (paletteSlotCount - 1);
    }
    if (palette_.size() == maxPaletteSize) return -1;
    palette_.push_back(colour);
    paletteSlots_[slot] = static_cast<std::int16_t>(palette_.size());
    return static_cast<int>(palette_.size()) - 1;
}

// Marks the rows equal to the row above, which need no further look; rowSize bytes of each.
// Rows known to be such are not compared.
void PngEncoder::markRepeatedRows(const unsigned char* pixels, std::size_t rowSize, int height,
                                  int stride, const std::uint8_t* known) {
    const auto rows = static_cast<std::size_t>(height);
    // Eight flags after the last, clear, for the eight-at-a-time reads of repeatsFrom.
    repeatsRowAbove_.assign(rows + 8, 0);
    std::uint8_t* repeats = repeatsRowAbove_.data();
    if (known != nullptr && rows > 1) std::memcpy(repeats + 1, known + 1, rows - 1);
    for (std::size_t y = 1; y < rows; ++y) {
        y += repeatsFrom(repeats, y, rows);
        if (y == rows) break;
        const unsigned char* row = pixels + static_cast<std::ptrdiff_t>(y) * stride;
        repeats[y] = std::memcmp(row, row - stride, rowSize) == 0;
    }
}

// The colour type of a picture that is not all grey, from the rows that do not repeat the row
// above: a palette when its colours fit in one.
PngEncoder::ColourType PngEncoder::colourTypeBeyondGrey(const unsigned char* pixels, int width,
                                                        int height, int stride) {
    const auto rowAt = [&](int y) { return pixels + static_cast<std::ptrdiff_t>(y) * stride; };
    palette_.clear();
    paletteSlots_.assign(paletteSlotCount, 0);
    for (int y = 0; y < height; ++y) {
        if (repeatsRowAbove_[static_cast<std::size_t>(y)] != 0) continue;
        std::uint32_t lastWord = 0, last = noColour_;
        for (int x = 0; x < width; ++x) {
            // A pixel the same as the one before, unused byte included, is the same colour.
            const std::uint32_t word = wordAt(rowAt(y), x);
            if (word == lastWord && last != noColour_) continue;
            lastWord = word;
            const std::uint32_t colour = colourAt(rowAt(y), x);
            if (colour == last) continue;
            last = colour;
            if (paletteIndex(colour) < 0) return hasAlpha_ ? ColourType::rgba : ColourType::rgb;
        }
    }
    return ColourType::palette;
}

void PngEncoder::toSamples(const unsigned char* row, int width, ColourType type) {
    std::uint8_t* sample = samples_.data();
    switch (type) {
        case ColourType::grey:  // only ever opaque
            toGreySamples(row, width, sample);
            break;
        case ColourType::palette: {
            std::uint32_t lastWord = wordAt(row, 0);
            std::uint8_t index = static_cast<std::uint8_t>(paletteIndex(colourAt(row, 0)));
            for (int x = 0; x < width; ++x) {
                const std::uint32_t word = wordAt(row, x);
                if (word != lastWord) {
                    lastWord = word;
                    index = static_cast<std::uint8_t>(paletteIndex(colourAt(row, x)));
                }
                sample[x] = index;
            }
            break;
        }
        case ColourType::rgb:
            for (int x = 0; x < width; ++x) {
                const std::uint32_t colour = colourAt(row, x);
                *sample++ = static_cast<std::uint8_t>(colour >> 16);
                *sample++ = static_cast<std::uint8_t>(colour >> 8);
                *sample++ = static_cast<std::uint8_t>(colour);
            }
            break;
        case ColourType::rgba:
            for (int x = 0; x < width; ++x) {
                const std::uint32_t colour = colourAt(row, x);
                *sample++ = static_cast<std::uint8_t>(colour >> 16);
                *sample++ = static_cast<std::uint8_t>(colour >> 8);
                *sample++ = static_cast<std::uint8_t>(colour);
                *sample++ = static_cast<std::uint8_t>(colour >> 24);
            }
            break;
    }
}

// Rows of samples are followed by room for the masks' reads past their end.
void PngEncoder::makeRowRoom(std::size_t rowBytes) {
    samples_.resize(rowBytes + rowRoomAfter);
    above_.resize(rowBytes + rowRoomAfter);
}

template <typename SamplesOf>
bool PngEncoder::compress(int width, int height, ColourType type, SamplesOf samplesOf,
                          std::string& png) {
    const std::size_t bytesPerPixel = bytesPerPixelOf(type);
    const std::size_t rowBytes = static_cast<std::size_t>(width) * bytesPerPixel;
    const std::size_t maskWords = 3 * (rowBytes / 64 + 3);
    if (byteMasks_.size() < maskWords) byteMasks_.resize(maskWords);
    const std::size_t rowDistance = std::min(rowBytes + 1, maxDistance);
    if (matchCodes_.empty() || matchCodesRowDistance_ != rowDistance ||
        matchCodesPixelDistance_ != bytesPerPixel) {
        matchCodes_.resize(2 * (maxMatch + 1));
        joinMatchCodes(rowDistance, matchCodes_.data());
        joinMatchCodes(bytesPerPixel, matchCodes_.data() + maxMatch + 1);
        matchCodesRowDistance_ = rowDistance;
        matchCodesPixelDistance_ = bytesPerPixel;
    }
    // The room is kept from picture to picture: made anew, it would be cleared each time.
    const std::size_t room = (rowBytes + 1) * static_cast<std::size_t>(height) / 8 * 9 + 32;
    if (deflated_.size() < room) deflated_.resize(room);

    png.append("\x78\x01", 2);  // deflate with a 32 KiB window, fastest compression
    ImageDataWriter data(deflated_.data(), rowBytes, bytesPerPixel, byteMasks_.data(),
                         matchCodes_.data());
    const std::uint8_t* above = nullptr;
    for (int y = 0; y < height;) {
        if (data.rowsRepeat() && repeatsRowAbove_[static_cast<std::size_t>(y)] != 0) {
            const std::size_t repeats =
                repeatsFrom(repeatsRowAbove_.data(), static_cast<std::size_t>(y),
                            static_cast<std::size_t>(height));
            data.repeatRow(repeats);
            y += static_cast<int>(repeats);
            continue;
        }
        const std::uint8_t* row = samplesOf(y);
        if (row == nullptr) return false;
        data.row(row, data.rowsRepeat() ? above : nullptr);
        above = row;
        ++y;
    }
    png.append(reinterpret_cast<const char*>(deflated_.data()), data.finish());
    appendBigEndian(png, data.checksum());
    return true;
}

template <typename SamplesOf>
bool PngEncoder::write(int width, int height, ColourType type, SamplesOf samplesOf,
                       std::string& png) {
    // The image data goes into one chunk, whose length must stay below 2^31; at worst every
    // byte is a literal of nine bits.
    const std::size_t rowLength = static_cast<std::size_t>(width) * bytesPerPixelOf(type) + 1;
    if (rowLength * static_cast<std::size_t>(height) / 8 * 9 + 1024 > 0x7FFFFFFFu)
        throw std::runtime_error("the picture is too large for a PNG file");
    // The signature, header and resolution, the same for every picture of a batch: made once.
    if (head_.empty() || headWidth_ != width || headHeight_ != height || headType_ != type ||
        headDotsPerInch_ != dotsPerInch_) {
        head_.assign(signature);
        appendChunk(head_, "IHDR", [&] {
            appendBigEndian(head_, static_cast<std::uint32_t>(width));
            appendBigEndian(head_, static_cast<std::uint32_t>(height));
            // 8 bits a sample, deflate, adaptive filtering, no interlacing
            const char rest[5] = {8, static_cast<char>(type), 0, 0, 0};
            head_.append(rest, 5);
        });
        if (dotsPerInch_ > 0) {
            appendChunk(head_, "pHYs", [&] {
                const auto perMetre =
                    static_cast<std::uint32_t>(std::lround(dotsPerInch_ / 0.0254));
                appendBigEndian(head_, perMetre);
                appendBigEndian(head_, perMetre);
                head_.push_back(1);  // the unit is the metre
            });
        }
        headWidth_ = width;
        headHeight_ = height;
        headType_ = type;
        headDotsPerInch_ = dotsPerInch_;
    }
    png.assign(head_);
    if (type == ColourType::palette) {
        appendChunk(png, "PLTE", [&] {
            for (const std::uint32_t colour : palette_) {
                const char rgb[3] = {static_cast<char>(colour >> 16),
                                     static_cast<char>(colour >> 8), static_cast<char>(colour)};
                png.append(rgb, 3);
            }
        });
        if (hasAlpha_) {
            appendChunk(png, "tRNS", [&] {
                for (const std::uint32_t colour : palette_)
                    png.push_back(static_cast<char>(colour >> 24));
            });
        }
    }
    bool whole = true;
    appendChunk(png, "IDAT", [&] { whole = compress(width, height, type, samplesOf, png); });
    // The end: no data, and the CRC of its type.
    png.append(std::string_view{"\0\0\0\0IEND\xAE\x42\x60\x82", 12});
    return whole;
}

void PngEncoder::encode(const unsigned char* pixels, int width, int height, int stride,
                        std::string& png, bool hasAlpha) {
    if (width <= 0 || height <= 0) throw std::runtime_error("the picture is empty");
    hasAlpha_ = hasAlpha;
    // Opaque colours never reach 2^24; with alpha, a transparent pixel is always 0.
    noColour_ = hasAlpha ? 0x00FFFFFFu : 0x1000000u;
    const auto rowAt = [&](int y) { return pixels + static_cast<std::ptrdiff_t>(y) * stride; };
    markRepeatedRows(pixels, static_cast<std::size_t>(width) * 4, height, stride);
    makeRowRoom(static_cast<std::size_t>(width) * 4);
    // Symbols are grey: written as grey at once, each row tested as its samples are made; a
    // pixel that is not grey sends the picture on to a palette or full colour.
    if (!hasAlpha &&
        write(
            width, height, ColourType::grey,
            [&](int y) -> const std::uint8_t* {
                samples_.swap(above_);  // the row before stays where it was
                return toGreySamples(rowAt(y), width, samples_.data()) ? samples_.data() : nullptr;
            },
            png))
        return;
    const ColourType type = colourTypeBeyondGrey(pixels, width, height, stride);
    write(
        width, height, type,
        [&](int y) {
            samples_.swap(above_);
            toSamples(rowAt(y), width, type);
            return static_cast<const std::uint8_t*>(samples_.data());
        },
        png);
}

void PngEncoder::encodeGrey(const unsigned char* pixels, int width, int height, int stride,
                            std::string& png, const std::uint8_t* repeatsRowAbove,
                            bool roomAfterRows) {
    if (width <= 0 || height <= 0) throw std::runtime_error("the picture is empty");
    hasAlpha_ = false;
    markRepeatedRows(pixels, static_cast<std::size_t>(width), height, stride, repeatsRowAbove);
    const auto rowAt = [&](int y) { return pixels + static_cast<std::ptrdiff_t>(y) * stride; };
    if (roomAfterRows) {
        write(width, height, ColourType::grey, rowAt, png);
        return;
    }
    makeRowRoom(static_cast<std::size_t>(width));
    write(
        width, height, ColourType::grey,
        [&](int y) {
            samples_.swap(above_);  // the row before stays where it was
            std::memcpy(samples_.data(), rowAt(y), static_cast<std::size_t>(width));
            return static_cast<const std::uint8_t*>(samples_.data());
        },
        png);
}

}  // namespace quillet
