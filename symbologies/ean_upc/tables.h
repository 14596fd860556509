// What the EAN/UPC family shares: the L, G and R digit sets, the two parity tables, the guards,
// the normalisation of the data, the modulo-10 check digit and the painting of one digit.
//
// The data is never rejected: a character that is not a decimal digit is drawn and weighted as
// 0 and still written as itself.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "render/frame.h"
#include "render/numeric.h"

namespace quillet::ean_upc {

// One seven-module pattern per digit value, "1" a bar and "0" a space.
using DigitSet = std::array<std::string_view, 10>;

// L: odd parity, left half.
constexpr DigitSet setL = {"0001101", "0011001", "0010011", "0111101", "0100011",
                           "0110001", "0101111", "0111011", "0110111", "0001011"};
// G: even parity, left half.
constexpr DigitSet setG = {"0100111", "0110011", "0011011", "0100001", "0011101",
                           "0111001", "0000101", "0010001", "0001001", "0010111"};
// R: right half.
constexpr DigitSet setR = {"1110010", "1100110", "1101100", "1000010", "1011100",
                           "1001110", "1010000", "1000100", "1001000", "1110100"};

// Left-half set by parity character: "0" selects L, "1" selects G.
constexpr const DigitSet& leftSet(char parity) noexcept {
    return parity == '1' ? setG : setL;
}

// EAN-13 parity of the six left-half digits, by the leading digit's value.
constexpr std::array<std::string_view, 10> ean13Parity = {"000000", "001011", "001101", "001110",
                                                          "010011", "011001", "011100", "010101",
                                                          "010110", "011010"};
// UPC-E parity of the six body digits, by the check digit's value.
constexpr std::array<std::string_view, 10> upcEParity = {"111000", "110100", "110010", "110001",
                                                         "101100", "100110", "100011", "101010",
                                                         "101001", "100101"};

constexpr std::string_view startGuard = "101";
constexpr std::string_view centreGuard = "01010";
constexpr std::string_view endGuard = "101";
constexpr std::string_view upcEEndGuard = "010101";

namespace detail {
constexpr bool isModuleString(std::string_view pattern, std::size_t length) {
    if (pattern.size() != length) return false;
    for (char module : pattern)
        if (module != '0' && module != '1') return false;
    return true;
}
constexpr int barModules(std::string_view pattern) {
    int bars = 0;
    for (char module : pattern) bars += module == '1';
    return bars;
}
}  // namespace detail

// L and G begin with a space and end with a bar, R the other way round; R is L with bars and
// spaces swapped and G is R read backwards, so a typing error in one set shows up here.
static_assert([] {
    for (std::size_t digit = 0; digit < 10; ++digit) {
        const auto l = setL[digit], g = setG[digit], r = setR[digit];
        if (!detail::isModuleString(l, 7) || !detail::isModuleString(g, 7) ||
            !detail::isModuleString(r, 7))
            return false;
        if (l.front() != '0' || l.back() != '1' || g.front() != '0' || g.back() != '1' ||
            r.front() != '1' || r.back() != '0')
            return false;
        for (std::size_t module = 0; module < 7; ++module) {
            if (r[module] == l[module]) return false;
            if (g[module] != r[6 - module]) return false;
        }
    }
    return true;
}());

// Every parity string but EAN-13's first has three digits of each parity.
static_assert([] {
    for (std::size_t digit = 0; digit < 10; ++digit) {
        if (!detail::isModuleString(ean13Parity[digit], 6) ||
            !detail::isModuleString(upcEParity[digit], 6))
            return false;
        if (detail::barModules(ean13Parity[digit]) != (digit == 0 ? 0 : 3)) return false;
        if (detail::barModules(upcEParity[digit]) != 3) return false;
    }
    return true;
}());

// Trims spaces, fills up with "0" on the right or cuts to `length` characters, and writes the
// result back into the caller's variable.
inline void normalise(std::string& code, std::size_t length, Characters& data) {
    decodeTrimmed(code, data, length);
}

// The modulo-10 check digit: the last data digit and every second one before it weigh 3, the
// others 1. It is the last digit of 1000 - sum, so that a sum of 0 gives 0. Every term is a digit
// and so never negative: the 16-bit sum overflows at some step exactly when the whole does.
inline char32_t checkDigit(std::u32string_view data) {
    std::int32_t tripled = 0;
    std::int32_t single = 0;
    const char32_t* digit = data.data() + data.size();
    while (digit != data.data()) {
        tripled += digitValue(*--digit);
        if (digit == data.data()) break;
        single += digitValue(*--digit);
    }
    const std::int16_t sum = checkedInt16(checkedInt16(tripled * 3) + single);
    return static_cast<char32_t>(U'0' + (1000 - sum) % 10);
}

// The twelve characters "0", the number-system digit and the ten UPC-A digits the body stands
// for, chosen by its last character; empty when that is no digit.
using UpcEExpansion = std::array<char32_t, 12>;
inline std::u32string_view expandUpcE(std::u32string_view body, UpcEExpansion& out,
                                      char32_t numberSystem = U'0') {
    const auto x = [&](std::size_t position) { return body[position - 1]; };
    const char32_t last = x(6);
    const char32_t ns = numberSystem;
    if (last >= U'0' && last <= U'2')
        out = {U'0', ns, x(1), x(2), x(6), U'0', U'0', U'0', U'0', x(3), x(4), x(5)};
    else if (last == U'3')
        out = {U'0', ns, x(1), x(2), x(3), U'0', U'0', U'0', U'0', U'0', x(4), x(5)};
    else if (last == U'4')
        out = {U'0', ns, x(1), x(2), x(3), x(4), U'0', U'0', U'0', U'0', U'0', x(5)};
    else if (last >= U'5' && last <= U'9')
        out = {U'0', ns, x(1), x(2), x(3), x(4), x(5), U'0', U'0', U'0', U'0', x(6)};
    else
        return {};
    return {out.data(), out.size()};
}

// Every data digit is seven modules.
constexpr int digitModules = 7;

// A digit set as bits for Frame::paintModuleBits, the first module in the lowest bit.
using DigitBits = std::array<std::uint8_t, 10>;
constexpr DigitBits bitsOf(const DigitSet& set) {
    DigitBits bits{};
    for (std::size_t digit = 0; digit < set.size(); ++digit) {
        for (std::size_t module = 0; module < set[digit].size(); ++module) {
            if (set[digit][module] != '0') bits[digit] |= static_cast<std::uint8_t>(1U << module);
        }
    }
    return bits;
}
constexpr DigitBits bitsL = bitsOf(setL);
constexpr DigitBits bitsG = bitsOf(setG);
constexpr DigitBits bitsR = bitsOf(setR);

// Left-half bits by parity character: "0" selects L, "1" selects G.
constexpr const DigitBits& leftBits(char parity) noexcept {
    return parity == '1' ? bitsG : bitsL;
}

// The row the digits' texts stand on, or none when pText asks for no text; taken once for all
// the digits of a symbol.
inline std::optional<float> digitTextRow(const Frame& frame, float rowOffset = 0.0f) {
    if (frame.arguments().pText == 0) return std::nullopt;
    return frame.textRow(rowOffset);
}

// A data digit: its text, left-aligned on its field when there is a text row, then its seven
// modules.
inline void paintDigit(Frame& frame, char32_t character, const DigitBits& set, Band band,
                       std::optional<float> textRow) {
    if (textRow) frame.writeText(frame.runningX(), *textRow, CharacterText(character));
    frame.paintModuleBits<digitModules>(set[static_cast<std::size_t>(digitValue(character))], band);
}

// The modules of a symbol of `digits` data digits between a start guard, a centre guard when
// there is one, and its end guard: proven to fit once for the whole symbol.
constexpr std::size_t symbolModules(std::size_t digits, std::string_view end = endGuard,
                                    std::string_view centre = centreGuard) {
    return startGuard.size() + digits * digitModules + centre.size() + end.size();
}

}  // namespace quillet::ean_upc
