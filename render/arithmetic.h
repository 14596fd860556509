// Checked 16-bit signed arithmetic and half-to-even rounding.
//
// Positions, widths, counters and check sums are 16-bit integers; every operation that leaves
// -32768 ... 32767 is the overflow error (6), and every float-to-integer conversion rounds half
// to even, as the host runtime's integer conversion does.
#pragma once

#include <cmath>
#include <cstdint>

#include "render/errors.h"

namespace quillet {

inline constexpr std::int32_t int16Min = -32768;
inline constexpr std::int32_t int16Max = 32767;

constexpr std::int16_t checkedInt16(std::int32_t value) {
    if (value < int16Min || value > int16Max) raise(error::overflow);
    return static_cast<std::int16_t>(value);
}

constexpr std::int16_t add16(std::int32_t a, std::int32_t b) {
    return checkedInt16(a + b);
}
constexpr std::int16_t subtract16(std::int32_t a, std::int32_t b) {
    return checkedInt16(a - b);
}
constexpr std::int16_t multiply16(std::int32_t a, std::int32_t b) {
    return checkedInt16(a * b);
}

// Integer division "\": truncates toward zero; -32768 \ -1 overflows.
constexpr std::int16_t divide16(std::int32_t a, std::int32_t b) {
    if (b == 0) raise(error::divisionByZero);
    return checkedInt16(a / b);
}

// Rounds half to even (2.5 -> 2, 3.5 -> 4, -2.5 -> -2) into the 16-bit range.
inline std::int16_t roundToInt16(double value) {
    // Anything outside this span rounds outside the 16-bit range (NaN fails the test too); inside
    // it the whole part fits an int32, whose lowest bit tells odd from even.
    if (!(value > int16Min - 1.0 && value < int16Max + 1.0)) raise(error::overflow);
    const double whole = std::floor(value);
    const double fraction = value - whole;
    auto rounded = static_cast<std::int32_t>(whole);
    if (fraction > 0.5 || (fraction == 0.5 && (rounded & 1) != 0)) ++rounded;
    return checkedInt16(rounded);
}

}  // namespace quillet
